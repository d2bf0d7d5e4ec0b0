#pragma once

#include "app/clientapp.h"
#include "support/liveserver.h"

#include <QTemporaryDir>

namespace korvi::test {

// A client without a connection: messages go straight into its dispatcher.
struct MarketFixture : ClientFixture {
    State& s = app.state;

    MarketFixture() { InitUser(app.state); }

    void in(QByteArrayView message) { app.dispatcher.dispatch(message); }
    const InstrumentRecord& inst(int n) const { return app.state.Instruments.at(n); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

// Three instruments: last 100 / 50 / 0, bid and ask around them.
inline constexpr const char* kThreeInstruments =
    "@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n"
    "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n"
    "FGBL;BUND;EUR;0;0;0;0;0;Bund;1000;0;0\n";

} // namespace korvi::test
