// What one participant or one address can and cannot do to the login: guessing is slowed
// down, idle connections are limited, hashes are renewed, and the server is not reachable
// from outside this machine unless asked.
#include "serverprocess.h"

#include "participantstore.h"
#include "passwordhash.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using korvi::server::ParticipantStore;

namespace {

std::unique_ptr<ServerProcess> startServer(const QTemporaryDir& dir, const QStringList& extra = {})
{
    auto server = std::make_unique<ServerProcess>(dir.path());
    if (!server->start(QStringList{QStringLiteral("--rate"), QStringLiteral("20")} + extra)) {
        ADD_FAILURE() << server->lastError().toStdString();
        return nullptr;
    }
    return server;
}

// Logs in once on a new connection; the first answer after the login request and how
// long it took.
std::pair<QByteArray, qint64> attempt(quint16 port, QByteArrayView password)
{
    Peer peer;
    if (!peer.connectTo(port))
        return {};
    QElapsedTimer clock;
    clock.start();
    const std::optional<QByteArray> answer = peer.login("demo", password);
    return {answer.value_or(QByteArray()), clock.elapsed()};
}

TEST(LoginLimitsTest, GuessingIsSlowedDownAndEvenTheRightPasswordWaits)
{
    QTemporaryDir dir;
    auto server = startServer(dir);
    ASSERT_TRUE(server);
    // Three wrong passwords cost nothing extra.
    for (int i = 0; i < 3; ++i) {
        const auto [answer, ms] = attempt(server->tcpPort(), "guess");
        EXPECT_TRUE(answer.startsWith("@MSG=FALSCHES PA\xDF" "WORT")) << answer.toStdString();
        EXPECT_LT(ms, 900);
    }
    // The fourth waits up to a second after the third failure, the fifth two seconds
    // after the fourth; the right password then waits too.
    const auto [fourth, fourthMs] = attempt(server->tcpPort(), "guess");
    EXPECT_TRUE(fourth.startsWith("@MSG=FALSCHES"));
    EXPECT_GE(fourthMs, 500);
    const auto [right, rightMs] = attempt(server->tcpPort(), "demo");
    EXPECT_TRUE(right.startsWith("!;T;")) << "the greeting begins: " << right.toStdString();
    EXPECT_GE(rightMs, 1500);
    EXPECT_TRUE(server->log().contains(QLatin1String("ms after 4 failed logins"))) << server->log().toStdString();
    // After the good login the name starts afresh.
    const auto [again, againMs] = attempt(server->tcpPort(), "guess");
    EXPECT_TRUE(again.startsWith("@MSG=FALSCHES"));
    EXPECT_LT(againMs, 900);
}

TEST(LoginLimitsTest, ConnectionsWaitingForTheirLoginAreLimited)
{
    for (const QStringList& limit : {QStringList{"--max-waiting", "3"}, QStringList{"--max-waiting-per-address", "3"}}) {
        SCOPED_TRACE(limit.join(' ').toStdString());
        QTemporaryDir dir;
        auto server = startServer(dir, limit);
        ASSERT_TRUE(server);
        Peer idle[3];
        for (Peer& p : idle)
            ASSERT_TRUE(p.connectTo(server->tcpPort()));
        ASSERT_TRUE(idle[2].next()) << "the last one is greeted with !;ID, so all are taken on";
        Peer surplus;
        ASSERT_TRUE(surplus.connectTo(server->tcpPort()));
        EXPECT_TRUE(surplus.waitClosed(5000));
        EXPECT_TRUE(server->log().contains(QLatin1String("refused: 3 connections wait for their login")));
        // Once one of them has logged in there is room again.
        ASSERT_EQ(idle[0].loginAndGreeting("demo", "demo").size(), 13u);
        Peer next;
        ASSERT_TRUE(next.connectTo(server->tcpPort()));
        const std::optional<QByteArray> hello = next.next();
        ASSERT_TRUE(hello);
        EXPECT_TRUE(hello->startsWith("!;ID"));
    }
}

TEST(LoginLimitsTest, AWeakStoredHashIsRenewedAtTheNextGoodLogin)
{
    QTemporaryDir dir;
    // The administration writes hashes with the test rounds (1000).
    ASSERT_EQ(ServerProcess::admin(dir.path(), {"user", "add", "erik", "pw1"}), 0);
    const auto roundsOf = [&](const QByteArray& name) {
        ParticipantStore store;
        store.setHashIterations(korvi::server::kMinIterations);
        QString error;
        EXPECT_TRUE(store.open(dir.path(), error)) << error.toStdString();
        return korvi::server::hashIterations(store.passwordHash(name).value_or(QByteArray()));
    };
    ASSERT_EQ(roundsOf("erik"), 1000);
    {
        auto server = startServer(dir, {"--hash-iterations", "3000"});
        ASSERT_TRUE(server);
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server->tcpPort()));
        ASSERT_EQ(peer.loginAndGreeting("erik", "pw1").size(), 13u);
        EXPECT_EQ(attempt(server->tcpPort(), "x").first.left(12), "@MSG=FALSCHE") << "demo's hash is unchanged by it";
        server->terminate();
        EXPECT_TRUE(server->log().contains(QLatin1String("password hash of 'erik' renewed with 3000 rounds")));
    }
    EXPECT_EQ(roundsOf("erik"), 3000);
    // The renewed hash still opens the account.
    auto server = startServer(dir, {"--hash-iterations", "3000"});
    ASSERT_TRUE(server);
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server->tcpPort()));
    EXPECT_EQ(peer.loginAndGreeting("erik", "pw1").size(), 13u);
}

TEST(LoginLimitsTest, OnlyThisMachineCanConnectUnlessBindOpensIt)
{
    // 127.0.0.2 is another address of this machine: a listener on 127.0.0.1 alone does
    // not answer there, one on every address does.
    const QHostAddress other(QStringLiteral("127.0.0.2"));
    for (const bool open : {false, true}) {
        QTemporaryDir dir;
        auto server = startServer(dir, open ? QStringList{"--bind", "0.0.0.0"} : QStringList{});
        ASSERT_TRUE(server);
        for (const quint16 port : {server->tcpPort(), server->httpPort()}) {
            Peer local;
            EXPECT_TRUE(local.connectTo(port));
            Peer outside;
            EXPECT_EQ(outside.connectTo(port, other), open) << "port " << port << (open ? " opened" : " default");
        }
    }
}

} // namespace
