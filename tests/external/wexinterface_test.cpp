#include "externalfixture.h"
#include "framing.h"

#include "ports.h"
#include "settings.h"
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

const QByteArray kInstrumentList = "\x01@IL;FDAX;W1;Dax Future\nFESX;ESX;Euro Stoxx\nFGBL;BUND;Bund\x02";
const QByteArray kHereIAm = "HERE I AM;09:30:15";

int linesStarting(const LogList& list, const QString& prefix)
{
    int n = 0;
    for (const QString& line : list.lines())
        n += line.startsWith(prefix);
    return n;
}

// A connected outside program that has been greeted.
struct Session : ExternalFixture {
    Outside outside;
    // Connects and names the user.
    bool open()
    {
        if (!outside.connectTo(wexPort()) || outside.take(9) != "\x01WHOISIT\x02")
            return false;
        outside.send("\x01USER;ZAQR\x02");
        return outside.take(9 + kInstrumentList.size()) == "\x01USER OK\x02" + kInstrumentList;
    }
    // Sends `bytes`, then "HI", and returns everything that came before the answer to "HI":
    // what the command itself answered, or nothing.
    QByteArray answerTo(QByteArrayView bytes)
    {
        outside.send(bytes);
        outside.send("\x01HI\x02");
        waitFor([&] {
            outside.received += outside.socket.readAll();
            return outside.received.contains(kHereIAm);
        });
        const qsizetype at = outside.received.indexOf(kHereIAm);
        if (at < 0)
            return "<no answer to HI>";
        const QByteArray before = outside.received.left(at);
        outside.received.remove(0, at + kHereIAm.size());
        return before;
    }
};

} // namespace

