#include "connection/clientapp.h"
#include "support/doubles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

// The client logs in to the replacement game server as "demo", is greeted, receives its
// instrument list and keeps the prices current from the stream.
TEST(EndToEnd, LogsInReceivesInstrumentsAndFollowsThePrices)
{
    const QByteArray serverPath = qgetenv("KORVI_SERVER");
    if (serverPath.isEmpty())
        GTEST_SKIP() << "KORVI_SERVER is not set";

    QTemporaryDir data;
    QProcess server;
    server.start(QString::fromLocal8Bit(serverPath),
                 {"--port", "0", "--http-port", "0", "--data", data.path()});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray banner;
    ASSERT_TRUE(waitFor([&] {
        banner += server.readAllStandardOutput();
        return banner.contains('\n');
    }, 10000)) << banner.constData();
    const QList<QByteArray> words = banner.left(banner.indexOf('\n')).split(' ');
    ASSERT_EQ(words.size(), 3);
    ASSERT_EQ(words[0], "listening");

    QTemporaryDir work;
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp app(work.path(), prompts, sound, clock, pages);
    QString welcome;
    QObject::connect(&app, &ClientApp::welcomeText, [&](const QString& t) { welcome = t; });
    app.state.ServerAddress = "127.0.0.1";
    app.state.UserName = "demo";
    app.state.UserPassword = "demo";
    InitUser(app.state);
    app.connection.load(false);
    app.connection.setPortField(words[1].trimmed());
    app.connection.login();

    ASSERT_TRUE(waitFor([&] { return app.state.InstrumentCount > 0; }, 10000));
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
    std::vector<int> changed;
    EXPECT_TRUE(app.prices.refresh(changed));
    EXPECT_FALSE(changed.empty());

    app.connection.logout();
    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
}
