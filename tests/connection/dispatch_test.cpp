#include "app/clientapp.h"
#include "connection/dispatcher.h"
#include "support/liveserver.h"

#include <QTemporaryDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct Routed {
    State state;
    LogList incoming;
    Dispatcher d{state, incoming};
    QStringList calls;

    Routed()
    {
        d.on(Cmd::OpenOrder, [this](QByteArrayView b) { calls << "OO:" + QString::fromLatin1(b); });
        d.on(Cmd::Kursupdate, [this](QByteArrayView b) { calls << "KU:" + QString::fromLatin1(b); });
        d.on(Cmd::Keepalive, [this](QByteArrayView) { calls << "HB"; });
        for (int form = 0; form <= 5; ++form)
            d.onShortPrice(form, [this, form](QByteArrayView b) {
                calls << QString("P%1:").arg(form) + QString::fromLatin1(b);
            });
        d.onControl([this](QByteArrayView b) { calls << "CTL:" + QString::fromLatin1(b); });
        d.onPriceRecord([this](QByteArrayView b) { calls << "REC:" + QString::fromLatin1(b); });
    }
};

} // namespace

TEST(Dispatch, RoutesEveryKindOfMessage)
{
    Routed r;
    r.state.InstrumentCount = 3;
    for (const char* m : {"@OO=1;2", "@OpenOrder=x", "@oo=ignored", "@=", "~1;5", "^3 2;7", "^9x", "!;HB", "@KU=1"})
        r.d.dispatch(m);
    EXPECT_EQ(r.calls, (QStringList{"OO:1;2", "OO:x", "HB", "P0:1;5", "REC:~1;5", "P3: 2;7",
                                    "REC:^3 2;7", "REC:^9x", "CTL:!;HB", "KU:1"}));
    r.d.dispatch("#what");
    r.d.dispatch("");
    EXPECT_EQ(r.incoming.lines(), (QStringList{"Unbekannter Befehl:#what", "Unbekannter Befehl:"}));
}

TEST(Dispatch, PricesBeforeTheInstrumentListAreOnlyRecorded)
{
    // "~" and "@KU" wait for the instrument list; the "^" forms go to their handlers,
    // which must cope with an empty table themselves.
    Routed r;
    r.d.dispatch("~1;5");
    r.d.dispatch("@KU=1;2");
    r.d.dispatch("^1x");
    EXPECT_EQ(r.calls, (QStringList{"REC:~1;5", "P1:x", "REC:^1x"}));
}

namespace {

struct ControlFixture : ClientFixture {
    int exits = 0;
    QByteArray table;
    ControlFixture()
    {
        QObject::connect(&app, &ClientApp::exitRequested, [this] { ++exits; });
        app.control.initTabelle = [this](QByteArrayView t) { table = t.toByteArray(); };
    }
};

} // namespace

TEST(ControlLines, BeepsExitAndTable)
{
    ControlFixture f;
    for (const char* line : {"!;MULTI;BEEP3", "!;MULTI;BEEP", "!;MULTI;beep", "!;MULTI;BEEP7", "!;MSG hallo"})
        f.app.dispatcher.dispatch(line);
    EXPECT_EQ(f.sound.beeps, 2);
    EXPECT_EQ(f.exits, 0);
    EXPECT_EQ(f.app.connection.ControlText, "!;MSG hallo");

    f.app.dispatcher.dispatch("!;T;xxA;B;C");
    EXPECT_EQ(f.app.connection.TableText, "A;B;C");
    EXPECT_EQ(f.table, "A;B;C");

    f.app.dispatcher.dispatch("!;HB");
    EXPECT_TRUE(f.app.incoming.contains("Heartbeat"));
    EXPECT_TRUE(f.app.protocol.contains("Empfange Heartbeat09:30:15"));

    f.app.dispatcher.dispatch("!;MULTI;EXIT");
    f.app.dispatcher.dispatch("!;EXIT");
    EXPECT_EQ(f.exits, 2);
}

TEST(ControlLines, RepliesUseTheWindowFields)
{
    ControlFixture f;
    // An empty user name is sent as it is; replies while not connected are dropped quietly.
    f.app.connection.setUserField("");
    f.app.dispatcher.dispatch("!;IDxyz");
    f.app.dispatcher.dispatch("!;USER");
    EXPECT_TRUE(f.app.incoming.contains("ID"));
    EXPECT_TRUE(f.app.incoming.contains("Server verlangt USER"));
    EXPECT_EQ(f.app.incoming.lines().count("OUT:"), 2);
}