// One outside program's conversation: every command, what it answers byte for byte, and
// what goes to the game server.
TEST(WexInterface, ConversationByteForByte)
{
    Session f;
    ASSERT_NE(f.wexPort(), 0);
    ASSERT_TRUE(f.outside.connectTo(f.wexPort()));
    ASSERT_EQ(f.outside.take(9), "\x01WHOISIT\x02");
    EXPECT_TRUE(f.ext.wex.WexConnected());
    EXPECT_EQ(f.ext.wex.stateNumber(), 7);
    // "HI" typed on a terminal: no frame characters either way.
    f.outside.send("USER;ZAQR\r\n");
    f.outside.take(9 + kInstrumentList.size());
    f.outside.send("HI\r\n");
    EXPECT_EQ(f.outside.take(kHereIAm.size()), kHereIAm);

    struct Step {
        const char* name;
        QByteArray send;
        QByteArray answer;
        QByteArrayList toServer;
    };
    const Step steps[] = {
        {"user again", "\x01USER;ZAQR\x02", "\x01USER OK\x02" + kInstrumentList, {}},
        {"user in lower case is no user line", "\x01user;nobody\x02", "", {}},
        // The test field's text: its eighth field, the reference, is "1".
        {"order by number", "\x01@PO;W1;1;BUY;LMT;2;3800;0;1;O999\x02", "\x01@OC;1;-42\x02",
         {"@PO=ABC123;-42;1;BUY ;LMT;2; 3800; 0;0;0"}},
        {"lower-case order, instrument by code in any case", "\x01@po;bund;0;SELL;STP;3;120.5;0;R2\x02",
         "\x01@OC;R2;-43\x02", {"@PO=ABC123;-43;3;SEL ;STP;3; 120.5; 0;0;0"}},
        {"unknown instrument", "\x01@PO;XX;0;BUY;MKT;1;0;0;R3\x02",
         QByteArray("\x01@ER; 1;Wertpapier nicht verf\xfcgbar;R3\x02"), {}},
        {"number outside the table", "\x01@PO;W1;9;BUY;MKT;1;0;0;R4\x02",
         QByteArray("\x01@ER; 1;Wertpapier nicht verf\xfcgbar;R4\x02"), {}},
        {"stop limit below the last price", "\x01@PO;W1;1;BUY;STP;1;3700;0;R5\x02",
         "\x01@ER; 6;STP-Limit auf der falschen Seite des Last-Kurses;R5\x02", {}},
        {"account request", "\x01@wt_ra\x02", "", {"@GSUK"}},
        {"executions request", "\x01@WT_REX\x02", "", {"@RAE"}},
        {"unknown command", "\x01@XY;1\x02", "", {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int before = f.server.received.size();
        EXPECT_EQ(f.answerTo(step.send), step.answer);
        for (const QByteArray& m : step.toServer)
            EXPECT_TRUE(f.serverGot(m)) << m.toStdString();
        QByteArrayList orders;
        for (int i = before; i < f.server.received.size(); ++i)
            orders << f.server.received[i];
        EXPECT_EQ(orders.size(), step.toServer.size());
    }
    // The unknown instrument is told on screen once the handler is done.
    EXPECT_TRUE(waitFor([&] { return f.prompts.messages.size() == 2; }));
    EXPECT_EQ(f.prompts.messages.value(0), QStringLiteral("Das angeforderte Wertpapier XX ist nicht verf\u00fcgbar!"));

    // Server answers relayed: account and executions once each, confirmations, status
    // changes of external orders, rejections.
    f.app.dispatcher.dispatch("@SUK=20260101;x;1;2;3;4;5;6");
    f.app.dispatcher.dispatch("@SUK=20260101;x;1;2;3;4;5;7");
    f.app.dispatcher.dispatch("@SAE=E1;ORD00001;1\nE2;ORD00002;2");
    f.app.dispatcher.dispatch("@SAE=E1;ORD00001;1");
    f.app.dispatcher.dispatch("@OO=-42;ORD00042;;BUY ;2;LMT;3800;0;4;0;2;0;093000;093000;;1;0;0;;0;0");
    f.app.dispatcher.dispatch("@OS=-42;;6;093001;2;0;3800.5;;0;0");
    f.app.dispatcher.dispatch("@OR=zu spaet");
    EXPECT_EQ(f.answerTo(""), "\x01@SUK;20260101;x;1;2;3;4;5;6\x02"
                              "\x01@SAE;E1;ORD00001;1\nE2;ORD00002;2\x02"
                              "\x01@OI;-42;ORD00042\x02"
                              "\x01@OS;-42; 6; 2; 0; 3800.5\x02"
                              "\x01@OR;zu spaet\x02");

    // "@CO" cancels only a pre-submitted or submitted order.
    f.app.dispatcher.dispatch("@OO=-42;ORD00042;;BUY ;2;LMT;3800;0;4;0;2;0;093000;093000;;1;0;0;;0;0");
    f.answerTo("");
    EXPECT_EQ(f.answerTo("\x01@CO;-42\x02"), "");
    EXPECT_TRUE(f.serverGot("@CO=ABC123;-42;ORD00042"));
    f.app.dispatcher.dispatch("@OS=-42;;5;093001;0;0;0;;0;0");
    f.answerTo("");
    // A cancel that cannot be done is answered at once: the order is no longer open, or
    // there is no such order.
    const qsizetype cancels = f.orders().size();
    EXPECT_EQ(f.answerTo("\x01@CO;-42\x02\x01@CO;-999\x02"),
              "\x01@ER; 5;Order nicht streichbar;-42\x02\x01@ER; 4;Order nicht vorhanden;-999\x02");
    EXPECT_EQ(f.orders().size(), cancels);
    // An exit that still waits for its main (pre-submitted) is cancelled like any open order.
    f.app.dispatcher.dispatch("@OO=-45;ORD00045;;SEL ;2;LMT;3900;0;3;0;2;0;093000;093000;;1;2;-44;;0;0");
    f.answerTo("");
    EXPECT_EQ(f.answerTo("\x01@CO;-45\x02"), "");
    EXPECT_TRUE(f.serverGot("@CO=ABC123;-45;ORD00045"));

    const QStringList& log = f.ext.list1.lines();
    EXPECT_TRUE(log.contains("IN:USER;ZAQR"));
    EXPECT_TRUE(log.contains("OUT:@OC;1;-42"));
    EXPECT_TRUE(log.contains("@PO=ABC123;-42;1;BUY ;LMT;2; 3800; 0;0;0"));
}

// Who may connect, one at a time; a refused user name ends the connection and the socket
// listens again; a closed connection brings listening back and the message line follows.
TEST(WexInterface, ConnectionsComeAndGo)
{
    ExternalFixture f;
    const quint16 port = f.wexPort();
    ASSERT_NE(port, 0);

    f.s.settings.wexIp = "10.1.2.3";
    {
        Outside stranger;
        stranger.socket.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(waitFor([&] { return f.ext.list1.contains("Falsche Client IP!"); }));
        EXPECT_TRUE(stranger.waitClosed());
        EXPECT_TRUE(f.ext.list1.contains("Falsche Client IP!"));
        EXPECT_EQ(f.ext.wex.stateNumber(), 2);
    }
    f.s.settings.wexIp = "127.0.0.1";

    Outside first;
    ASSERT_TRUE(first.connectTo(port));
    EXPECT_EQ(first.take(9), "\x01WHOISIT\x02");
    f.ext.wex.refreshStatus();
    EXPECT_EQ(f.app.messages.messageLine(), "Fennix connected");
    // A second program is not served while the first is connected: it is told so.
    Outside second;
    second.socket.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(waitFor([&] {
        second.received += second.socket.readAll();
        return second.received.contains("BUSY");
    }));
    EXPECT_EQ(second.received, "\x01" "BUSY\x02");
    EXPECT_TRUE(second.waitClosed());

    first.send("\x01USER;WRONG\x02\x01HI\x02");
    EXPECT_TRUE(first.waitClosed());
    EXPECT_TRUE(f.ext.list1.contains("Wrong User WRONG"));
    EXPECT_FALSE(f.ext.wex.WexConnected());
    EXPECT_FALSE(first.drain(0).contains("HERE I AM"));
    ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2; }));
    f.ext.wex.refreshStatus();
    EXPECT_EQ(f.app.messages.messageLine(), "Fennix nicht connected");

    Outside third;
    ASSERT_TRUE(third.connectTo(f.wexPort()));
    EXPECT_EQ(third.take(9), "\x01WHOISIT\x02");
    third.socket.disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2 && !f.ext.wex.WexConnected(); }));
    EXPECT_EQ(linesStarting(f.ext.list1, "Listen "), 3);
}

