// The log summary, without a network; then a game server in this process, attacked over
// 127.0.0.1 as a busy or hostile participant would.
#include "admin.h"
#include "framing.h"
#include "gameserver.h"
#include "instrumentconfig.h"
#include "loginguard.h"
#include "participantstore.h"
#include "passwordhash.h"
#include "ports.h"
#include "serverlog.h"
#include "session.h"
#include "tradestore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

TEST(LogSummaryTest, RepeatsBecomeOneLineWithACountPerInterval)
{
    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    {
        LogSummary log(1000);
        for (int i = 0; i < 500; ++i)
            log.line(QStringLiteral("junk"), QStringLiteral("junk %1").arg(i), i);
        log.line(QStringLiteral("other"), QStringLiteral("other 0"), 600);
        log.flush(999);
        EXPECT_EQ(lines, (QStringList{"junk 0", "other 0"}));
        log.flush(1000);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[2], QStringLiteral("junk 499 (499 more like this in 1 s)"));
        // A new interval writes its first line again; the rest is summed up when the
        // source goes.
        log.line(QStringLiteral("junk"), QStringLiteral("junk again"), 1500);
        log.line(QStringLiteral("junk"), QStringLiteral("junk last"), 1600);
    }
    setLogSink({});
    EXPECT_EQ(lines.mid(3), (QStringList{"junk again", "junk last (1 more like this in 1 s)"}));
}

TEST(LogSummaryTest, ABurstIsWrittenBeforeCountingAndControlBytesAreEscaped)
{
    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    {
        LogSummary log(1000, 3);
        for (int i = 0; i < 100; ++i)
            log.line(QStringLiteral("k"), QStringLiteral("line %1").arg(i), i);
    }
    logLine(QString::fromLatin1("a\x1b[2Jb\x9b" "31mc\x7f\r\nd\xe4"));
    setLogSink({});
    EXPECT_EQ(lines, (QStringList{"line 0", "line 1", "line 2", "line 99 (97 more like this in 1 s)",
                                  QString::fromLatin1("a\\x1b[2Jb\\x9b" "31mc\\x7f\\x0d\\x0ad\xe4")}));
}

TEST(LogSummaryTest, ManyKindsAreCountedTogether)
{
    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    {
        LogSummary log(1000);
        for (int i = 0; i < LogSummary::kMaxKinds + 100; ++i)
            log.line(QString::number(i), QStringLiteral("kind %1").arg(i), 0);
    }
    setLogSink({});
    EXPECT_EQ(lines.size(), LogSummary::kMaxKinds + 1);
    EXPECT_EQ(lines.last(), QStringLiteral("100 further log lines of other kinds left out"));
}

// A game server in this process on 127.0.0.1, ports chosen by the system; "demo" (U00001)
// and "anna" (U00002) can log in.
struct LocalServer {
    QTemporaryDir dir;
    ParticipantStore store;
    std::unique_ptr<GameServer> server;
    QStringList log;

    explicit LocalServer(double rate)
    {
        setLogSink([this](const QString& l) { log << l; });
        ServerOptions options;
        options.port = 0;
        options.httpPort = 0;
        options.dataDir = dir.path();
        options.seed = 1;
        options.rate = rate;
        options.closeTime.reset();
        options.hashIterations = kMinIterations;
        options.instantFills = true;
        // The participants here trade hundreds of orders at once.
        options.orderLimits = {1e6, 1'000'000, 1'000'000};
        store.setHashIterations(kMinIterations);
        QString error;
        EXPECT_TRUE(store.open(dir.path(), error)) << error.toStdString();
        EXPECT_TRUE(store.addMany({{"demo", "demo"}, {"anna", "pw"}}, error)) << error.toStdString();
        std::vector<InstrumentSpec> definitions = loadInstrumentConfig(QStringLiteral(KORVI_SHIPPED_INSTRUMENTS), error);
        server = std::make_unique<GameServer>(options, std::move(definitions), store);
        EXPECT_TRUE(server->start(error)) << error.toStdString();
    }
    ~LocalServer()
    {
        server->stop();
        server.reset();
        setLogSink({});
    }
    qsizetype logged(QStringView part) const
    {
        return std::count_if(log.cbegin(), log.cend(), [&](const QString& l) { return l.contains(part); });
    }
};

