#include "app/clientapp.h"
#include "support/liveserver.h"
#include "support/scriptedpeer.h"
#include "textfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct Fixture : ClientFixture {
    Fixture() : ClientFixture(Offline)
    {
        app.state.ServerAddress = "127.0.0.1";
        app.state.UserName = "anna";
        app.state.UserPassword = "pw";
        InitUser(app.state);
        ConnectionTiming t;
        t.watchdogMs = 50;
        t.silenceMs = 200;
        t.loginWaitMs = 100;
        t.logoutPauseMs = 20;
        app.connection.setTiming(t);
        app.connection.load(false);
        app.connection.setPortField(QByteArray::number(peer.port()));
    }
    Connection& c() { return app.connection; }
    bool logged(const QString& line) const { return app.incoming.contains(line); }
};

} // namespace

TEST(Connection, LoginHandshakeAndArrivalLogging)
{
    Fixture f;
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.logged("WS connected!"); }));
    EXPECT_EQ(f.c().LinkState, 2);
    EXPECT_EQ(f.c().TableText, "?");
    EXPECT_TRUE(f.c().KeepConnected);

    f.peer.send("!;ID");
    f.peer.send("!;USER");
    ASSERT_TRUE(waitFor([&] { return f.peer.received.size() >= 2; }));
    EXPECT_EQ(f.peer.received, (QByteArrayList{"TTUSER=anna", "@U=anna%pw"}));
    EXPECT_TRUE(f.logged("ID"));
    EXPECT_TRUE(f.logged("Server verlangt USER"));
    EXPECT_TRUE(f.logged("OUT:anna"));
    EXPECT_EQ(f.c().ControlText, "!;USER");

    // One arrival with several frames, one frame split across arrivals.
    f.peer.sendRaw(QByteArray("\x01@WELCOME\x02\x01@=\x02\x01~1;2\x02\x01@KU=1;2;3\x02\x01@OO=a=b"));
    ASSERT_TRUE(waitFor([&] { return f.logged("IN:@WELCOME"); }));
    f.peer.sendRaw(";c\x02\x01xyz\x02");
    ASSERT_TRUE(waitFor([&] { return f.logged("Unbekannter Befehl:xyz"); }));
    EXPECT_TRUE(f.logged("IN:@OO=a=b;c"));
    EXPECT_FALSE(f.logged("IN:@="));
    EXPECT_FALSE(f.logged("IN:~1;2"));
    EXPECT_FALSE(f.logged("IN:@KU=1;2;3"));
    EXPECT_EQ(f.c().lkursText(), "IN:@KU=1;2;3");
    EXPECT_TRUE(f.c().takeLkursChange());
    EXPECT_FALSE(f.c().takeLkursChange());
    EXPECT_EQ(f.c().LinkState, 3);
    EXPECT_EQ(f.c().LastReceiveTick, f.clock.ticks);
    EXPECT_GE(f.c().arrivals, 2u);
    EXPECT_GT(f.c().BytesReceived, 40u);

    // Senddata writes the framed text and logs it; the peer gets it.
    f.c().Senddata(frame("@PO=x"));
    ASSERT_TRUE(waitFor([&] { return f.peer.received.contains("@PO=x"); }));
    EXPECT_TRUE(f.app.outgoing.contains(QStringLiteral("OUT:\x01@PO=x\x02")));
    EXPECT_TRUE(f.c().sendRequest("@RAO"));
    ASSERT_TRUE(waitFor([&] { return f.peer.received.contains("@RAO"); }));

    // flush() hands a sent text to the system without the event loop: the peer's socket
    // gets it while the client's loop does not run. With nothing waiting it writes nothing.
    EXPECT_FALSE(f.c().flush());
    ASSERT_TRUE(f.c().Senddata(frame("@PO=y")));
    EXPECT_TRUE(f.c().flush());
    EXPECT_FALSE(f.c().flush());
    QTcpSocket* far = f.peer.last();
    ASSERT_NE(far, nullptr);
    for (int i = 0; i < 50 && !f.peer.received.contains("@PO=y"); ++i)
        far->waitForReadyRead(100);
    EXPECT_TRUE(f.peer.received.contains("@PO=y"));
}

TEST(Connection, KursprotokollShowsTheFirstFiftyCharacters)
{
    Fixture f;
    f.c().setKursprotokoll(true);
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.logged("WS connected!"); }));
    const QByteArray longMessage = "@SA=" + QByteArray(80, 'x');
    f.peer.send(longMessage);
    ASSERT_TRUE(waitFor([&] { return f.logged("IN:" + fromWire(longMessage)); }));
    EXPECT_TRUE(f.logged(fromWire(longMessage.left(50))));
}

TEST(Connection, ServerCloseThenWatchdogReconnects)
{
    Fixture f;
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() == 1 && f.logged("WS connected!"); }));
    f.peer.send("@=");
    ASSERT_TRUE(waitFor([&] { return f.c().LinkState == 3; }));

    f.peer.closeLast();
    ASSERT_TRUE(waitFor([&] { return f.logged("WS closed"); }));
    EXPECT_EQ(f.c().TableText, "");
    EXPECT_TRUE(f.c().KeepConnected);

    // Silence beyond the limit: the watchdog logs out and in again, a new connection. The
    // peer stays silent, so the watchdog goes on doing so; between its logout and its
    // login the flag is down for a moment.
    f.clock.ticks += 1000;
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() >= 2 && f.c().KeepConnected; }));

    // After "LOGOUT" nothing reconnects.
    f.c().logout();
    EXPECT_EQ(f.c().LinkState, 0);
    EXPECT_EQ(f.c().TableText, "_");
    EXPECT_EQ(f.c().BytesReceived, 0u);
    const int count = f.peer.connectionCount();
    f.clock.ticks += 100000;
    waitFor([] { return false; }, 300);
    EXPECT_EQ(f.peer.connectionCount(), count);
    EXPECT_FALSE(f.c().sendRequest("@RA"));
}

