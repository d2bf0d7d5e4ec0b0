#include "app/clientapp.h"
#include "support/liveserver.h"
#include "support/scriptedpeer.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// A client whose connection is up against a scripted peer; the window is "open" whenever
// the chat asks for it, as the real window does on its load and unload.
struct ChatFixture : ClientFixture {
    ScriptedPeer peer;
    ChatRoom& chat = app.chat;
    int opened = 0;
    int closed = 0;

    ChatFixture() : ClientFixture(Offline)
    {
        app.state.ServerAddress = "127.0.0.1";
        app.state.UserName = "anna";
        app.state.UserPassword = "pw";
        updateUserKey(app.state);
        app.connection.load(false);
        app.connection.setPortField(QByteArray::number(peer.port()));
        QObject::connect(&chat, &ChatRoom::openWindow, [this] {
            ++opened;
            chat.Form_Load();
        });
        QObject::connect(&chat, &ChatRoom::closeWindow, [this] {
            ++closed;
            chat.Form_Unload();
        });
    }
    void connect()
    {
        app.connection.login();
        ASSERT_TRUE(waitFor([&] { return app.connection.isConnected() && peer.connectionCount() == 1; }));
    }
    // What the client sent, once `n` frames have arrived (bounded wait).
    QByteArrayList sent(int n)
    {
        waitFor([&] { return peer.received.size() >= n; }, 3000);
        return peer.received;
    }
    void in(QByteArrayView m) { app.dispatcher.dispatch(m); }
    void openAt(const char* level)
    {
        in(QByteArray("@SV=") + level);
        chat.Form_Load();
    }
};

} // namespace

TEST(Chat, CrLfToBlankReplacesPairsOnly)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\r\nb", "a b"}, {"a\rb\nc", "a\rb\nc"}, {"\r\n\r\n", "  "}, {"a\r\r\nb", "a\r b"}, {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CrLfToBlank(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST(Chat, PlacementBesideTheMainWindow)
{
    const QRect screen(0, 0, 1920, 1080);
    const struct {
        QRect main;
        int width;
        QPoint at;
    } cases[] = {
        {QRect(100, 50, 800, 600), 310, QPoint(900, 50)},   // fits on the right
        {QRect(1400, 80, 300, 600), 310, QPoint(1090, 80)}, // 1710 + 310 is too far: left
        {QRect(1610, 0, 300, 600), 310, QPoint(1300, 0)},
        {QRect(100, 0, 1700, 900), 310, QPoint(0, 0)},      // fits nowhere: left, on the screen
        {QRect(0, 0, 1610, 600), 310, QPoint(1610, 0)},     // exactly to the screen's edge
    };
    for (const auto& c : cases)
        EXPECT_EQ(chatPlacement(c.main, screen, c.width), c.at) << c.main.x() << "," << c.main.width();
}

