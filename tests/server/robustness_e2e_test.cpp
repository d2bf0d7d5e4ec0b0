// Bad input never stops the server or the other participants.
#include "serverprocess.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// True when prices keep arriving on `peer` for the next half second.
bool stillStreaming(Peer& peer)
{
    QElapsedTimer clock;
    clock.start();
    int prices = 0;
    while (clock.elapsed() < 500) {
        const std::optional<QByteArray> m = peer.next(1000);
        if (!m)
            return false;
        if (m->startsWith('~') || m->startsWith('^') || m->startsWith("@KU="))
            ++prices;
    }
    return prices > 0;
}

class RobustnessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_server = std::make_unique<ServerProcess>(m_dir.path());
        ASSERT_TRUE(m_server->start({QStringLiteral("--rate"), QStringLiteral("200"), QStringLiteral("--login-timeout"), QStringLiteral("2")}))
            << m_server->lastError().toStdString();
        ASSERT_TRUE(m_watcher.connectTo(m_server->tcpPort()));
        ASSERT_EQ(m_watcher.loginAndGreeting("demo", "demo").size(), 13u);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ServerProcess> m_server;
    Peer m_watcher; // a participant who must not notice any of the trouble
};

TEST_F(RobustnessTest, OversizedFrameDropsOnlyThatConnection)
{
    Peer bad;
    ASSERT_TRUE(bad.connectTo(m_server->tcpPort()));
    ASSERT_TRUE(bad.login("demo", "demo"));
    QByteArray huge(1, korvi::FrameStart);
    huge += QByteArray(1200 * 1024, 'x'); // no frame end: a frame beyond 1 MB
    bad.sendRaw(huge);
    EXPECT_TRUE(bad.waitClosed(5000));
    EXPECT_TRUE(stillStreaming(m_watcher));
    EXPECT_TRUE(m_server->log().contains(QLatin1String("frame larger than")));
}

TEST_F(RobustnessTest, GarbageHalfFramesAndSilenceAreSurvived)
{
    {
        // Bytes outside frames, frames of nonsense, binary noise: ignored before the login.
        Peer noisy;
        ASSERT_TRUE(noisy.connectTo(m_server->tcpPort()));
        QByteArray noise;
        for (int i = 0; i < 4096; ++i)
            noise.append(static_cast<char>((i * 37 + 11) & 0xFF));
        noisy.sendRaw(noise);
        noisy.sendRaw("\x01@PO=1;2;3\x02\x01\x02\x01@@@@\x02junk");
        noisy.send("TTUSER=demo");
        noisy.send("@U=demo%demo");
        // After the noise the login still works.
        std::optional<QByteArray> m;
        bool greeted = false;
        while ((m = noisy.next(3000))) {
            if (m->startsWith("@WELCOME")) {
                greeted = true;
                break;
            }
        }
        EXPECT_TRUE(greeted);
    }
    {
        // Half a frame, then gone.
        Peer half;
        ASSERT_TRUE(half.connectTo(m_server->tcpPort()));
        half.sendRaw("\x01TTUSER=de");
    }
    // Many connections opened and closed at once.
    for (int round = 0; round < 3; ++round) {
        std::vector<std::unique_ptr<Peer>> peers;
        for (int i = 0; i < 100; ++i) {
            auto p = std::make_unique<Peer>();
            if (p->connectTo(m_server->tcpPort()))
                peers.push_back(std::move(p));
        }
        EXPECT_EQ(peers.size(), 100u);
    }
    // A client that never logs in is dropped after the login time-out (2 s here).
    Peer silent;
    ASSERT_TRUE(silent.connectTo(m_server->tcpPort()));
    EXPECT_TRUE(silent.waitClosed(6000));
    EXPECT_TRUE(stillStreaming(m_watcher));
    Peer late;
    ASSERT_TRUE(late.connectTo(m_server->tcpPort()));
    EXPECT_EQ(late.loginAndGreeting("demo", "demo").size(), 13u);
}

} // namespace

