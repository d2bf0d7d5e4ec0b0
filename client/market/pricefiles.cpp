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

QStringList InitKurse(PriceHistory& history, const std::vector<QByteArray>& tickers, const QString& folder,
                      PriceFileBook& book)
{
    const std::vector<int> fresh = history.follow(tickers);
    if (fresh.empty())
        return {};
    const QDir dir(folder);
    // One listing of the folder instead of one look-up per instrument.
    const QStringList names = dir.entryList({QStringLiteral("K*.dat"), QLatin1String(kPriceIndexFileName)}, QDir::Files);
    const QSet<QString> present(names.begin(), names.end());
    if (!book.looked) {
        book.looked = true;
        book.byPosition = !present.contains(QLatin1String(kPriceIndexFileName));
    }
    QByteArray content;
    auto read = [&](int file, int n) {
        if (!readWholeFile(dir.filePath(priceFileName(file)), content))
            return;
        loadPriceFile(content, history, n);
        book.readInto.insert(file, history.instrument(n));
    };
    QStringList log;
    if (book.byPosition) {
        // A file already read this run holds the prices of an instrument that moved; it is
        // not read a second time for whoever has its number now.
        for (const int n : fresh) {
            if (present.contains(priceFileName(n)) && !book.readInto.contains(n))
                read(n, n);
        }
        return log;
    }
    QMap<int, QByteArray> index;
    if (present.contains(QLatin1String(kPriceIndexFileName)) && readWholeFile(dir.filePath(kPriceIndexFileName), content))
        index = parsePriceIndex(content);
    QHash<QByteArray, int> fileOf;
    for (auto it = index.begin(); it != index.end(); ++it)
        fileOf.insert(it.value(), it.key()); // a ticker named twice: the higher number
    for (const int n : fresh) {
        const QByteArray& ticker = history.instrument(n);
        const auto file = fileOf.constFind(ticker);
        if (file != fileOf.cend() && present.contains(priceFileName(*file))) {
            read(*file, n);
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

int SaveKurse(const PriceHistory& history, int count, const QString& folder, const PriceFileBook& book)
{
    const QDir dir(folder);
    const QString indexPath = dir.filePath(kPriceIndexFileName);
    const QStringList names = dir.entryList({QStringLiteral("K*.dat")}, QDir::Files);
    const QSet<QString> present(names.begin(), names.end());
    QSet<QByteArray> listed;
    for (int n = 1; n <= std::min(count, history.rows()); ++n)
        listed.insert(history.instrument(n));
    // A file may be replaced when it is not there, or when the prices it held are in the
    // history (read this run into an instrument still listed), so that they are written
    // again with it.
    auto free = [&](int file) {
        if (!present.contains(priceFileName(file)))
            return true;
        const auto into = book.readInto.constFind(file);
        return into != book.readInto.cend() && listed.contains(*into);
    };
    QMap<int, QByteArray> index;
    QByteArray content;
    if (readWholeFile(indexPath, content))
        index = parsePriceIndex(content);

    // Instruments without a history row are skipped, and so are rows that hold nothing
    // where a file exists: an empty file would replace what an earlier run saved there.
    std::vector<std::pair<int, int>> writes; // instrument, file
    std::vector<int> waiting;
    QSet<int> taken;
    for (int n = 1; n <= std::min(count, history.rows()); ++n) {
        if (!history.hasRow(n) || (history.pos(n) == 0 && present.contains(priceFileName(n))))
            continue;
        if (free(n)) {
            writes.emplace_back(n, n);
            taken.insert(n);
        } else if (history.pos(n) > 0) {
            waiting.push_back(n);
        }
    }
    // The others: back to the file they were read from when nobody else takes it, else to
    // the first number above the count that no file and no side-file line uses.
    QHash<QByteArray, int> readFrom;
    for (auto it = book.readInto.begin(); it != book.readInto.end(); ++it)
        readFrom.insert(it.value(), it.key());
    int spare = count;
    for (const int n : waiting) {
        const int from = readFrom.value(history.instrument(n), 0);
        int file = from > 0 && !taken.contains(from) && free(from) ? from : 0;
        while (file == 0 && spare < PriceHistory::kMaxRows) {
            ++spare;
            if (!present.contains(priceFileName(spare)) && !index.contains(spare) && !taken.contains(spare))
                file = spare;
        }
        if (file == 0)
            continue; // no number left that the side file could name
        writes.emplace_back(n, file);
        taken.insert(file);
    }
    if (writes.empty())
        return 0;
    QSet<QByteArray> tickers;
    for (const auto& [n, file] : writes)
        tickers.insert(history.instrument(n));
    // First the side file forgets the files about to be replaced and the old files of the
    // instruments about to be written: a program ended between the two steps leaves files
    // that are read as nobody's, never as another instrument's.
    for (auto it = index.begin(); it != index.end();)
        it = taken.contains(it.key()) || tickers.contains(it.value()) ? index.erase(it) : std::next(it);
    if (!writeFileAtomically(indexPath, serializePriceIndex(index)))
        return static_cast<int>(writes.size());
    int failed = 0;
    for (const auto& [n, file] : writes) {
        if (writeFileAtomically(dir.filePath(priceFileName(file)), serializePriceFile(history, n)))
            index.insert(file, history.instrument(n));
        else
            ++failed;
    }
    if (!writeFileAtomically(indexPath, serializePriceIndex(index)))
        failed = static_cast<int>(writes.size());
    return failed;
}

} // namespace korvi
