#include "support/liveserver.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

// The client logs in to the replacement game server as "demo", is greeted, receives its
// instrument list and keeps the prices current from the stream.
TEST(EndToEnd, LogsInReceivesInstrumentsAndFollowsThePrices)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ClientApp& app = c.app;
    QString welcome;
    QList<int> refreshed;
    QObject::connect(&app, &ClientApp::welcomeText, [&](const QString& t) { welcome = t; });
    QObject::connect(&app, &ClientApp::pricesRefreshed, [&](const QList<int>& changed) { refreshed += changed; });
    ASSERT_TRUE(live.start());
    EXPECT_TRUE(waitFor([&] { return !welcome.isEmpty(); }));
    EXPECT_EQ(welcome, QStringLiteral("Willkommen beim Orvenspiel Demo-Server"));
    EXPECT_FALSE(app.state.Instruments[1].Ticker.isEmpty());
    EXPECT_EQ(app.state.priceHistory.rows(), app.state.InstrumentCount);

    // The stream changes prices: wait until some instrument gets a snapshot of its own.
    auto snapshots = [&] {
        int total = 0;
        for (int n = 1; n <= app.state.InstrumentCount; ++n)
            total += app.state.priceHistory.pos(n);
        return total;
    };
    const int before = snapshots();
    EXPECT_TRUE(waitFor([&] { return snapshots() > before + 2; }, 10000));
    EXPECT_TRUE(app.state.PricesChanged);
    // The periodic refresh names the changed instruments for their redraw.
    EXPECT_TRUE(waitFor([&] { return !refreshed.isEmpty(); }, 10000));
}
