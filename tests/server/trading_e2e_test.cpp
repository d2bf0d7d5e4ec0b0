// Trading against the real server binary on 127.0.0.1: the order path message by
// message, statements of a booked day, and a server killed mid-session.
#include "serverprocess.h"

#include "dates.h"
#include "fields.h"
#include "numbers.h"

#include <QDate>
#include <map>
#include <random>
#include <set>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QStringList kOptions = {"--rate", "0", "--seed", "1", "--test-control", "--close-time", "off"};

std::vector<QByteArray> fieldsOf(const QByteArray& message)
{
    korvi::Fields f;
    const int n = f.split(QByteArrayView(message).sliced(message.indexOf('=') + 1), 1000, ';');
    std::vector<QByteArray> out;
    for (int i = 1; i <= n; ++i)
        out.push_back(f[i].toByteArray());
    return out;
}

// The next trading message; places and the winners list come on their own timer and are
// passed over.
std::optional<QByteArray> nextTrading(Peer& peer)
{
    for (int i = 0; i < 100; ++i) {
        std::optional<QByteArray> m = peer.nextNonPrice(5000);
        if (!m || !(m->startsWith("@SUP=") || m->startsWith("@GV=") || m->startsWith("@PI=") || *m == "!;HB"))
            return m;
    }
    return std::nullopt;
}

// The answer to a request, passing over the account updates that price moves bring.
std::optional<QByteArray> nextAnswer(Peer& peer)
{
    for (int i = 0; i < 100; ++i) {
        std::optional<QByteArray> m = nextTrading(peer);
        if (!m || !m->startsWith("@SUD="))
            return m;
    }
    return std::nullopt;
}

// Reads trading messages until one starts with `prefix`.
std::optional<QByteArray> nextWith(Peer& peer, QByteArrayView prefix)
{
    for (int i = 0; i < 100; ++i) {
        std::optional<QByteArray> m = nextTrading(peer);
        if (!m || m->startsWith(prefix))
            return m;
    }
    return std::nullopt;
}

QByteArray words(const std::vector<QByteArray>& messages)
{
    QByteArray out;
    for (const QByteArray& m : messages)
        out += commandWordOf(m) + ' ';
    return out.trimmed();
}