// A busy port is tried again every little while, with one line per failed attempt, and
// taken once it is free.
TEST(WexInterface, BusyPortIsRetried)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    ExternalFixture f;
    f.s.settings.wexPort = QByteArray::number(squatter.serverPort());
    f.ext.wex.Command17_Click();
    EXPECT_EQ(f.ext.wex.stateNumber(), 9);
    ASSERT_TRUE(waitFor([&] { return linesStarting(f.ext.list1, "F:Listen") >= 3; }));
    // The line says where the port is set.
    EXPECT_TRUE(f.ext.list1.lines().filter("F:Listen").first().contains("Einstellungszeile 22"))
        << f.ext.list1.lines().join('|').toStdString();
    const int listens = linesStarting(f.ext.list1, "Listen ");
    squatter.close();
    ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2; }));
    EXPECT_EQ(f.ext.wex.listeningPort(), f.s.settings.wexPort.toUInt());
    EXPECT_EQ(linesStarting(f.ext.list1, "Listen "), listens);
}

// An outside program that sends without end is cut off at the buffer's capacity and the
// next whole frame is served.
TEST(WexInterface, EndlessFrameIsDropped)
{
    Session f;
    ASSERT_TRUE(f.open());
    f.outside.send("\x01");
    const QByteArray chunk(64 * 1024, 'x');
    for (qsizetype sent = 0; sent <= WexBuffer::kDefaultCapacity; sent += chunk.size())
        f.outside.send(chunk);
    ASSERT_TRUE(waitFor([&] { return linesStarting(f.ext.list1, "F:Wex_DataArrival") == 1; }, 10000));
    EXPECT_EQ(f.answerTo("yy"), "");
}