// A client in this process, driven by the event loop of the test.
class LocalPeer {
public:
    explicit LocalPeer(quint16 port) { m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port); }

    void sendRaw(const QByteArray& bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    void send(QByteArrayView message) { sendRaw(korvi::frame(message)); }
    // From now on only a few kilobytes are read, like a client that stopped reading.
    void stopReading() { m_socket.setReadBufferSize(4096); }
    void resumeReading() { m_socket.setReadBufferSize(0); }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // The messages that came since the last call.
    std::vector<QByteArray> take()
    {
        m_buffer.append(m_socket.readAll());
        std::vector<QByteArray> out = std::exchange(m_left, {});
        QByteArrayView m;
        while (m_buffer.next(m))
            out.push_back(m.toByteArray());
        m_buffer.compact();
        return out;
    }
    // Logs in and waits for the end of the greeting.
    bool login(QByteArrayView name, QByteArrayView password)
    {
        return waitFor([&](const QByteArray& m) {
            if (m.startsWith("!;ID"))
                send("TTUSER=" + name.toByteArray());
            else if (m.startsWith("!;USER"))
                send("@U=" + name.toByteArray() + '%' + password.toByteArray());
            return m == "@RV";
        });
    }
    // Runs the event loop until a message satisfies `done` (at most ten seconds).
    template <typename F>
    bool waitFor(F done)
    {
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::vector<QByteArray> messages = take();
            for (auto it = messages.begin(); it != messages.end(); ++it) {
                if (done(*it)) {
                    m_left.assign(std::next(it), messages.end()); // for the next take()
                    return true;
                }
            }
        }
        return false;
    }

private:
    QTcpSocket m_socket;
    korvi::ReceiveBuffer m_buffer{64 * 1024 * 1024};
    std::vector<QByteArray> m_left;
};

bool isPrice(QByteArrayView m) { return m.startsWith('~') || m.startsWith('^') || m.startsWith("@KU="); }

Session* sessionOf(GameServer& server, qint64 participant)
{
    for (Session* s : server.sessions()) {
        if (s->playing() && s->participant().id == participant)
            return s;
    }
    return nullptr;
}

// "demo" trades `fills` single pieces at market, buying and selling in turn.
bool tradeFills(LocalServer& local, LocalPeer& peer, int fills)
{
    for (int i = 1; i <= fills; ++i)
        peer.send("@PO=U00001;" + QByteArray::number(i) + ";2;" + (i % 2 ? "BUY " : "SEL ") + ";MKT;1; 0; 0;0;0");
    QDeadlineTimer deadline(30000);
    while (local.server->engine().fillsToday() < fills && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peer.take();
    }
    return local.server->engine().fillsToday() == fills;
}

TEST(BoundedWorkTest, AParticipantAskingFasterThanItReadsIsDroppedAloneAndNeverHeldOverTheCeiling)
{
    LocalServer local(200);
    LocalPeer greedy(local.server->tcpPort());
    LocalPeer watcher(local.server->tcpPort());
    ASSERT_TRUE(greedy.login("demo", "demo"));
    ASSERT_TRUE(watcher.login("anna", "pw"));
    // Every "@RA" answer lists all of today's orders: some 100 kB here.
    ASSERT_TRUE(tradeFills(local, greedy, 600));
    QPointer<Session> session = sessionOf(*local.server, 1);
    ASSERT_TRUE(session);
    greedy.stopReading();
    QByteArray burst;
    for (int i = 0; i < 4000; ++i)
        burst += korvi::frame("@RA");
    qint64 pricesDuring = 0;
    qint64 handled = session->handledMessages();
    int passes = 0;
    for (; passes < 20000 && session && session->playing(); ++passes) {
        if (passes % 4 == 0)
            greedy.sendRaw(burst);
        QCoreApplication::processEvents();
        if (!session || !session->playing())
            break;
        // Held and queued answers stay under the ceiling at every moment.
        ASSERT_LE(session->heldBytes() + session->queuedBytes(), GameServer::kMaxSendQueueBytes);
        // One pass of the event loop handles a bounded share of the flood: the request
        // event and at most one turn that goes on with the rest.
        ASSERT_LE(session->handledMessages() - handled, 2 * Session::kMessagesPerEvent) << "pass " << passes;
        handled = session->handledMessages();
        for (const QByteArray& m : watcher.take())
            pricesDuring += isPrice(m) ? 1 : 0;
    }
    EXPECT_TRUE(!session || !session->playing()) << "still playing after " << passes << " passes";
    EXPECT_EQ(local.logged(u"asks faster than it reads"), 1);
    EXPECT_GT(pricesDuring, 0);
    EXPECT_TRUE(watcher.connected());
    EXPECT_TRUE(watcher.waitFor([](const QByteArray& m) { return isPrice(m); }));
    EXPECT_TRUE(sessionOf(*local.server, 2));
}