TEST(Connection, LoginWhileConnectedOpensANewConnection)
{
    Fixture f;
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() == 1 && f.logged("WS connected!"); }));
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() == 2; }));
    // Closing our own socket is not reported as a server close.
    EXPECT_FALSE(f.logged("WS closed"));
}

TEST(Connection, UnreachableServerReadsTheAddressPages)
{
    Fixture f;
    f.pages.pages["http://127.0.0.1:8100/ipkorvi.html"] = "127.0.0.1:" + QByteArray::number(f.peer.port()) + "\n";
    f.c().setServerField("127.0.0.1");
    f.c().setPortField("1"); // nothing listens there
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.c().portField() == QByteArray::number(f.peer.port()); }));
    EXPECT_EQ(f.c().serverField(), "127.0.0.1");
    EXPECT_EQ(f.app.state.ServerAddress, "127.0.0.1");
    // The watchdog's next round connects to the address from the page.
    f.clock.ticks += 100000;
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() >= 1; }));
}

TEST(Connection, ByteCounterAndOverlongGarbage)
{
    Fixture f;
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.logged("WS connected!"); }));
    // A megabyte without a frame end swallows the next frame's start into one unknown
    // message; the frame after that is handled normally.
    f.peer.sendRaw("\x01" + QByteArray(1 << 20, 'g'));
    f.peer.send("@MSG=eins");
    f.peer.send("@MSG=zwei");
    ASSERT_TRUE(waitFor([&] { return f.logged("IN:@MSG=zwei"); }));
    EXPECT_FALSE(f.logged("IN:@MSG=eins"));
    EXPECT_TRUE(f.app.incoming.lines().filter("Unbekannter Befehl:gggg").size() == 1);
    f.c().watchdogTick();
    EXPECT_TRUE(f.c().byteCounterText().startsWith("Bytes: "));
    EXPECT_GT(f.c().byteCounterText().mid(7).toLongLong(), 1 << 20);
}

// What the incoming list shows: full prices go to the "KURSE" label, short prices and the
// empty keep-alive nowhere, everything else as "IN:"; a frame start after bytes without one
// still gives its message.
TEST(Connection, IncomingListLeavesPricesOut)
{
    struct Case {
        QByteArray arrival;
        QString line; // empty: nothing may be logged
    };
    const QList<Case> cases = {
        {frame("~1;78.01;.02;5;.05;6"), {}},
        {frame("^11;.02;5;.05;6"), {}},
        {frame("^31;.08"), {}},
        {frame("@="), {}},
        {frame("@KU=1;2;3"), {}},
        {frame("@OO=7;SRV7"), "IN:@OO=7;SRV7"},
        {"no frame start here at all", {}},
        {"junk\x01@MSG=msg\x02", "IN:@MSG=msg"},
    };
    Fixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arrival.constData());
        const qsizetype before = f.app.incoming.lines().size();
        f.c().receive(c.arrival);
        const QStringList added = f.app.incoming.lines().mid(before);
        EXPECT_EQ(added, c.line.isEmpty() ? QStringList{} : QStringList{c.line});
    }
}

// A handler that lets events run while more frames arrive: those frames wait until it has
// returned, then each is handled once and in order.
TEST(Connection, HandlerRunningTheEventLoopKeepsOrderAndLosesNothing)
{
    Fixture f;
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.logged("WS connected!"); }));
    QByteArrayList handled;
    int depth = 0, deepest = 0;
    f.app.dispatcher.on(Cmd::Message, [&](QByteArrayView body) {
        deepest = std::max(deepest, ++depth);
        handled << body.toByteArray();
        if (body == "1") {
            f.peer.sendRaw(frame("@MSG=2") + frame("@MSG=3"));
            waitFor([] { return false; }, 300); // the frames arrive meanwhile
            f.peer.send("@MSG=4");
        }
        --depth;
    });
    f.peer.send("@MSG=1");
    ASSERT_TRUE(waitFor([&] { return handled.size() >= 4; }));
    EXPECT_EQ(handled, (QByteArrayList{"1", "2", "3", "4"}));
    EXPECT_EQ(deepest, 1) << "a frame was handled inside another's handler";
}

TEST(Connection, TimeSpentHandlingReceivedDataKeepsTheConnectionAlive)
{
    Fixture f;
    f.c().LastReceiveTick = f.clock.ticks; // the fake clock stands still until the burst
    f.c().login();
    ASSERT_TRUE(waitFor([&] { return f.peer.connectionCount() == 1 && f.logged("WS connected!"); }));
    // Each message takes a while to handle: a long burst lasts beyond the silence limit.
    int handled = 0;
    f.app.dispatcher.on(Cmd::Heartbeat, [&](QByteArrayView) {
        ++handled;
        f.clock.ticks += 150;
    });
    QByteArray burst;
    for (int i = 0; i < 10; ++i)
        burst += frame("@HB");
    f.c().receive(burst);
    ASSERT_EQ(handled, 10);
    f.c().watchdogTick();
    EXPECT_TRUE(f.c().KeepConnected);
    EXPECT_EQ(f.c().LinkState, 3);
    EXPECT_EQ(f.peer.connectionCount(), 1);
}