// Before the right user name nothing is done for a program: whatever else it sends closes
// the connection with an "F:" line, and so does a connection that begins like a web
// browser's request, whatever its body says. Each case on a fresh connection.
TEST(WexInterface, NothingActsBeforeTheUserAndNoWebRequestAtAll)
{
    ExternalFixture f;
    const quint16 port = f.wexPort();
    ASSERT_NE(port, 0);
    const QByteArray order = "\x01USER;ZAQR\x02\x01@PO;W1;1;BUY;MKT;3;;;WEB\x02";
    const QByteArray post = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\nContent-Length: " +
                            QByteArray::number(order.size()) + "\r\n\r\n" + order;
    struct Case {
        const char* name;
        QByteArrayList arrivals;
    };
    const Case cases[] = {
        {"HTTP POST with a framed order in its body", {post}},
        {"the same cut after two bytes", {post.left(2), post.mid(2)}},
        {"lower-case method", {"post / HTTP/1.1\r\n\r\n" + order}},
        {"GET", {"GET /?" + order + " HTTP/1.1\r\nHost: x\r\n\r\n"}},
        {"preflight", {"OPTIONS / HTTP/1.1\r\nHost: x\r\n\r\n", order}},
        {"unknown method, but a Host line", {"FOO / HTTP/1.1\r\nhost: x\r\n\r\n" + order}},
        {"Host line in a later arrival", {"\x01", "\x02\r\nHost: x\r\n\r\n" + order}},
        {"order before the user", {"\x01@PO;W1;1;BUY;MKT;3;;;X\x02" + order}},
        {"order typed before the user", {"@PO;W1;1;BUY;MKT;3;;;X\r\n"}},
        {"account request before the user", {"\x01@WT_RA\x02" + order}},
        {"executions request before the user", {"\x01@wt_rex\x02" + order}},
        {"cancel before the user", {"\x01@CO;-5\x02" + order}},
        {"HI and a lower-case user line, then an order before the user",
         {"\x01HI\x02\x01user;ZAQR\x02\x01@PO;W1;1;BUY;MKT;3;;;X\x02" + order}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const qsizetype fLines = f.ext.list1.lines().filter(QStringLiteral("F:Wex_DataArrival")).size();
        Outside program;
        ASSERT_TRUE(program.connectTo(port));
        ASSERT_EQ(program.take(9), "\x01WHOISIT\x02");
        for (const QByteArray& bytes : c.arrivals) {
            program.send(bytes);
            waitFor([] { return false; }, 20);
        }
        EXPECT_TRUE(program.waitClosed());
        EXPECT_FALSE(program.drain(0).contains("USER OK"));
        EXPECT_EQ(f.ext.list1.lines().filter(QStringLiteral("F:Wex_DataArrival")).size(), fLines + 1);
        ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2; }));
    }
    // A request written in pieces, cut inside its method name, is still a request.
    for (const QByteArray& method : {QByteArray("GET"), QByteArray("POST"), QByteArray("OPTIONS"), QByteArray("HEAD"),
                                    QByteArray("delete")}) {
        const QByteArray request = method + " / HTTP/1.1\r\n\r\n" + order;
        for (qsizetype cut = 1; cut < method.size(); ++cut) {
            SCOPED_TRACE((method + " cut after " + QByteArray::number(cut)).toStdString());
            const qsizetype fLines = f.ext.list1.lines().filter(QStringLiteral("F:Wex_DataArrival HTTP")).size();
            Outside program;
            ASSERT_TRUE(program.connectTo(port));
            ASSERT_EQ(program.take(9), "\x01WHOISIT\x02");
            program.send(request.left(cut));
            waitFor([] { return false; }, 20);
            program.send(request.mid(cut));
            EXPECT_TRUE(program.waitClosed());
            EXPECT_FALSE(program.drain(0).contains("USER OK"));
            EXPECT_EQ(f.ext.list1.lines().filter(QStringLiteral("F:Wex_DataArrival HTTP")).size(), fLines + 1);
            ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2; }));
        }
    }
    // Whatever might have gone to the game server has had time to arrive.
    waitFor([] { return false; }, 200);
    EXPECT_TRUE(f.orders().isEmpty()) << f.orders().join(' ').toStdString();
    EXPECT_FALSE(f.server.received.contains("@GSUK"));
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