TEST(TradingTest, OrdersFillCancelAndAreRefusedOverTheWire)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);

    // Market order: accepted, submitted, filled at once, position reported.
    peer.send("@PO=U00001;1;1;BUY ;MKT;1; 0; 0;0;0");
    std::vector<QByteArray> got;
    for (int i = 0; i < 5; ++i) {
        const auto m = nextTrading(peer);
        ASSERT_TRUE(m) << words(got).toStdString();
        got.push_back(*m);
    }
    EXPECT_EQ(words(got), "@OO @OS @EX @OS @SUD");
    const auto oo = fieldsOf(got[0]);
    ASSERT_EQ(oo.size(), 21u);
    EXPECT_EQ(oo[0], "1");
    EXPECT_EQ(oo[1].size(), 8);
    EXPECT_EQ(fieldsOf(got[2]).size(), 13u);
    EXPECT_EQ(fieldsOf(got[3])[2], "6");
    const auto sud = fieldsOf(got[4]);
    ASSERT_EQ(sud.size(), 7u);
    EXPECT_EQ(sud[2], "1");
    EXPECT_EQ(sud[6], "1");

    // A limit below the market rests until the market comes to it.
    peer.send("@PO=U00001;2;1;BUY ;LMT;2; 18000; 0;0;0");
    ASSERT_TRUE(nextWith(peer, "@OO="));
    const auto submitted = nextWith(peer, "@OS=");
    ASSERT_TRUE(submitted);
    EXPECT_EQ(fieldsOf(*submitted)[2], "4");
    peer.send("@TESTQUOTE=1;18000;17999.5;18000;10;1");
    const auto ex = nextWith(peer, "@EX=");
    ASSERT_TRUE(ex);
    EXPECT_EQ(fieldsOf(*ex)[8], "1") << "one quoted, one filled";
    EXPECT_DOUBLE_EQ(korvi::readNumber(fieldsOf(*ex)[9]), 18000);
    const auto partial = nextWith(peer, "@OS=");
    ASSERT_TRUE(partial);
    EXPECT_EQ(fieldsOf(*partial)[4], "1");
    EXPECT_EQ(fieldsOf(*partial)[5], "1");

    // Cancel the rest; a second cancel is refused.
    const QByteArray id = fieldsOf(*submitted)[1];
    peer.send("@CO=U00001;2;" + id);
    const auto cancelled = nextWith(peer, "@OS=");
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(fieldsOf(*cancelled)[2], "5");
    peer.send("@CO=U00001;2;" + id);
    const auto refused = nextAnswer(peer);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->startsWith("@CR=Order bereits gestrichen")) << refused->toStdString();

    // Bad orders: a clear refusal each, and the connection lives on.
    for (const QByteArray& bad : {QByteArray("@PO=U00001;3;1;BUY ;MKT;0; 0; 0;0;0"), QByteArray("@PO=U00001;3;1;BUY ;LMT;1; 1e30; 0;0;0"),
                                  QByteArray("@PO=U00002;3;1;BUY ;MKT;1; 0; 0;0;0"), QByteArray("@PO=U00001;1;1;BUY ;MKT;1; 0; 0;0;0"),
                                  QByteArray("@PO="), QByteArray("@CO=U00001;9;OXXXXXXX")}) {
        peer.send(bad);
        const auto answer = nextAnswer(peer);
        ASSERT_TRUE(answer) << bad.toStdString();
        EXPECT_TRUE(answer->startsWith("@OR=") || answer->startsWith("@CR=")) << bad.toStdString() << " -> " << answer->toStdString();
    }

    // The day's statement, first provisional, then booked by the close. The server names
    // its trading day; the test's own clock may already be on the next.
    peer.send("@RI");
    const auto day = nextWith(peer, "@SYI=");
    ASSERT_TRUE(day);
    const qsizetype at = day->indexOf("Handelstag: ");
    ASSERT_GE(at, 0);
    const QDate date = QDate::fromString(QString::fromLatin1(day->mid(at + 12, 10)), QStringLiteral("dd.MM.yyyy"));
    ASSERT_TRUE(date.isValid());
    const qint32 today = korvi::dayNumber(date);
    peer.send("@GKO=" + korvi::stri(today));
    const auto provisional = nextWith(peer, "@SD=");
    ASSERT_TRUE(provisional);
    EXPECT_TRUE(provisional->startsWith("@SD=FILE=U00001" + korvi::DatumText(today) + "K.TXT;Kontoauszug"));
    EXPECT_TRUE(provisional->contains("Orders: 2"));
    peer.send("@TESTCLOSE");
    ASSERT_TRUE(nextWith(peer, "@SUK="));
    peer.send("@GKO=" + korvi::stri(today));
    const auto booked = nextWith(peer, "@SD=");
    ASSERT_TRUE(booked);
    EXPECT_TRUE(booked->contains(";Ergebnis des Tages: ")) << booked->toStdString();
    EXPECT_FALSE(booked->contains("Vorl\xE4ufig"));
    peer.send("@GKO=" + korvi::stri(today - 10));
    const auto empty = nextWith(peer, "@SD=");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->endsWith(";Keine Ums\xE4tze an diesem Tag"));
    peer.send("@RI");
    const auto info = nextWith(peer, "@SYI=");
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->contains("Teilnehmer online: 1"));
    EXPECT_EQ(server.terminate(), 0);
}

TEST(TradingTest, AnExitArrivingAfterItsSiblingClosedTheGroupIsRefused)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);
    peer.send("@TESTQUOTE=1;18000;17999;18001;10;10");
    peer.send("@PO=U00001;1;1;BUY ;MKT;1; 0; 0;0;0");
    const auto mainFill = nextWith(peer, "@EX=");
    ASSERT_TRUE(mainFill);
    peer.send("@BR1=U00001;1;" + fieldsOf(*mainFill)[1]);
    const auto main = nextWith(peer, "@OO=");
    ASSERT_TRUE(main);
    EXPECT_EQ(fieldsOf(*main)[16], "1");
    // The stop-loss fills on arrival and closes the group.
    peer.send("@TESTQUOTE=1;17989;17989;17990;10;10");
    peer.send("@PO=U00001;2;1;SEL ;STP;1; 17997; 0;3;1");
    const auto stopFill = nextWith(peer, "@EX=");
    ASSERT_TRUE(stopFill);
    EXPECT_DOUBLE_EQ(korvi::readNumber(fieldsOf(*stopFill)[9]), 17989);
    peer.send("@PO=U00001;3;1;SEL ;LMT;1; 18005; 0;2;1");
    const auto refused = nextWith(peer, "@OR=");
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, "@OR=Bracket bereits glattgestellt (Order 3)");
    // A new long is not sold by any leftover of the group.
    peer.send("@PO=U00001;4;1;BUY ;MKT;1; 0; 0;0;0");
    ASSERT_TRUE(nextWith(peer, "@EX="));
    peer.send("@TESTQUOTE=1;18010;18010;18011;10;10");
    peer.send("@RAE");
    const auto all = nextWith(peer, "@SAE=");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->count('\n'), 2) << "three fills: main, stop-loss, the new long";
    EXPECT_EQ(server.terminate(), 0);
}

