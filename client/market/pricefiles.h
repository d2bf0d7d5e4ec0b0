#pragma once

#include "pricehistory.h"

#include <QByteArray>
#include <QString>

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

// "InitKurse": a fresh history for `count` instruments, filled from the price files that
// exist in `folder`.
void InitKurse(PriceHistory& history, int count, const QString& folder);

// "SaveKurse": writes the files of instruments 1..count that have a history row. Each file
// is replaced whole or not at all. Returns the number of files that could not be written.
int SaveKurse(const PriceHistory& history, int count, const QString& folder);

} // namespace korvi
