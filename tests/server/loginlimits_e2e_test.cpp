// What one participant or one address can and cannot do to the login: guessing is slowed
// down, idle connections are limited, hashes are renewed, and the server is not reachable
// from outside this machine unless asked.
#include "serverprocess.h"

#include "participantstore.h"
#include "passwordhash.h"

#include <QRegularExpression>
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

// Logs in once on a new connection; the first answer after the login request.
QByteArray attempt(quint16 port, QByteArrayView password)
{
    Peer peer;
    if (!peer.connectTo(port))
        return {};
    return peer.login("demo", password).value_or(QByteArray());
}

QHostAddress loopback(int last) { return QHostAddress(QStringLiteral("127.0.0.%1").arg(last)); }

// Connects from `from` and sends the login request without waiting for its answer.
bool startLogin(Peer& peer, quint16 port, const QHostAddress& from, QByteArrayView name, QByteArrayView password)
{
    if (!peer.connectTo(port, QHostAddress(QHostAddress::LocalHost), from))
        return false;
    const std::optional<QByteArray> identify = peer.next();
    if (!identify || !identify->startsWith("!;ID"))
        return false;
    peer.send("TTUSER=" + name.toByteArray());
    const std::optional<QByteArray> askUser = peer.next();
    if (!askUser || !askUser->startsWith("!;USER"))
        return false;
    peer.send("@U=" + name.toByteArray() + '%' + password.toByteArray());
    return true;
}

// A guesser who keeps as many wrong passwords for "demo" under way as it can, from one
// address, neither locks the participant out from another address nor makes them wait;
// the guesser's surplus is refused before any password is checked.
TEST(LoginLimitsTest, AGuesserElsewhereDoesNotKeepTheOwnerOut)
{
    QTemporaryDir dir;
    auto server = startServer(dir);
    ASSERT_TRUE(server);
    const quint16 port = server->tcpPort();
    std::vector<std::unique_ptr<Peer>> guesses;
    const auto guess = [&] {
        guesses.push_back(std::make_unique<Peer>());
        return startLogin(*guesses.back(), port, loopback(2), "demo", "guess");
    };
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(guess());
    // The first three are checked at once.
    for (int i = 0; i < 3; ++i) {
        const std::optional<QByteArray> answer = guesses[static_cast<size_t>(i)]->nextNonPrice();
        ASSERT_TRUE(answer);
        EXPECT_TRUE(answer->startsWith("@MSG=FALSCHES PA\xDF" "WORT")) << answer->toStdString();
    }
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(guess());
    EXPECT_TRUE(server->log().contains(
        QRegularExpression(QStringLiteral("login for 'demo' from 127\\.0\\.0\\.2 waits \\d+ ms after 3 attempts"))))
        << server->log().toStdString();
    EXPECT_TRUE(server->log().contains(QLatin1String("from 127.0.0.2 refused: too many attempts waiting")));

    Peer owner;
    ASSERT_TRUE(startLogin(owner, port, loopback(3), "demo", "demo"));
    const std::optional<QByteArray> greeting = owner.nextNonPrice();
    ASSERT_TRUE(greeting);
    EXPECT_TRUE(greeting->startsWith("!;T;")) << greeting->toStdString();
    EXPECT_FALSE(server->log().contains(QLatin1String("from 127.0.0.3 waits")));
    EXPECT_FALSE(server->log().contains(QLatin1String("from 127.0.0.3 refused")));
}

// A participant who logged in once since the start logs in again at once, without a new
// hash, even from an address where a guesser keeps the same name's queue full.
TEST(LoginLimitsTest, AKnownRightPasswordIsNotHeldBackByAGuesserAtTheSameAddress)
{
    QTemporaryDir dir;
    auto server = startServer(dir);
    ASSERT_TRUE(server);
    const quint16 port = server->tcpPort();
    EXPECT_TRUE(attempt(port, "demo").startsWith("!;T;"));
    std::vector<std::unique_ptr<Peer>> guesses;
    for (int i = 0; i < 8; ++i) {
        guesses.push_back(std::make_unique<Peer>());
        ASSERT_TRUE(startLogin(*guesses.back(), port, QHostAddress(QHostAddress::LocalHost), "demo", "guess"));
    }
    ASSERT_TRUE(server->log().contains(QLatin1String("from 127.0.0.1 refused: too many attempts waiting")));
    EXPECT_TRUE(attempt(port, "demo").startsWith("!;T;"));
}

// When the places for connections that have not logged in are full, a newcomer from an
// address holding few of them takes the place of the oldest idle connection of the
// address holding most, or of its own address when that holds its limit; connections
// that do not ask to log in are closed soon.
TEST(LoginLimitsTest, IdleConnectionsDoNotKeepAParticipantOut)
{
    QTemporaryDir dir;
    auto server = startServer(dir, {"--max-waiting", "6", "--max-waiting-per-address", "4"});
    ASSERT_TRUE(server);
    const quint16 port = server->tcpPort();
    const auto open = [&](Peer& p, int address) {
        return p.connectTo(port, QHostAddress(QHostAddress::LocalHost), loopback(address)) && p.next().has_value();
    };
    Peer many[4], few[2];
    for (Peer& p : many)
        ASSERT_TRUE(open(p, 2));
    for (Peer& p : few)
        ASSERT_TRUE(open(p, 3));

    Peer participant;
    ASSERT_TRUE(open(participant, 9)) << "greeted with !;ID";
    EXPECT_TRUE(many[0].waitClosed(5000)) << "the oldest of the address holding most gave way";
    // The address holding most holds three now, one more than the newcomer would: no one
    // gives way to it.
    Peer third;
    ASSERT_TRUE(third.connectTo(port, QHostAddress(QHostAddress::LocalHost), loopback(3)));
    EXPECT_TRUE(third.waitClosed(5000));
    EXPECT_TRUE(server->log().contains(QLatin1String("refused: 6 connections wait for their login (2 from there)")))
        << server->log().toStdString();

    participant.send("TTUSER=demo");
    ASSERT_TRUE(participant.next());
    participant.send("@U=demo%demo");
    const std::optional<QByteArray> greeting = participant.nextNonPrice();
    ASSERT_TRUE(greeting);
    EXPECT_TRUE(greeting->startsWith("!;T;"));

    // An address at its own limit pushes out its own oldest.
    Peer more[2];
    for (Peer& p : more)
        ASSERT_TRUE(open(p, 2));
    EXPECT_TRUE(many[1].waitClosed(5000));
    // No one else gave way: they are still answered.
    for (Peer* p : {&few[0], &few[1], &many[2], &many[3], &more[0]}) {
        p->send("TTUSER=x");
        const std::optional<QByteArray> ask = p->next();
        EXPECT_TRUE(ask && ask->startsWith("!;USER"));
    }

    // Connections that do not ask to log in are closed long before the login time-out.
    QTemporaryDir quietDir;
    auto quiet = startServer(quietDir, {"--login-silence", "300"});
    ASSERT_TRUE(quiet);
    Peer silent, halfway;
    ASSERT_TRUE(silent.connectTo(quiet->tcpPort()));
    ASSERT_TRUE(halfway.connectTo(quiet->tcpPort()));
    ASSERT_TRUE(halfway.next());
    halfway.send("TTUSER=demo");
    EXPECT_TRUE(silent.waitClosed(10000));
    EXPECT_TRUE(halfway.waitClosed(10000));
    EXPECT_TRUE(quiet->log().contains(QLatin1String("no login request within 300 ms")));
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
        EXPECT_EQ(attempt(server->tcpPort(), "x").left(12), "@MSG=FALSCHE") << "demo's hash is unchanged by it";
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