namespace {

// A minimal HTTP responder on 127.0.0.1: answers each request with the body for its path
// (404 with a not-found text for unknown paths) and remembers the request heads.
class HttpResponder {
public:
    QMap<QByteArray, QByteArray> bodies;
    QByteArrayList requests;
    HttpResponder()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    const QByteArray head = s->readAll();
                    requests << head;
                    const QByteArray path = head.split(' ').value(1);
                    const bool found = bodies.contains(path);
                    const QByteArray body = found ? bodies[path] : QByteArray("Die Seite existiert nicht.");
                    s->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                             QByteArray("Content-Length: ") + QByteArray::number(body.size()) +
                             "\r\nConnection: close\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
            }
        });
    }
    QString host() const { return QString("127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    QTcpServer m_server;
};

} // namespace

TEST(Connection, SocketStateTexts)
{
    EXPECT_EQ(socketStateText(0), "Geschlossen");
    EXPECT_EQ(socketStateText(1), QString::fromUtf8("Geöffnet"));
    EXPECT_EQ(socketStateText(5), socketStateText(4));
    EXPECT_EQ(socketStateText(8), QString::fromUtf8("Partner schließt Verbindung"));
    EXPECT_TRUE(socketStateText(10).isEmpty());
}

TEST(AddressPage, ParsesUpToThreeLines)
{
    AddressList l;
    EXPECT_EQ(parseAddressPage("game.example:4200\n", l), 17);
    EXPECT_EQ(l.count, 2);
    EXPECT_EQ(l.entry[1], "game.example:4200");
    EXPECT_EQ(parseAddressPage(" a.b \r\n c.d:1\r\ne.f\r\ng.h", l), 3);
    EXPECT_EQ(l.count, 3);
    EXPECT_EQ(l.entry[2], "c.d:1");
    EXPECT_EQ(l.entry[3], "e.f"); // reading stops after the third entry
    EXPECT_EQ(parseAddressPage("a.b.c", l), 0);
    EXPECT_EQ(l.count, 1);
    EXPECT_EQ(parseAddressPage("Seite existiert nicht: x.y", l), 0);
    EXPECT_EQ(parseAddressPage("localhost", l), 0);
}

TEST(AddressPage, ReadsOverHttpAndFallsBack)
{
    HttpResponder http;
    http.bodies["/ip.html"] = "game.example:4200\n";
    QTemporaryDir dir;
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    HttpPageReader pages;
    ClientApp app{dir.path(), prompts, sound, clock, pages};
    BuiltInAddresses a;
    a.webHost1 = http.host();
    a.webHost2 = "127.0.0.1:1";
    app.connection.setAddresses(a);
    app.connection.load(false);

    app.connection.readIpPage();
    ASSERT_TRUE(waitFor([&] { return app.connection.serverField() == "game.example"; }, 10000));
    EXPECT_EQ(app.connection.portField(), "4200");
    EXPECT_EQ(app.state.ServerAddress, "game.example");
    ASSERT_FALSE(http.requests.isEmpty());
    EXPECT_TRUE(http.requests[0].startsWith("GET /ipkorvi.html"));
    EXPECT_TRUE(http.requests[0].contains("Nordel:INET"));
    EXPECT_TRUE(http.requests[0].contains("no-cache"));

    // "IP" ticked: the pages are read, the fields keep the typed address.
    app.connection.setServerField("typed.host");
    app.connection.setIpChecked(true);
    app.connection.readIpPage();
    waitFor([] { return false; }, 500);
    EXPECT_EQ(app.connection.serverField(), "typed.host");

    // No page answers: the fallback address.
    app.connection.setIpChecked(false);
    http.bodies.clear();
    app.connection.readIpPage();
    ASSERT_TRUE(waitFor([&] { return app.connection.serverField() == "127.0.0.1"; }, 15000));
    EXPECT_EQ(app.connection.portField(), "4100");
}

TEST(AddressPage, StartOptionSelectsEntryAndTestAddresses)
{
    QTemporaryDir dir;
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp app{dir.path(), prompts, sound, clock, pages};
    pages.pages["http://127.0.0.1:8100/ipkorvi.html"] = "one.host:1\ntwo.host:2\nthree.host\n";
    app.state.startOption = "IP2";
    app.connection.readIpPage();
    EXPECT_EQ(app.connection.serverField(), "two.host");
    EXPECT_EQ(app.connection.portField(), "2");
    EXPECT_EQ(app.connection.addressInUse, 2);

    app.state.startOption = "IPTEST IP3";
    app.connection.readIpPage();
    EXPECT_EQ(app.connection.serverField(), "127.0.0.3");

    // The game edition reads its own pages.
    app.state.startOption.clear();
    app.state.GameEdition = 1;
    pages.requested.clear();
    app.connection.readIpPage();
    EXPECT_EQ(pages.requested, (QStringList{"http://127.0.0.1:8100/ipvarn3.html", "http://localhost:8100/ipvarn3.html"}));
}
