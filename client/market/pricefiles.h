#pragma once

#include "pricehistory.h"

#include <QByteArray>
#include <QHash>
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

// What one run knows of the price files of its folder: whether the folder had a side file
// when it was first looked at, and which files were read into which instrument. A file
// whose prices are not held by an instrument of the history is never overwritten.
struct PriceFileBook {
    bool looked = false;
    // No side file at the first look: the files are an older version's, read by their
    // numbers (file n for instrument n of the first list); the side file is written from
    // the first save on.
    bool byPosition = false;
    // File number -> the instrument (ticker) it was read into.
    QHash<int, QByteArray> readInto;
};

// "InitKurse" for every instrument list: the history follows the list `tickers` (ticker of
// instrument n at index n, see PriceHistory::follow), and every instrument new to it is
// filled from its price file: with a side file, the file that holds that instrument's
// prices, whatever its number (a file that holds another instrument's prices, or nobody
// knows whose, is not read; the returned log lines say so); without one, file n for
// instrument n, each file once a run.
QStringList InitKurse(PriceHistory& history, const std::vector<QByteArray>& tickers, const QString& folder,
                      PriceFileBook& book);

// "SaveKurse": writes the files of instruments 1..count that have a history row, and the
// side file. Each file is replaced whole or not at all; a row that holds nothing leaves an
// existing file (and its side-file line) as it is. Instrument n goes to file n unless that
// file exists and its prices are not in the history (it was not read, or its instrument
// left the list): then to the file it was read from, else to a free number above the
// count. Returns the number of files that could not be written.
int SaveKurse(const PriceHistory& history, int count, const QString& folder, const PriceFileBook& book);

} // namespace korvi
