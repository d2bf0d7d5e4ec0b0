#include "pricefiles.h"

#include "fields.h"
#include "instruments.h"
#include "numbers.h"
#include "textfile.h"

#include <QDir>
#include <QSet>

namespace korvi {

QString priceFileName(int n) { return QLatin1Char('K') + QString::number(n) + QLatin1String(".dat"); }

QByteArray priceFileLine(const PriceSnapshot& s)
{
    QByteArray line;
    line.reserve(64);
    line.append(writeDouble(s.Zeit)).append(';');
    line.append(writeSingle(s.Bid)).append(';');
    line.append(writeSingle(s.Ask)).append(';');
    line.append(writeSingle(s.Letzter)).append(';');
    line.append(writeDouble(s.Umsatz));
    return line;
}

QByteArray serializePriceFile(const PriceHistory& history, int n)
{
    QByteArray out;
    out.reserve(PriceHistory::kSlots * 16);
    for (int j = 0; j < PriceHistory::kSlots; ++j) {
        out.append(priceFileLine(history.at(n, history.slotFromOldest(n, j))));
        out.append("\r\n");
    }
    return out;
}

int loadPriceFile(const QByteArray& content, PriceHistory& history, int n)
{
    if (!history.hasRow(n))
        return 0;
    Fields f;
    int stored = 0;
    qsizetype a = 0;
    while (a < content.size() && stored < PriceHistory::kSlots) {
        qsizetype e = content.indexOf('\n', a);
        if (e < 0)
            e = content.size();
        QByteArrayView line = QByteArrayView(content).sliced(a, e - a);
        if (line.endsWith('\r'))
            line.chop(1);
        a = e + 1;

        ++stored;
        PriceSnapshot& s = history.at(n, stored);
        f.split(line, 10, ';');
        s.Zeit = readNumber(f[1]);
        s.Bid = toSingle(readNumber(f[2])).value_or(0.0f);
        s.Ask = toSingle(readNumber(f[3])).value_or(0.0f);
        s.Letzter = toSingle(readNumber(f[4])).value_or(0.0f);
        s.Umsatz = toInt32(readNumber(f[5])).value_or(0);
    }
    history.setPos(n, stored);
    return stored;
}

void InitKurse(PriceHistory& history, int count, const QString& folder)
{
    history.create(count);
    const QDir dir(folder);
    // One listing of the folder instead of one look-up per instrument.
    const QStringList names = dir.entryList({QStringLiteral("K*.dat")}, QDir::Files);
    const QSet<QString> present(names.begin(), names.end());
    for (int n = 1; n <= history.rows(); ++n) {
        const QString name = priceFileName(n);
        QByteArray content;
        if (present.contains(name) && readWholeFile(dir.filePath(name), content))
            loadPriceFile(content, history, n);
    }
}

int SaveKurse(const PriceHistory& history, int count, const QString& folder)
{
    const QDir dir(folder);
    int failed = 0;
    // Instruments without a history row are skipped: an empty file would replace the
    // history an earlier run saved for that number.
    for (int n = 1; n <= count && history.hasRow(n); ++n) {
        if (!writeFileAtomically(dir.filePath(priceFileName(n)), serializePriceFile(history, n)))
            ++failed;
    }
    return failed;
}

} // namespace korvi