// A short seeded random sequence of bracket groups, late exits, cancels and quotes over the
// wire, with a daily close in the middle; then every group is checked from the server's
// own order list and the fills it streamed.
TEST(TradingTest, RandomBracketSequencesOverTheWireKeepTheGroupInvariants)
{
    QTemporaryDir dir;
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);
    std::mt19937 rng(20);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    qint32 uid = 0;
    qint32 position = 0; // FESX, from the streamed fills
    std::set<QByteArray> executions;
    int last = 4950;
    QByteArray lastPositions;
    // Reads until the answer starting with `prefix`, taking in every fill on the way.
    const auto readUntil = [&](QByteArrayView prefix) -> std::optional<QByteArray> {
        for (int i = 0; i < 20000; ++i) {
            std::optional<QByteArray> m = peer.nextNonPrice(5000);
            if (!m)
                return m;
            if (m->startsWith("@EX=")) {
                const auto f = fieldsOf(*m);
                EXPECT_TRUE(executions.insert(f[5]).second) << "fill reported twice";
                position += (f[7] == "BUY" ? 1 : -1) * static_cast<qint32>(korvi::readNumber(f[8]));
            }
            if (m->startsWith("@SUD="))
                lastPositions = *m;
            if (m->startsWith(prefix))
                return m;
        }
        return std::nullopt;
    };
    // Every group of today's orders: exits close at most what the main filled, and none is
    // active while its main still works or after the group is closed.
    const auto checkGroups = [&] {
        peer.send("@RA");
        const auto all = readUntil("@SAO=");
        ASSERT_TRUE(all);
        korvi::Fields records;
        const int n = records.split(QByteArrayView(*all).sliced(5), 1000, '\n');
        std::map<QByteArray, std::vector<QByteArray>> orders; // by server id
        for (int i = 1; i <= n; ++i) {
            const auto f = fieldsOf("=" + records[i].toByteArray());
            ASSERT_EQ(f.size(), 21u);
            orders[f[1]] = f;
        }
        for (const auto& [id, f] : orders) {
            if (korvi::readNumber(f[16]) < 2)
                continue;
            ASSERT_TRUE(orders.contains(f[18])) << "exit " << id.toStdString() << " without its main";
            const auto& main = orders[f[18]];
            const int mainFilled = static_cast<int>(korvi::readNumber(main[9]));
            int closed = 0;
            for (const auto& [other, g] : orders) {
                if (korvi::readNumber(g[16]) >= 2 && g[18] == f[18])
                    closed += static_cast<int>(korvi::readNumber(g[9]));
            }
            EXPECT_LE(closed, mainFilled) << "group " << f[18].toStdString();
            const int status = static_cast<int>(korvi::readNumber(f[8]));
            if (f[19] == "1" && (status == 3 || status == 4)) {
                const int mainStatus = static_cast<int>(korvi::readNumber(main[8]));
                EXPECT_TRUE(mainFilled > 0 && (mainStatus == 5 || mainStatus == 6)) << "exit " << id.toStdString();
                EXPECT_LT(closed, mainFilled) << "exit " << id.toStdString() << " active in a closed group";
            }
        }
    };
    for (int day = 0; day < 2; ++day) {
        std::vector<QByteArray> late;
        for (int step = 0; step < 120; ++step) {
            const int r = pick(0, 9);
            if (r < 4) {
                last = std::max(4800, std::min(5100, last + pick(-3, 3)));
                const int bid = last - pick(0, 1);
                peer.send("@TESTQUOTE=2;" + korvi::stri(last) + ';' + korvi::stri(bid) + ';' + korvi::stri(bid + 1) + ';'
                          + korvi::stri(pick(0, 2)) + ';' + korvi::stri(pick(0, 2)));
            } else if (r < 7) {
                // A group: the main, then its exits in a random order, some of them later.
                const bool buy = pick(0, 1) == 0;
                const qint32 main = ++uid;
                const int qty = pick(1, 2);
                const bool market = pick(0, 1) == 0;
                peer.send("@PO=U00001;" + korvi::stri(main) + ";2;" + (buy ? "BUY " : "SEL ") + ';' + (market ? "MKT" : "LMT")
                          + ';' + korvi::stri(qty) + "; " + korvi::stri(market ? 0 : last + pick(-2, 2)) + "; 0;1;0");
                std::vector<std::pair<QByteArrayView, int>> exits = {{"LMT", 2}, {"STP", 3}, {"MOC", 4}};
                std::shuffle(exits.begin(), exits.end(), rng);
                for (const auto& [type, role] : exits) {
                    const QByteArray po = "@PO=U00001;" + korvi::stri(++uid) + ";2;" + (buy ? "SEL " : "BUY ") + ';'
                                          + type.toByteArray() + ';' + korvi::stri(qty) + ";-" + korvi::stri(pick(1, 3))
                                          + "; 0;" + korvi::stri(role) + ';' + korvi::stri(main);
                    if (pick(0, 2) == 0)
                        late.push_back(po);
                    else
                        peer.send(po);
                }
            } else if (r < 9 && !late.empty()) {
                const size_t k = static_cast<size_t>(pick(0, static_cast<int>(late.size()) - 1));
                peer.send(late[k]);
                late.erase(late.begin() + static_cast<std::ptrdiff_t>(k));
            } else if (uid > 0) {
                peer.send("@CO=U00001;" + korvi::stri(pick(1, uid)) + ";");
            }
        }
        checkGroups();
        peer.send("@TESTCLOSE");
    }
    peer.send("@RAE");
    ASSERT_TRUE(readUntil("@SAE="));
    // The positions as the server last reported them.
    const auto sud = fieldsOf(lastPositions);
    qint32 held = 0;
    for (size_t i = 2; i + 4 < sud.size(); i += 5) {
        if (sud[i + 4] == "2")
            held = static_cast<qint32>(korvi::readNumber(sud[i]));
    }
    EXPECT_EQ(held, position) << "the position is the sum of the fills";
    EXPECT_GT(executions.size(), 10u);
    EXPECT_EQ(server.terminate(), 0);
}

