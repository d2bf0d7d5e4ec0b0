#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace korvi::server {

// One tradable instrument as the configuration file describes it. Prices are kept as
// whole ticks on the server, so `tickSize` is the unit every price is a multiple of.
struct InstrumentSpec {
    QByteArray ticker;     // "FDAX"
    QByteArray code;       // second code, used by outside trading programs
    QByteArray currency;   // "EUR"
    QByteArray name;       // display name
    double factor = 1;     // value of one point per contract
    double margin = 0;     // margin per contract
    double startPrice = 0;
    double tickSize = 0;
    double commission = 0; // per contract and fill
};

// Reads the instrument list. Lines are
//   ticker;code;currency;name;factor;margin;start price;tick size[;commission]
// with "#" starting a comment line; blank lines are skipped. Any bad line makes the
// whole file fail with a message naming the line, so a typo never starts a game with a
// silently missing or mispriced instrument.
std::vector<InstrumentSpec> parseInstrumentConfig(const QByteArray& text, QString& error);
std::vector<InstrumentSpec> loadInstrumentConfig(const QString& path, QString& error);

// Where the instrument list is looked for when no path is given: next to the program,
// then in the source folder's copy that the build knows about.
QString defaultInstrumentConfigPath();

} // namespace korvi::server
