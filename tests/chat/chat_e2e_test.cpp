#include "framing.h"
#include "support/liveserver.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <memory>

using namespace korvi;
using namespace korvi::test;

namespace {

bool admin(const QString& data, const QStringList& command)
{
    QProcess p;
    p.start(qEnvironmentVariable("KORVI_SERVER"), QStringList{"--data", data} + command);
    return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A client without windows whose chat window "opens" when asked, as the real one does.
std::unique_ptr<ClientFixture> chatClient()
{
    auto c = std::make_unique<ClientFixture>();
    ChatRoom& chat = c->app.chat;
    QObject::connect(&chat, &ChatRoom::openWindow, &chat, [&chat] { chat.Form_Load(); });
    QObject::connect(&chat, &ChatRoom::closeWindow, &chat, [&chat] { chat.Form_Unload(); });
    return c;
}

} // namespace

// Three clients against one game server: A enters and B sees it, A's public line reaches B
// with its header, B's private line reaches only A, the level-0 participant C sees nothing
// and cannot send, and a fill of A appears in B's trades feed.
TEST(ChatEndToEnd, TwoParticipantsTalkAndSeeTheTrades)
{
    KORVI_NEEDS_SERVER();
    LiveServer server;
    for (const char* name : {"Ada", "Bea", "Cem"})
        ASSERT_TRUE(admin(server.dataPath(), {"user", "add", name, "pw"}));
    ASSERT_TRUE(admin(server.dataPath(), {"user", "level", "Bea", "2"}));
    ASSERT_TRUE(admin(server.dataPath(), {"user", "level", "Cem", "0"}));
    ASSERT_TRUE(server.start({"--instant-fills", "--rate", "0"}));

    auto a = chatClient(), b = chatClient(), c = chatClient();
    ASSERT_TRUE(a->loginTo(server.port, "Ada", "pw"));
    ASSERT_TRUE(b->loginTo(server.port, "Bea", "pw"));
    ASSERT_TRUE(c->loginTo(server.port, "Cem", "pw"));
    ChatRoom& ca = a->app.chat;
    ChatRoom& cb = b->app.chat;
    ChatRoom& cc = c->app.chat;
    ASSERT_TRUE(waitFor([&] { return ca.ChatLevel == 1 && cb.ChatLevel == 2; }));
    EXPECT_EQ(cc.ChatLevel, 0);
    EXPECT_TRUE(cb.tradesButtonVisible());
    EXPECT_FALSE(ca.tradesButtonVisible());

    cb.Check3_Click(true);
    ASSERT_TRUE(waitFor([&] { return cb.users() == QStringList{"Bea"}; }));
    cc.Check3_Click(true); // refused by the server; the window shows nothing at level 0
    ca.Check3_Click(true);
    ASSERT_TRUE(waitFor([&] { return cb.lines().contains("User Ada betritt Chat"); }));
    EXPECT_TRUE(waitFor([&] { return ca.users() == QStringList({"Bea", "Ada"}); }));

    ca.setInput("hallo\r\nBea");
    ca.Command1_Click();
    ASSERT_TRUE(waitFor([&] { return cb.lines().size() >= 3; }));
    EXPECT_EQ(cb.lines(), QStringList({"User Ada betritt Chat", "09:30:15 Ada:", "hallo Bea"}));

    cb.setRecipient("Ada");
    cb.setInput("nur f\u00fcr Ada");
    cb.Command5_Click();
    cc.setInput("ich will auch");
    cc.Command1_Click();
    ASSERT_TRUE(waitFor([&] { return ca.lines().size() >= 4; }));
    EXPECT_EQ(ca.lines(), QStringList({"09:30:15 ich:", "hallo\r\nBea", "09:30:15 Bea:", "(privat) nur f\u00fcr Ada"}));
    EXPECT_EQ(cb.lines().mid(3), QStringList({"09:30:15 ich:P->Ada:", "nur f\u00fcr Ada"}));

    cb.Command3_Click(); // widen: the trades feed
    // The list asked for after it comes back once the server has taken the subscription.
    int lists = 0;
    QObject::connect(&cb, &ChatRoom::usersChanged, [&] { ++lists; });
    cb.WS_RCU();
    ASSERT_TRUE(waitFor([&] { return lists > 0; }));
    ASSERT_TRUE(waitFor([&] { return a->app.state.user().UserKz.trimmed().size() > 0; }));
    const QByteArray kz = a->app.state.user().UserKz.trimmed();
    const QByteArray id = QByteArray::number(a->app.state.user().LastUserOrderID + 1);
    a->app.connection.Senddata(frame("@PO=" + kz + ";" + id + ";1;BUY ;MKT;3; 0; 0;0;0"));
    ASSERT_TRUE(waitFor([&] { return !cb.trades().isEmpty(); }, 10000));
    const QString trade = cb.trades().first();
    EXPECT_TRUE(trade.startsWith("09:30:15 ")) << trade.toStdString();
    EXPECT_TRUE(trade.contains(";3; ")) << trade.toStdString();
    EXPECT_FALSE(trade.contains("Ada")) << trade.toStdString();

    // C saw nothing and sent nothing (its conversation says why); nobody heard from C.
    EXPECT_EQ(cc.lines(), QStringList({QString::fromLatin1("Nicht gesendet: Chat f\xfcr diesen User nicht freigegeben")}));
    EXPECT_TRUE(cc.users().isEmpty());
    EXPECT_EQ(c->app.outgoing.lines().filter("@C=").size(), 0);
    EXPECT_EQ(ca.lines().size(), 4);
    EXPECT_EQ(cb.lines().size(), 5);
}

// A private line to a name that is not in the chat reaches nobody, in both directions: the
// client refuses a name missing from its list, and the server refuses one the client still
// lists (a list gone stale); each refusal stands in the sender's conversation. A public
// line with ";" arrives whole and public.
TEST(ChatEndToEnd, PrivateLineToSomeoneNotInTheChatReachesNobody)
{
    KORVI_NEEDS_SERVER();
    LiveServer server;
    for (const char* name : {"Ada", "Bea", "Cem"})
        ASSERT_TRUE(admin(server.dataPath(), {"user", "add", name, "pw"}));
    ASSERT_TRUE(server.start({"--rate", "0"}));
    auto a = chatClient(), b = chatClient(), c = chatClient();
    ASSERT_TRUE(a->loginTo(server.port, "Ada", "pw"));
    ASSERT_TRUE(b->loginTo(server.port, "Bea", "pw"));
    ASSERT_TRUE(c->loginTo(server.port, "Cem", "pw"));
    ChatRoom& ca = a->app.chat;
    ChatRoom& cb = b->app.chat;
    ChatRoom& cc = c->app.chat;
    ASSERT_TRUE(waitFor([&] { return ca.ChatLevel == 1 && cb.ChatLevel == 1 && cc.ChatLevel == 1; }));
    for (ChatRoom* room : {&ca, &cb, &cc})
        room->Check3_Click(true);
    ASSERT_TRUE(waitFor([&] { return ca.users().size() == 3 && cb.users().size() == 3 && cc.users().size() == 3; }));

    ca.setInput("Treffen um 12:30; bis dann");
    ca.Command1_Click();
    ASSERT_TRUE(waitFor([&] { return cb.lines().contains("Treffen um 12:30; bis dann"); }));

    ca.setRecipient("Bae"); // a typo: not in the list
    ca.setInput("geheim 1");
    ca.Command5_Click();
    EXPECT_EQ(ca.lines().last(), "Chat: Bae ist nicht im Chat");
    EXPECT_EQ(ca.input(), "geheim 1");

    ca.WS_CU1("Dora"); // listed here, but the server has no Dora in the chat
    ca.setRecipient("Dora");
    ca.setInput("geheim 2");
    ca.Command5_Click();
    ASSERT_TRUE(waitFor([&] { return ca.lines().contains("Chat: Dora ist nicht im Chat"); }));

    // Everything Ada sent before this line has reached the others by the time it arrives.
    ca.setInput("ende");
    ca.Command1_Click();
    ASSERT_TRUE(waitFor([&] { return cb.lines().contains("ende") && cc.lines().contains("ende"); }));
    for (ChatRoom* room : {&cb, &cc}) {
        EXPECT_TRUE(room->lines().filter("geheim").isEmpty()) << room->lines().join('|').toStdString();
    }
    EXPECT_EQ(a->app.outgoing.lines().filter("geheim 1").size(), 0);
}
