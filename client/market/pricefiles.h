#pragma once

#include "pricehistory.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace korvi {

// The price file of instrument n: "K" + n + ".dat" in the working folder.
QString priceFileName(int n);

// One history line: time, bid, ask, last and volume in the leading-blank number form,
// separated by ";", without the line end.
QByteArray priceFileLine(const PriceSnapshot& s);

// The whole file of instrument n: 3000 CR LF lines, oldest first.
QByteArray serializePriceFile(const PriceHistory& history, int n);

// Reads a price file's content into the row of instrument n, slot after slot; lines beyond
// the 3000th are ignored. Returns the number of lines stored.
int loadPriceFile(const QByteArray& content, PriceHistory& history, int n);

// The side file of the price files: which instrument (ticker) each file holds, one line
// per file, its number ";" the ticker, CR LF. The price files keep their own form.
inline constexpr const char* kPriceIndexFileName = "Kurse.idx";
QMap<int, QByteArray> parsePriceIndex(const QByteArray& content);
QByteArray serializePriceIndex(const QMap<int, QByteArray>& index);

// "InitKurse" for every instrument list: the history follows the list `tickers` (ticker of
// instrument n at index n, see PriceHistory::follow), and every instrument new to it is
// filled from the price file that holds that instrument's prices, whatever its number. A
// file that holds another instrument's prices, or nobody knows whose, is not read; the
// returned log lines say so.
QStringList InitKurse(PriceHistory& history, const std::vector<QByteArray>& tickers, const QString& folder);

// "SaveKurse": writes the files of instruments 1..count that have a history row, and the
// side file. Each file is replaced whole or not at all; a row that holds nothing leaves an
// existing file (and its side-file line) as it is. Returns the number of files that could
// not be written.
int SaveKurse(const PriceHistory& history, int count, const QString& folder);

} // namespace korvi
