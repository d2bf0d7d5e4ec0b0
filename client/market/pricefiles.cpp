#include "pricefiles.h"

#include "fields.h"
#include "instruments.h"
#include "numbers.h"
#include "textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>

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

QMap<int, QByteArray> parsePriceIndex(const QByteArray& content)
{
    QMap<int, QByteArray> index;
    for (const QByteArray& whole : content.split('\n')) {
        QByteArrayView line(whole);
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype cut = line.indexOf(';');
        bool ok = false;
        const int n = cut > 0 ? line.first(cut).toInt(&ok) : 0;
        if (ok && n >= 1 && n <= PriceHistory::kMaxRows)
            index.insert(n, line.sliced(cut + 1).toByteArray());
    }
    return index;
}

QByteArray serializePriceIndex(const QMap<int, QByteArray>& index)
{
    QByteArray out;
    for (auto it = index.begin(); it != index.end(); ++it)
        out += QByteArray::number(it.key()) + ';' + it.value() + "\r\n";
    return out;
}

QStringList InitKurse(PriceHistory& history, const std::vector<QByteArray>& tickers, const QString& folder)
{
    const std::vector<int> fresh = history.follow(tickers);
    if (fresh.empty())
        return {};
    const QDir dir(folder);
    // One listing of the folder instead of one look-up per instrument.
    const QStringList names = dir.entryList({QStringLiteral("K*.dat"), QLatin1String(kPriceIndexFileName)}, QDir::Files);
    const QSet<QString> present(names.begin(), names.end());
    QMap<int, QByteArray> index;
    QByteArray content;
    if (present.contains(QLatin1String(kPriceIndexFileName)) && readWholeFile(dir.filePath(kPriceIndexFileName), content))
        index = parsePriceIndex(content);
    QHash<QByteArray, int> fileOf;
    for (auto it = index.begin(); it != index.end(); ++it)
        fileOf.insert(it.value(), it.key()); // a ticker named twice: the higher number
    QStringList log;
    for (const int n : fresh) {
        const QByteArray& ticker = history.instrument(n);
        const auto file = fileOf.constFind(ticker);
        if (file != fileOf.cend() && present.contains(priceFileName(*file))) {
            if (readWholeFile(dir.filePath(priceFileName(*file)), content))
                loadPriceFile(content, history, n);
            continue;
        }
        if (present.contains(priceFileName(n)))
            log << priceFileName(n) + QStringLiteral(" h\u00e4lt ") +
                       (index.contains(n) ? QStringLiteral("die Kurse von ") + fromWire(index.value(n))
                                          : QStringLiteral("Kurse ohne Instrumentangabe")) +
                       QStringLiteral(", nicht von ") + fromWire(ticker) + QStringLiteral(": Kursverlauf beginnt leer");
    }
    return log;
}

int SaveKurse(const PriceHistory& history, int count, const QString& folder)
{
    const QDir dir(folder);
    const QString indexPath = dir.filePath(kPriceIndexFileName);
    // Instruments without a history row are skipped, and so are rows that hold nothing
    // where a file exists: an empty file would replace what an earlier run saved there.
    std::vector<int> numbers;
    QSet<QByteArray> tickers;
    for (int n = 1; n <= std::min(count, history.rows()); ++n) {
        if (history.pos(n) == 0 && QFileInfo::exists(dir.filePath(priceFileName(n))))
            continue;
        numbers.push_back(n);
        tickers.insert(history.instrument(n));
    }
    if (numbers.empty())
        return 0;
    QMap<int, QByteArray> index;
    QByteArray content;
    if (readWholeFile(indexPath, content))
        index = parsePriceIndex(content);
    // First the side file forgets the files about to be replaced and the old files of the
    // instruments about to be written: a program ended between the two steps leaves files
    // that are read as nobody's, never as another instrument's.
    for (auto it = index.begin(); it != index.end();) {
        const bool replaced = std::binary_search(numbers.begin(), numbers.end(), it.key());
        it = replaced || tickers.contains(it.value()) ? index.erase(it) : std::next(it);
    }
    if (!writeFileAtomically(indexPath, serializePriceIndex(index)))
        return static_cast<int>(numbers.size());
    int failed = 0;
    for (const int n : numbers) {
        if (writeFileAtomically(dir.filePath(priceFileName(n)), serializePriceFile(history, n)))
            index.insert(n, history.instrument(n));
        else
            ++failed;
    }
    if (!writeFileAtomically(indexPath, serializePriceIndex(index)))
        failed = static_cast<int>(numbers.size());
    return failed;
}

} // namespace korvi