namespace {

TEST_F(RobustnessTest, AClientThatAsksButNeverReadsIsDroppedAndTheOthersKeepStreaming)
{
    Peer greedy;
    ASSERT_TRUE(greedy.connectTo(m_server->tcpPort()));
    ASSERT_EQ(greedy.loginAndGreeting("demo", "demo").size(), 13u);
    greedy.stopReading();
    QByteArray burst;
    for (int i = 0; i < 2000; ++i)
        burst += korvi::frame("@IR");
    // Each answer is the whole instrument list; the queue ceiling is reached long before
    // the last burst.
    // Bounded by time rather than by rounds: a slow (sanitizer) build answers fewer
    // requests per round.
    bool dropped = false;
    QElapsedTimer waited;
    waited.start();
    while (!dropped && waited.elapsed() < 30000) {
        greedy.sendRaw(burst);
        m_watcher.next(10);
        dropped = m_server->log().contains(QLatin1String("dropped: send queue over"));
    }
    EXPECT_TRUE(dropped) << m_server->log().right(2000).toStdString();
    EXPECT_TRUE(stillStreaming(m_watcher));
}

TEST_F(RobustnessTest, RepeatedJunkFromOneConnectionIsSummedUpInTheLog)
{
    Peer noisy;
    ASSERT_TRUE(noisy.connectTo(m_server->tcpPort()));
    ASSERT_EQ(noisy.loginAndGreeting("demo", "demo").size(), 13u);
    QByteArray junk;
    for (int i = 0; i < 5000; ++i)
        junk += korvi::frame("@NOSUCH=" + QByteArray::number(i));
    noisy.sendRaw(junk);
    noisy.send("@TIMEGET");
    ASSERT_TRUE(noisy.nextNonPrice()); // everything before it was handled
    m_server->terminate();
    const QString log = m_server->log();
    EXPECT_EQ(log.count(QLatin1String("unknown message ignored")), 2) << "the first and the summary";
    EXPECT_TRUE(log.contains(QLatin1String("@NOSUCH=4999 (4999 more like this in"))) << log.toStdString();
}

} // namespace

namespace {

// What one participant may hold: a few connections, each read by its client.
TEST(ParticipantShareTest, AFurtherLoginReplacesTheOldestAndAStalledReaderIsClosed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start({QStringLiteral("--rate"), QStringLiteral("5000"), QStringLiteral("--send-stall"),
                              QStringLiteral("400")}))
        << server.lastError().toStdString();
    std::vector<std::unique_ptr<Peer>> own;
    for (int i = 0; i < 4; ++i) {
        auto peer = std::make_unique<Peer>();
        ASSERT_TRUE(peer->connectTo(server.tcpPort()));
        ASSERT_EQ(peer->loginAndGreeting("demo", "demo").size(), 13u) << "login " << i + 1 << " gets in";
        own.push_back(std::move(peer));
    }
    // The fourth login took the place of the first; the newer three stream on.
    EXPECT_TRUE(own[0]->waitClosed(5000));
    for (size_t i = 1; i < own.size(); ++i)
        EXPECT_TRUE(stillStreaming(*own[i])) << "connection " << i + 1;
    EXPECT_EQ(server.log().count(QLatin1String("replaced by a newer login")), 1);

    // One of them stops reading while the prices stream: it is closed, with one log line,
    // long before it could hold megabytes; the others never notice.
    own[1]->stopReading();
    QElapsedTimer waited;
    waited.start();
    bool closed = false;
    while (!closed && waited.elapsed() < 20000) {
        for (size_t i : {2, 3}) {
            QElapsedTimer slice;
            slice.start();
            while (slice.elapsed() < 20 && own[i]->next(20)) {
            }
        }
        closed = server.log().contains(QLatin1String("the client stopped reading"));
    }
    EXPECT_TRUE(closed) << server.log().right(2000).toStdString();
    EXPECT_TRUE(stillStreaming(*own[2]));
    EXPECT_TRUE(stillStreaming(*own[3]));
    EXPECT_EQ(server.log().count(QLatin1String("the client stopped reading")), 1) << server.log().right(3000).toStdString();
    EXPECT_TRUE(own[1]->waitClosed(5000));
}

} // namespace