TEST(Chat, PublicTextNeverLooksLikeARecipient)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"hallo", "hallo"}, {"a\r\nb", "a b"}, {"bob;psst", ";bob;psst"}, {";)", ";;)"}, {"a;\r\nb", ";a; b"}, {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(publicChatText(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

// Public and private sending: the exact frames, the header lines, the cleared input; a
// line that cannot go out (no connection, no greeting yet, level 0, a recipient not in the
// chat) is neither sent nor shown as said: the conversation says why and the input stays.
TEST(Chat, SendingPublicAndPrivateLines)
{
    ChatFixture f;
    f.openAt("1");
    f.in("@SCU=anna;Bob");
    const QString offline = "Nicht gesendet: keine Verbindung zum Server";
    f.chat.setInput("a\r\nb");
    f.chat.Command1_Click();
    f.connect();
    f.chat.Command1_Click(); // connected, but the server has not greeted yet
    f.in("@WELCOME=x");
    f.chat.ChatLevel = 0;
    f.chat.Command1_Click();
    f.chat.ChatLevel = 1;
    EXPECT_EQ(f.chat.lines(), QStringList({offline, offline,
                                           QString::fromLatin1("Nicht gesendet: Chat f\xfcr diesen User nicht freigegeben")}));
    EXPECT_EQ(f.chat.input(), "a\r\nb");
    f.chat.Command2_Click();

    f.chat.Command1_Click();
    f.chat.setInput("x;y");
    f.chat.Command1_Click();
    f.chat.setInput(QString::fromLatin1("x;\r\nbl\xf6" "d"));
    f.chat.Command5_Click(); // no recipient: nothing
    f.chat.setRecipient("dora");
    f.chat.Command5_Click(); // not in the chat: refused here, the input stays
    f.chat.setRecipient("bob");
    f.chat.Command5_Click();
    f.chat.Command1_Click(); // input empty now: nothing
    f.chat.setRecipient("");
    f.chat.setInput("y");
    f.chat.Command5_Click();

    // Skip the login replies the client sends on its own.
    QByteArrayList chatFrames;
    waitFor([&] {
        chatFrames.clear();
        for (const QByteArray& m : f.peer.received)
            if (m.startsWith("@C="))
                chatFrames << m;
        return chatFrames.size() >= 3;
    }, 3000);
    EXPECT_EQ(chatFrames, QByteArrayList({"@C=a b", "@C=;x;y", "@C=bob;x;\r\nbl\xf6" "d"}));
    EXPECT_EQ(f.chat.lines(), QStringList({"09:30:15 ich:", "a\r\nb", "09:30:15 ich:", "x;y",
                                           "Chat: dora ist nicht im Chat", "09:30:15 ich:P->bob:",
                                           QString::fromLatin1("x;\r\nbl\xf6" "d")}));
    EXPECT_EQ(f.chat.input(), "y");
    EXPECT_EQ(f.chat.conversationText(), "\r\n" + f.chat.lines().join("\r\n"));
    EXPECT_EQ(f.app.outgoing.lines().size(), 3); // all went through the logged sending

    // The server's refusal shows in the conversation as well; other messages do not.
    const qsizetype shown = f.app.messages.history().size();
    f.in("@MSG=Chat: Bob ist nicht im Chat");
    f.in("@MSG=Chatten ist erlaubt");
    EXPECT_EQ(f.chat.lines().mid(7), QStringList({"Chat: Bob ist nicht im Chat"}));
    EXPECT_EQ(f.app.messages.history().size(), shown + 2);
}

// What arrives is shown only with the window open and a level of 1 or more; the sender
// part runs to the first ":"; the sound plays only when on and the file exists.
TEST(Chat, ReceivedLinesFollowLevelWindowAndSound)
{
    ChatFixture f;
    f.in("@RC=bob:zu");           // level 0, closed
    f.in("@SV=1");
    f.in("@RC=bob:zu");           // closed
    f.chat.Form_Load();
    f.in("@SV=0");                // the level closes the window...
    EXPECT_EQ(f.closed, 1);
    f.chat.Form_Load();           // ...and a window open at level 0 still shows nothing
    f.in("@RC=bob:zu");
    f.in("@RT=FDAX;1; 100");
    EXPECT_TRUE(f.chat.lines().isEmpty());
    EXPECT_TRUE(f.chat.trades().isEmpty());

    f.in("@SV=1");
    f.in("@RC=bob:hallo: du");
    f.in("@ReceiveChat=ohne Doppelpunkt");
    f.in("@ReceiveTChat=FDAX;-2; 15234.5");
    EXPECT_EQ(f.chat.lines(), QStringList({"09:30:15 bob:", "hallo: du", "09:30:15 ", "ohne Doppelpunkt"}));
    EXPECT_EQ(f.chat.trades(), QStringList({"09:30:15 FDAX;-2; 15234.5"}));
    EXPECT_TRUE(f.sound.played.isEmpty()) << "1.wav does not exist";

    QFile wav(f.app.state.filePath("1.wav"));
    ASSERT_TRUE(wav.open(QIODevice::WriteOnly));
    wav.close();
    f.in("@RC=bob:x");
    f.chat.Check4_Click(false);
    EXPECT_EQ(f.app.state.settings.chatSound, 0);
    f.in("@RC=bob:y");
    EXPECT_EQ(f.sound.played, QStringList({f.app.state.filePath("1.wav")}));
}

TEST(Chat, ParticipantListEntersAndLeaves)
{
    ChatFixture f;
    f.in("@SCU=a;b");             // closed: nothing kept
    EXPECT_TRUE(f.chat.users().isEmpty());
    f.openAt("1");
    f.in("@SCU=a;b;c");
    f.in("@CU1=b");               // listed already: no line
    f.in("@CU1=d");
    f.in("@CU0=x");               // not listed: no line
    f.in("@CU0=a");
    f.in("@CU1=");                // no name: nothing
    EXPECT_EQ(f.chat.users(), QStringList({"b", "c", "d"}));
    EXPECT_EQ(f.chat.lines(), QStringList({"User d betritt Chat", QString::fromLatin1("User a verl\xe4\xdft Chat")}));
    f.chat.List1_Click(1);
    EXPECT_EQ(f.chat.recipient(), "c");
    f.chat.List1_Click(7);        // no such row: unchanged
    EXPECT_EQ(f.chat.recipient(), "c");
}

TEST(Chat, ConversationClickPicksTheRecipient)
{
    ChatFixture f;
    const struct {
        const char* line;
        const char* recipient;
    } cases[] = {
        {"09:30:15 bob:", "bob"},
        {"09:30:15 ich:P->bob:", "ich"},
        {"hallo du", ""},          // no ":"
        {"a:b", ""},               // no blank
        {"x:y z", ""},             // no ":" after the blank
        {"09:30:15 :", ""},
    };
    for (const auto& c : cases) {
        f.chat.setRecipient("alt");
        f.chat.Text3_Click(QString::fromLatin1(c.line));
        EXPECT_EQ(f.chat.recipient(), QString::fromLatin1(c.recipient)) << c.line;
    }
}

// The box, the widen and narrow buttons and the welcome send their requests straight on
// the socket while connected; closing the window by its frame clears the box and leaves
// the chat.
TEST(Chat, BoxAndButtonsSendRequests)
{
    ChatFixture f;
    f.in("@SV=2");
    EXPECT_FALSE(f.chat.WS_CHAT(1));
    f.chat.Check3_Click(true); // not connected: the window opens, the requests are dropped
    EXPECT_EQ(f.opened, 1);
    EXPECT_TRUE(f.chat.ChatOpen);
    f.connect();
    const int before = f.peer.received.size();
    f.in("@WELCOME=x");
    f.chat.Command3_Click();
    EXPECT_TRUE(f.chat.wide());
    f.chat.Form_Unload();     // closed by its frame: the feed ends too
    EXPECT_FALSE(f.chat.chatBox());
    EXPECT_FALSE(f.app.login.chatBox);
    f.chat.Check3_Click(true);
    f.chat.Check3_Click(false);
    EXPECT_EQ(f.closed, 1);
    EXPECT_EQ(f.sent(before + 10).mid(before),
              QByteArrayList({"@CH=2", "@RCU=", "@CT=1", "@CT=0", "@CH=0", "@RCU=", "@CH=1", "@RCU=", "@CH=0",
                              "@RCU="}));
    EXPECT_TRUE(f.app.outgoing.lines().isEmpty()); // none of them is logged
}

// Level 0 clears the box, closes the window and empties the place labels, and later
// places stay empty; a level above 0 fills them again and shows the widen button from 2.
TEST(Chat, LevelSwitchesBoxWindowAndPlaces)
{
    ChatFixture f;
    QList<int> levels;
    QObject::connect(&f.chat, &ChatRoom::levelChanged, [&](int l) { levels << l; });
    f.in("@SV=1");
    f.chat.Check3_Click(true);
    f.in("@SUP= 3; 7; 1000");
    const QString day = f.app.status.lt1(StatusTexts::kDayPlace);
    const QString total = f.app.status.lt1(StatusTexts::kTotalPlace);
    EXPECT_FALSE(day.isEmpty());
    EXPECT_FALSE(f.chat.tradesButtonVisible());

    f.in("@SV=0");
    EXPECT_FALSE(f.chat.ChatOpen);
    EXPECT_FALSE(f.chat.chatBox());
    EXPECT_EQ(f.app.status.lt1(StatusTexts::kDayPlace), "");
    EXPECT_EQ(f.app.status.lt1(StatusTexts::kTotalPlace), "");
    f.in("@SUP= 3; 7; 1000");
    EXPECT_EQ(f.app.status.lt1(StatusTexts::kDayPlace), "");

    f.in("@SV=2");
    EXPECT_EQ(f.app.status.lt1(StatusTexts::kDayPlace), day);
    EXPECT_EQ(f.app.status.lt1(StatusTexts::kTotalPlace), total);
    EXPECT_TRUE(f.chat.tradesButtonVisible());
    f.in("@SV=kaputt");
    EXPECT_EQ(f.chat.ChatLevel, 0);
    EXPECT_EQ(levels, QList<int>({1, 0, 2, 0}));
}

TEST(Chat, ConversationAndFeedAreBounded)
{
    ChatFixture f;
    f.openAt("1");
    for (int i = 0; i <= ChatRoom::kMaxLines; ++i)
        f.chat.Chatadd(QString::number(i));
    for (int i = 0; i <= ChatRoom::kMaxTrades; ++i)
        f.in("@RT=" + QByteArray::number(i));
    EXPECT_EQ(f.chat.lines().size(), ChatRoom::kMaxLines);
    EXPECT_EQ(f.chat.lines().first(), "1");
    EXPECT_EQ(f.chat.trades().size(), ChatRoom::kMaxTrades);
    EXPECT_EQ(f.chat.trades().first(), "09:30:15 1");
    // A broken server's megabyte line is kept cut.
    f.in("@RC=anna:" + QByteArray(1 << 20, 'x'));
    f.in("@RT=" + QByteArray(1 << 20, 'y'));
    EXPECT_LE(f.chat.lines().last().size(), ChatRoom::kMaxLineChars + 40);
    EXPECT_LE(f.chat.trades().last().size(), ChatRoom::kMaxLineChars + 40);
    f.chat.Command2_Click();
    EXPECT_TRUE(f.chat.lines().isEmpty());
}
