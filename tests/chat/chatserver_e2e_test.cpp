#include "server/serverprocess.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

#define NEEDS_SERVER()                                                                                         \
    if (qEnvironmentVariableIsEmpty("KORVI_SERVER"))                                                           \
    GTEST_SKIP() << "korvi-server is not built"

bool isChat(QByteArrayView m)
{
    for (const char* word : {"@RC=", "@CU1=", "@CU0=", "@SCU=", "@RT=", "@MSG=", "@SV="}) {
        if (m.startsWith(word))
            return true;
    }
    return false;
}

// The next chat message, or empty after `ms` without one.
QByteArray nextChat(Peer& p, int ms = 3000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        const std::optional<QByteArray> m = p.nextNonPrice(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (!m)
            return {};
        if (isChat(*m))
            return *m;
    }
    return {};
}

struct ChatServer {
    QTemporaryDir dir;
    ServerProcess server{dir.path()};

    bool start(const QStringList& extra = {})
    {
        for (const char* name : {"anna", "bob", "carl"}) {
            if (ServerProcess::admin(dir.path(), {"user", "add", name, "pw"}) != 0)
                return false;
        }
        return ServerProcess::admin(dir.path(), {"user", "level", "carl", "0"}) == 0
               && ServerProcess::admin(dir.path(), {"user", "level", "anna", "2"}) == 0
               && server.start(QStringList{"--rate", "0"} + extra);
    }
    bool login(Peer& p, const char* name)
    {
        return p.connectTo(server.tcpPort()) && !p.loginAndGreeting(name, "pw").empty();
    }
};

} // namespace

// Presence, the list, public and private lines with the ";" rule (a private line to anyone
// not in the chat is refused, never public), cleaning, and leaving by a dropped connection.
TEST(ChatServer, PresenceAndLines)
{
    NEEDS_SERVER();
    ChatServer s;
    ASSERT_TRUE(s.start()) << s.server.lastError().toStdString();
    auto owner = std::make_unique<Peer>();
    Peer& anna = *owner;
    Peer bob, carl;
    ASSERT_TRUE(s.login(anna, "anna"));
    ASSERT_TRUE(s.login(bob, "bob"));
    ASSERT_TRUE(s.login(carl, "carl"));

    anna.send("@CH=1");
    anna.send("@RCU=");
    EXPECT_EQ(nextChat(anna), "@SCU=anna");
    bob.send("@CH=2");
    EXPECT_EQ(nextChat(anna), "@CU1=bob");
    bob.send("@RCU=");
    EXPECT_EQ(nextChat(bob), "@SCU=anna;bob");
    carl.send("@CH=1");  // level 0: not admitted, no list, cannot send
    carl.send("@RCU=");
    carl.send("@C=hallo");

    anna.send("@C=;hallo; wie geht's\x01"); // public with ";": sent behind a ";"
    EXPECT_EQ(nextChat(bob), "@RC=anna:hallo; wie geht's");
    anna.send("@C=hallo; wie geht's");       // "hallo" is nobody in the chat: refused
    EXPECT_EQ(nextChat(anna), "@MSG=Chat: hallo ist nicht im Chat");
    bob.send("@C=anna;nur f\xfcr dich");
    bob.send("@C=dora;niemand");             // an unknown name: refused, not public
    bob.send("@C=" + QByteArray(600, 'z'));
    EXPECT_EQ(nextChat(anna), "@RC=bob:(privat) nur f\xfcr dich");
    EXPECT_EQ(nextChat(bob), "@MSG=Chat: dora ist nicht im Chat");
    EXPECT_EQ(nextChat(anna), "@RC=bob:" + QByteArray(500, 'z'));

    anna.send("@CH=0");
    // The others hear of a leave once it has lasted a few seconds.
    EXPECT_EQ(nextChat(bob, 6000), "@CU0=anna");
    bob.send("@C=anna;noch da?");            // registered, but gone from the chat
    EXPECT_EQ(nextChat(bob), "@MSG=Chat: anna ist nicht im Chat");
    anna.send("@C=weg");              // not present: nothing
    anna.send("@CH=1");
    EXPECT_EQ(nextChat(bob), "@CU1=anna");
    bob.send("@C=bis gleich");
    EXPECT_EQ(nextChat(anna), "@RC=bob:bis gleich");
    owner.reset(); // the connection drops without a word
    EXPECT_EQ(nextChat(bob, 6000), "@CU0=anna");
    EXPECT_EQ(nextChat(carl, 300), QByteArray()) << "level 0 hears nothing";
}