// Before the user a program may ask for the time ("HI", also typed on a terminal), and a
// user line in lower case is ignored as it is afterwards; neither acts for anyone, and the
// program can still name the user.
TEST(WexInterface, BeforeTheUserHiIsAnsweredAndALowerCaseUserLineIgnored)
{
    Session f;
    ASSERT_TRUE(f.outside.connectTo(f.wexPort()));
    ASSERT_EQ(f.outside.take(9), "\x01WHOISIT\x02");
    f.outside.send("\x01HI\x02");
    EXPECT_EQ(f.outside.take(kHereIAm.size()), kHereIAm);
    f.outside.send("\x01user;ZAQR\x02\x01@XY;1\x02");
    f.outside.send("HI\r\n");
    EXPECT_EQ(f.outside.take(kHereIAm.size()), kHereIAm);
    EXPECT_EQ(f.outside.socket.state(), QAbstractSocket::ConnectedState);
    f.outside.send("\x01USER;ZAQR\x02");
    EXPECT_EQ(f.outside.take(9 + kInstrumentList.size()), "\x01USER OK\x02" + kInstrumentList);
    EXPECT_EQ(f.answerTo("\x01@PO;W1;1;BUY;LMT;2;3800;0;R1\x02"), "\x01@OC;R1;-42\x02");
    EXPECT_TRUE(f.ext.list1.contains("IN:user;ZAQR"));
}

// A program from an address that is not permitted learns nothing, not even that another
// program is connected: the address is checked before "BUSY".
TEST(WexInterface, AStrangerGetsNoBusy)
{
    ExternalFixture f;
    Outside first;
    ASSERT_TRUE(first.connectTo(f.wexPort()));
    ASSERT_EQ(first.take(9), "\x01WHOISIT\x02");
    f.s.settings.wexIp = "10.1.2.3";
    Outside stranger;
    stranger.socket.connectToHost(QHostAddress::LocalHost, f.wexPort());
    EXPECT_TRUE(stranger.waitClosed());
    EXPECT_EQ(stranger.drain(0), "");
    EXPECT_TRUE(f.ext.list1.contains("Falsche Client IP!"));
    EXPECT_EQ(f.ext.list1.lines().filter(QStringLiteral("Besetzt")).size(), 0);
    EXPECT_TRUE(f.ext.wex.WexConnected());
}

// A program that never names the user is closed after a few seconds, so the next one can
// connect; one that named the user may stay silent.
TEST(WexInterface, AnIdleProgramDoesNotHoldTheSocket)
{
    Session f;
    f.ext.wex.setTiming({200, 50, 300});
    Outside idle;
    ASSERT_TRUE(idle.connectTo(f.wexPort()));
    EXPECT_TRUE(idle.waitClosed());
    EXPECT_TRUE(f.ext.list1.contains("F:Wex_DataArrival kein USER nach 300 ms"));
    ASSERT_TRUE(waitFor([&] { return f.ext.wex.stateNumber() == 2; }));

    ASSERT_TRUE(f.open());
    waitFor([] { return false; }, 600);
    EXPECT_EQ(f.answerTo("\x01@PO;W1;1;BUY;LMT;2;3800;0;R1\x02"), "\x01@OC;R1;-42\x02");
}

// The defaults never collide on one machine: a fresh client's order socket is neither the
// game server's port nor its address pages', and korvi-remote dials it; a settings file
// that names a port keeps it.
TEST(WexInterface, DefaultPortsOfClientServerAndRemoteAgree)
{
    ClientFixture fresh(ClientFixture::Offline);
    EXPECT_EQ(fresh.app.state.settings.wexPort, QByteArray::number(kOrderSocketPort));
    EXPECT_NE(kOrderSocketPort, kGamePort);
    EXPECT_NE(kOrderSocketPort, kAddressPagePort);
    EXPECT_NE(kGamePort, kAddressPagePort);
    Settings older;
    Settings written;
    written.wexPort = "4100";
    ASSERT_TRUE(parseSettings(serializeSettings(written), older));
    EXPECT_EQ(older.wexPort, "4100");

    ASSERT_FALSE(qEnvironmentVariableIsEmpty("KORVI_REMOTE"));
    QProcess remote;
    remote.start(QString::fromLocal8Bit(qgetenv("KORVI_REMOTE")), {QStringLiteral("--help")});
    ASSERT_TRUE(remote.waitForFinished(10000));
    const QByteArray help = remote.readAllStandardOutput();
    EXPECT_TRUE(help.contains("(" + QByteArray::number(kOrderSocketPort) + ")")) << help.constData();
}