TEST(BoundedWorkTest, ARepeatedRequestWaitingForItsAnswerIsAnsweredOnce)
{
    LocalServer local(0);
    LocalPeer peer(local.server->tcpPort());
    ASSERT_TRUE(peer.login("demo", "demo"));
    ASSERT_TRUE(tradeFills(local, peer, 3));
    // All in one event: each kind is answered once, the statements once per day asked.
    QByteArray burst;
    for (int i = 0; i < 50; ++i) {
        for (const char* request : {"@RA", "@RAO", "@RAE", "@GSUK", "@RI", "@GKO=45000", "@GKO=45001"})
            burst += korvi::frame(request);
    }
    peer.sendRaw(burst);
    QHash<QByteArray, int> answers;
    const auto count = [&](const QByteArray& m) {
        answers[m.left(m.indexOf('='))]++;
        return answers.value("@SD") >= 2;
    };
    ASSERT_TRUE(peer.waitFor(count));
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (const QByteArray& m : peer.take())
            count(m);
    }
    for (const char* answer : {"@SAO", "@SOO", "@SAE", "@SUK", "@SYI"})
        EXPECT_EQ(answers.value(answer), 1) << answer;
    EXPECT_EQ(answers.value("@SD"), 2);
}

// A commit fails while an order fills, at its first write or after the order, the fill
// and the position were written. Nothing is confirmed until the store works again; then
// the store holds exactly what the participant was told: the execution (id, quantity,
// price), the order and the position.
TEST(BoundedWorkTest, AFailedCommitConfirmsNothingUntilStoredAndLosesNothing)
{
    struct Case {
        const char* fails;
        const char* breaks;
        const char* mends;
    };
    const Case cases[] = {
        {"at its first write", "PRAGMA query_only = 1", "PRAGMA query_only = 0"},
        {"at its last write",
         "CREATE TEMP TRIGGER refuse_account BEFORE UPDATE ON main.participants"
         " BEGIN SELECT RAISE(ABORT, 'disk full'); END",
         "DROP TRIGGER temp.refuse_account"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fails);
        LocalServer local(0);
        const std::optional<Participant> anna = local.store.find("anna");
        ASSERT_TRUE(anna);
        LocalPeer peer(local.server->tcpPort());
        ASSERT_TRUE(peer.login("anna", "pw"));
        QString trades;
        for (const QString& name : QSqlDatabase::connectionNames()) {
            if (name.startsWith(QLatin1String("trades-")))
                trades = name;
        }
        ASSERT_FALSE(trades.isEmpty());
        const auto run = [&](const char* sql) {
            QSqlQuery q(QSqlDatabase::database(trades));
            ASSERT_TRUE(q.exec(QString::fromLatin1(sql))) << q.lastError().text().toStdString();
        };
        run(c.breaks);
        peer.send("@PO=" + anna->shortId + ";1;2;BUY ;MKT;1; 0; 0;0;0");
        peer.send("@RA");
        std::vector<QByteArray> early;
        QDeadlineTimer deadline(10000);
        // Two failed commits, and the events after them.
        while (local.logged(u"cannot store the trading records") == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_EQ(local.server->engine().fillsToday(), 1);
        for (int i = 0; i < 40; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            for (QByteArray& m : peer.take())
                early.push_back(std::move(m));
        }
        for (const QByteArray& m : early) {
            EXPECT_FALSE(m.startsWith("@OO") || m.startsWith("@OS") || m.startsWith("@EX") || m.startsWith("@SAO"))
                << "confirmed before it was stored: " << m.toStdString();
        }
        run(c.mends);
        QList<QByteArray> fill; // the fields of the confirmed execution
        bool listed = false;
        EXPECT_TRUE(peer.waitFor([&](const QByteArray& m) {
            if (m.startsWith("@EX="))
                fill = m.mid(4).split(';');
            listed = listed || m.startsWith("@SAO");
            return !fill.isEmpty() && listed;
        }));
        EXPECT_EQ(local.logged(u"trading records stored again"), 1);
        ASSERT_GE(fill.size(), 10);

        // What the store holds, read as a restart reads it.
        TradeStore stored;
        QString error;
        TradeStore::Snapshot snapshot;
        ASSERT_TRUE(stored.open(local.dir.path(), error) && stored.load(snapshot, error)) << error.toStdString();
        ASSERT_EQ(snapshot.executions.size(), 1u);
        const Execution& e = snapshot.executions[0];
        EXPECT_EQ(e.executionId, fill[5]);
        EXPECT_EQ(e.orderId, fill[1]);
        EXPECT_EQ(e.participant, anna->id);
        EXPECT_EQ(e.quantity, fill[8].trimmed().toInt());
        EXPECT_DOUBLE_EQ(e.price, fill[9].trimmed().toDouble());
        const auto order = std::find_if(snapshot.orders.begin(), snapshot.orders.end(),
                                        [&](const Order& o) { return o.orderId == fill[1]; });
        ASSERT_NE(order, snapshot.orders.end());
        EXPECT_EQ(order->status, status::Filled);
        EXPECT_EQ(order->filled, 1);
        EXPECT_EQ(order->userOrderId, 1);
        ASSERT_EQ(snapshot.positions.size(), 1u);
        EXPECT_EQ(snapshot.positions[0].participant, anna->id);
        EXPECT_EQ(snapshot.positions[0].instrument, 1);
        EXPECT_EQ(snapshot.positions[0].position.quantity, 1);
        EXPECT_DOUBLE_EQ(snapshot.positions[0].position.cost, e.sum);
    }
}

// What a connection holds for the next commit counts against its send ceiling together
// with what it has queued: a participant just under the ceiling is dropped as soon as the
// two would cross it, whether the last bytes are sent or held, and kept when they reach it
// exactly. No event runs between the steps, so nothing drains meanwhile.
TEST(BoundedWorkTest, HeldMessagesCountAgainstTheSendCeiling)
{
    constexpr qint64 kCeiling = GameServer::kMaxSendQueueBytes;
    const auto frameOf = [](qint64 bytes) { return korvi::frame(QByteArray(bytes - 2, 'x')); };
    struct Case {
        const char* last;
        bool held;  // the last bytes are held for the commit, or sent
        qint64 over; // bytes the last message takes past the ceiling
    };
    const Case cases[] = {
        {"sent past the ceiling", false, 1},
        {"held past the ceiling", true, 1},
        {"sent up to the ceiling", false, 0},
        {"held up to the ceiling", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        LocalServer local(0);
        LocalPeer peer(local.server->tcpPort());
        ASSERT_TRUE(peer.login("anna", "pw"));
        QPointer<Session> session = sessionOf(*local.server, local.store.find("anna")->id);
        ASSERT_TRUE(session);
        session->sendFramed(frameOf(kCeiling - session->queuedBytes() - 10'000));
        session->holdFrames(frameOf(4000));
        ASSERT_TRUE(session->playing()) << "still under the ceiling";
        const QByteArray last = frameOf(kCeiling - session->queuedBytes() - session->heldBytes() + c.over);
        if (c.held)
            session->holdFrames(last);
        else
            session->sendFramed(last);
        EXPECT_EQ(session->playing(), c.over == 0);
        if (c.over > 0) {
            QDeadlineTimer deadline(10000);
            while (peer.connected() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            EXPECT_FALSE(peer.connected());
            EXPECT_EQ(local.logged(u"the client asks faster than it reads"), 1);
        } else {
            // Everything arrives, the held message too.
            int big = 0;
            EXPECT_TRUE(peer.waitFor([&](const QByteArray& m) {
                big += m.size() == last.size() - 2 || m.size() == 4000 - 2;
                return big == 2;
            }));
        }
    }
}

// A participant that fell behind skips blocks of prices and, once its queue drained, gets
// the full prices of then. A block older than those full prices (one the sweep still had
// for it) is not sent after them, where it would take newer prices back; a newer one is.
TEST(BoundedWorkTest, AParticipantCatchingUpGetsNoBlockOlderThanItsFullPrices)
{
    LocalServer local(1000);
    LocalPeer peer(local.server->tcpPort());
    ASSERT_TRUE(peer.login("anna", "pw"));
    QPointer<Session> session = sessionOf(*local.server, local.store.find("anna")->id);
    ASSERT_TRUE(session);
    peer.stopReading();
    // Far more than the system buffers between the two take, so the queue stays over its mark.
    session->sendFramed(korvi::frame(QByteArray(GameServer::kMaxSendQueueBytes - 500'000, 'x')));
    QDeadlineTimer behind(10000);
    while (local.logged(u"cannot keep up with the prices") == 0 && !behind.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(local.logged(u"cannot keep up with the prices"), 1);

    const quint64 beforeCatchingUp = local.server->newestPriceBlock();
    peer.resumeReading();
    QDeadlineTimer drained(10000);
    while (session && session->queuedBytes() > 0 && !drained.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peer.take();
    }
    ASSERT_TRUE(session && session->queuedBytes() == 0);
    // Blocks keep coming every 20 ms; the next sweep finds the queue empty and sends the
    // full prices.
    QDeadlineTimer caughtUp(300);
    while (!caughtUp.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        peer.take();
    }
    ASSERT_TRUE(session);
    const qint64 queued = session->queuedBytes();
    session->sendPrices(korvi::frame("@KU=1;1;1;1;1;1"), 1, beforeCatchingUp, 0);
    EXPECT_EQ(session->queuedBytes(), queued) << "an older block is not sent after the full prices";
    session->sendPrices(korvi::frame("@KU=1;2;2;2;2;2"), 1, local.server->newestPriceBlock() + 1, 0);
    bool stale = false;
    EXPECT_TRUE(peer.waitFor([&](const QByteArray& m) {
        stale = stale || m == "@KU=1;1;1;1;1;1";
        return m == "@KU=1;2;2;2;2;2";
    }));
    EXPECT_FALSE(stale);
}

// Logins of a name are being slowed down after a wrong password; the operator sets a new
// one, and the very next login with it gets in at once through the running server.
TEST(LoginSlowdownTest, AnOperatorsNewPasswordGetsInAtOnce)
{
    LocalServer local(0);
    LoginGuard::Limits limits;
    limits.freeAttemptsPerName = 1;
    limits.firstDelayMs = limits.maxDelayMs = 120'000; // far beyond the waits of this test
    local.server->guard() = LoginGuard(limits);
    // Answers the login questions for "anna"; true at the refusal.
    const auto answer = [](LocalPeer& peer, QByteArray password) {
        return [&peer, password](const QByteArray& m) {
            if (m.startsWith("!;ID"))
                peer.send("TTUSER=anna");
            else if (m.startsWith("!;USER"))
                peer.send("@U=anna%" + password);
            return m.startsWith("@MSG");
        };
    };
    LocalPeer guesser(local.server->tcpPort());
    ASSERT_TRUE(guesser.waitFor(answer(guesser, "falsch")));
    LocalPeer slowed(local.server->tcpPort());
    const auto slowedAnswer = answer(slowed, "auch-falsch");
    QDeadlineTimer deadline(10000);
    const auto waits = [&] { return local.logged(u"login for 'anna' from 127.0.0.1 waits"); };
    while (waits() == 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (const QByteArray& m : slowed.take())
            slowedAnswer(m);
    }
    ASSERT_EQ(waits(), 1) << "the name is being slowed down";

    ParticipantStore operatorsStore;
    operatorsStore.setHashIterations(kMinIterations);
    QString error;
    ASSERT_TRUE(operatorsStore.open(local.dir.path(), error)) << error.toStdString();
    QByteArray out, err;
    ASSERT_EQ(runAdminCommand({"user", "password", "anna", "neu"}, operatorsStore, out, err), 0) << err.toStdString();
    LocalPeer renewed(local.server->tcpPort());
    EXPECT_TRUE(renewed.login("anna", "neu"));
}

TEST(BoundedWorkTest, FloodsOfRepeatableLinesLeaveABoundedLog)
{
    LocalServer local(0);
    LoginGuard::Limits limits;
    limits.freeAttemptsPerName = limits.freeNamesPerAddress = 1'000'000; // refused at once, never delayed
    local.server->guard() = LoginGuard(limits);
    LocalPeer peer(local.server->tcpPort());
    ASSERT_TRUE(peer.login("demo", "demo"));
    const qsizetype before = local.log.size();
    QByteArray flood;
    for (int i = 0; i < 5000; ++i) {
        flood += korvi::frame("@BR1=U00001;" + QByteArray::number(9000 + i));
        flood += korvi::frame("@BR?=U00001;" + QByteArray::number(9000 + i));
        flood += korvi::frame("@NOSUCH\x9b[31m\x1b]0;x\x07" + QByteArray::number(i));
    }
    peer.sendRaw(flood);
    peer.send("@TIMEGET");
    ASSERT_TRUE(peer.waitFor([](const QByteArray& m) { return m.startsWith("@ST"); }));
    // Connections that come and go, and logins refused.
    for (int i = 0; i < 60; ++i) {
        LocalPeer visitor(local.server->tcpPort());
        visitor.waitFor([&](const QByteArray& m) {
            if (m.startsWith("!;ID"))
                visitor.send("TTUSER=x");
            else if (m.startsWith("!;USER"))
                visitor.send("@U=nobody\x85%wrong");
            return m.startsWith("@MSG");
        });
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    local.server->stop();
    flushRepeated(true);
    const QStringList lines = local.log.mid(before);
    EXPECT_LT(lines.size(), 60) << lines.join(u'\n').toStdString();
    for (const QString& l : lines) {
        EXPECT_FALSE(std::any_of(l.cbegin(), l.cend(), [](QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F); }))
            << l.toStdString();
    }
}

} // namespace

// A port already taken: the message says which port, who usually holds it and the option
// that moves ours.
TEST(BoundedWorkTest, ATakenPortIsNamedWithTheOptionThatMovesIt)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    for (const bool game : {true, false}) {
        QTemporaryDir dir;
        ParticipantStore store;
        QString error;
        ASSERT_TRUE(store.open(dir.path(), error)) << error.toStdString();
        ServerOptions options;
        options.port = game ? squatter.serverPort() : 0;
        options.httpPort = game ? 0 : squatter.serverPort();
        options.dataDir = dir.path();
        options.rate = 0;
        options.closeTime.reset();
        std::vector<InstrumentSpec> definitions =
            loadInstrumentConfig(QStringLiteral(KORVI_SHIPPED_INSTRUMENTS), error);
        GameServer server(options, std::move(definitions), store);
        EXPECT_FALSE(server.start(error));
        const QString port = QString::number(squatter.serverPort());
        EXPECT_TRUE(error.contains(port)) << error.toStdString();
        EXPECT_TRUE(error.contains(game ? QStringLiteral("--port N chooses another port")
                                        : QStringLiteral("--http-port N chooses another port")))
            << error.toStdString();
        server.stop();
    }
    // Who usually holds the ports of our defaults, in both languages.
    EXPECT_TRUE(korvi::usualPortHolderEnglish(korvi::kGamePort).contains("korvi-server"));
    EXPECT_TRUE(korvi::usualPortHolderEnglish(korvi::kAddressPagePort).contains("--http-port"));
    EXPECT_TRUE(korvi::usualPortHolderEnglish(korvi::kOrderSocketPort).contains("settings line 22"));
    EXPECT_TRUE(korvi::usualPortHolderGerman(korvi::kGamePort).contains("--port"));
    EXPECT_TRUE(korvi::usualPortHolderGerman(korvi::kOrderSocketPort).contains("Einstellungszeile 22"));
    EXPECT_TRUE(korvi::usualPortHolderEnglish(5000).isEmpty());
    EXPECT_TRUE(korvi::usualPortHolderGerman(5000).isEmpty());
}