// A flood is cut with one warning; a level changed by the administration reaches the
// logged-in participant at once; the trades feed goes to level 2 only, without names.
TEST(ChatServer, FloodLevelAndTradesFeed)
{
    NEEDS_SERVER();
    ChatServer s;
    ASSERT_TRUE(s.start({"--instant-fills"})) << s.server.lastError().toStdString();
    Peer anna, bob;
    ASSERT_TRUE(s.login(anna, "anna"));
    ASSERT_TRUE(bob.connectTo(s.server.tcpPort()));
    QByteArray shortId;
    for (const QByteArray& m : bob.loginAndGreeting("bob", "pw")) {
        if (m.startsWith("@UD="))
            shortId = m.mid(4).trimmed();
    }
    ASSERT_FALSE(shortId.isEmpty());
    // Each step waits for an answer, since two connections are not read in a known order.
    const auto sync = [](Peer& p) {
        p.send("@RCU=");
        return nextChat(p).startsWith("@SCU=");
    };
    anna.send("@CH=1");
    ASSERT_TRUE(sync(anna));
    bob.send("@CH=1");
    EXPECT_EQ(nextChat(anna), "@CU1=bob");

    // Entering took one line of the budget of five; the next line's share may have come
    // back meanwhile.
    for (int i = 1; i <= 8; ++i)
        bob.send("@C=Zeile " + QByteArray::number(i));
    int relayed = 0;
    for (QByteArray m = nextChat(anna, 500); !m.isEmpty(); m = nextChat(anna, 500))
        EXPECT_EQ(m, "@RC=bob:Zeile " + QByteArray::number(++relayed));
    EXPECT_GE(relayed, 4);
    EXPECT_LE(relayed, 5) << "the lines beyond the budget are dropped";
    EXPECT_EQ(nextChat(bob), "@MSG=Chat: mehr als 5 Zeilen pro Sekunde, Zeilen verworfen");

    anna.send("@CT=1");
    ASSERT_TRUE(sync(anna));
    bob.send("@CT=1"); // level 1: no feed
    bob.send("@PO=" + shortId + ";1;1;BUY ;MKT;2; 0; 0;0;0");
    const QByteArray trade = nextChat(anna, 5000);
    EXPECT_TRUE(trade.startsWith("@RT=")) << trade.constData();
    EXPECT_TRUE(trade.contains(";2; ")) << trade.constData();
    EXPECT_FALSE(trade.contains("bob")) << trade.constData();
    EXPECT_EQ(nextChat(bob, 500), QByteArray());
    anna.send("@CT=0");
    ASSERT_TRUE(sync(anna));
    bob.send("@PO=" + shortId + ";2;1;SEL ;MKT;2; 0; 0;0;0");
    EXPECT_EQ(nextChat(anna, 1000), QByteArray()) << "the feed ended";

    ASSERT_EQ(ServerProcess::admin(s.dir.path(), {"user", "level", "bob", "0"}), 0);
    EXPECT_EQ(nextChat(bob, 5000), "@SV=0");
    EXPECT_EQ(nextChat(anna, 6000), "@CU0=bob") << "told once the leave has lasted";
    bob.send("@CH=1");
    bob.send("@C=trotzdem");
    EXPECT_EQ(nextChat(anna, 500), QByteArray());
    ASSERT_EQ(ServerProcess::admin(s.dir.path(), {"user", "level", "bob", "1"}), 0);
    EXPECT_EQ(nextChat(bob, 5000), "@SV=1");

    QByteArray list;
    ASSERT_EQ(ServerProcess::admin(s.dir.path(), {"user", "level", "bob", "x"}), 1);
    ASSERT_EQ(ServerProcess::admin(s.dir.path(), {"user", "list"}, &list), 0);
    EXPECT_TRUE(list.contains("anna")) << list.constData();
}

// Switching the chat on and off costs from the chat budget, and a leave that is taken back
// at once is never told: 50,000 switches reach a listener as two notices. "@RCU" asked
// again and again while its answer waits is answered once.
TEST(ChatServer, SwitchesAndListRequestsCannotFloodOthers)
{
    NEEDS_SERVER();
    ChatServer s;
    ASSERT_TRUE(s.start()) << s.server.lastError().toStdString();
    Peer anna, bob;
    ASSERT_TRUE(s.login(anna, "anna"));
    ASSERT_TRUE(s.login(bob, "bob"));
    anna.send("@CH=1");
    anna.send("@RCU=");
    ASSERT_EQ(nextChat(anna), "@SCU=anna");

    QByteArray switches;
    for (int i = 0; i < 50'000; ++i)
        switches += korvi::frame(i % 2 == 0 ? "@CH=1" : "@CH=0");
    bob.sendRaw(switches);
    bob.send("@RCU=");
    QByteArray list;
    for (QByteArray m = nextChat(bob, 20000); !m.isEmpty() && !m.startsWith("@SCU="); m = nextChat(bob, 20000)) {
    }
    std::vector<QByteArray> heard;
    for (QByteArray m = nextChat(anna, 5000); !m.isEmpty(); m = nextChat(anna, 5000))
        heard.push_back(m);
    ASSERT_FALSE(heard.empty());
    EXPECT_LE(heard.size(), 4u);
    EXPECT_EQ(heard.front(), "@CU1=bob");
    EXPECT_EQ(heard.back(), "@CU0=bob") << "the last switch wins";
    anna.send("@RCU=");
    EXPECT_EQ(nextChat(anna), "@SCU=anna");

    // Whoever came into the chat while a leave waited never saw that participant present,
    // and so hears of its return.
    bob.send("@CH=1");
    EXPECT_EQ(nextChat(anna), "@CU1=bob");
    bob.send("@CH=0");
    bob.send("@RCU=");
    ASSERT_EQ(nextChat(bob), "@SCU=anna");
    anna.send("@CH=0");
    anna.send("@CH=1");
    anna.send("@RCU=");
    ASSERT_EQ(nextChat(anna), "@SCU=anna");
    bob.send("@CH=1");
    EXPECT_EQ(nextChat(anna), "@CU1=bob");
    bob.send("@CH=0");
    EXPECT_EQ(nextChat(anna, 6000), "@CU0=bob");

    QByteArray requests;
    for (int i = 0; i < 3000; ++i)
        requests += korvi::frame("@RCU=");
    anna.sendRaw(requests);
    int lists = 0;
    for (QByteArray m = nextChat(anna, 2000); !m.isEmpty(); m = nextChat(anna, 2000)) {
        EXPECT_EQ(m, "@SCU=anna");
        ++lists;
    }
    EXPECT_GE(lists, 1);
    EXPECT_LE(lists, 3000 / 256 + 2) << "one list per turn of the server at most";
}