TEST(TradingTest, AKilledServerLosesNoOrderFillOrPositionAndFillsNothingTwice)
{
    QTemporaryDir dir;
    QByteArray restingId;
    {
        ServerProcess server(dir.path());
        ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
        Peer peer;
        ASSERT_TRUE(peer.connectTo(server.tcpPort()));
        ASSERT_EQ(peer.loginAndGreeting("demo", "demo").size(), 13u);
        peer.send("@PO=U00001;41;2;SEL ;MKT;3; 0; 0;0;0");
        ASSERT_TRUE(nextWith(peer, "@SUD="));
        peer.send("@PO=U00001;42;2;SEL ;LMT;1; 6000; 0;0;0");
        ASSERT_TRUE(nextWith(peer, "@OO="));
        const auto resting = nextWith(peer, "@OS=");
        ASSERT_TRUE(resting);
        restingId = fieldsOf(*resting)[1];
        server.kill();
    }
    ServerProcess server(dir.path());
    ASSERT_TRUE(server.start(kOptions)) << server.lastError().toStdString();
    Peer peer;
    ASSERT_TRUE(peer.connectTo(server.tcpPort()));
    const std::vector<QByteArray> greeting = peer.loginAndGreeting("demo", "demo");
    ASSERT_EQ(greeting.size(), 13u);
    EXPECT_EQ(greeting[4], "@LI=42");
    korvi::Fields records;
    ASSERT_EQ(records.split(QByteArrayView(greeting[6]).sliced(5), 1000, '\n'), 2) << greeting[6].toStdString();
    EXPECT_TRUE(records[2].startsWith("42;" + restingId + ";"));
    EXPECT_EQ(greeting[7].count('\n'), 0);
    EXPECT_TRUE(greeting[7].startsWith("@SAE=U00001;"));
    const auto sud = fieldsOf(greeting[9]);
    ASSERT_EQ(sud.size(), 7u);
    EXPECT_EQ(sud[2], "-3");
    EXPECT_EQ(sud[6], "2");
    // The resting order still works, and fills once.
    peer.send("@TESTQUOTE=2;6000;6000;6001;5;5");
    const auto ex = nextWith(peer, "@EX=");
    ASSERT_TRUE(ex);
    EXPECT_EQ(fieldsOf(*ex)[1], restingId);
    peer.send("@TESTQUOTE=2;6001;6001;6002;5;5");
    peer.send("@RAE");
    const auto all = nextWith(peer, "@SAE=");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->count('\n'), 1) << "two fills in all";
    EXPECT_EQ(server.terminate(), 0);
}

} // namespace
