#include "chat/chatroom.h"
#include "chatrules.h"
#include "textfile.h"
#include "participantstore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <random>

using namespace korvi::server;

TEST(ChatRules, CleanTextRemovesControlBytesAndCutsAt500)
{
    EXPECT_EQ(chat::cleanText("a\x01" "b\r\nc\x7f" "d\xe4"), "abcd\xe4");
    EXPECT_EQ(chat::cleanText(QByteArray(600, 'x')), QByteArray(500, 'x'));
    // Removed bytes do not count towards the 500.
    EXPECT_EQ(chat::cleanText(QByteArray(10, '\n') + QByteArray(500, 'y') + "z"), QByteArray(500, 'y'));
}

// Whatever stands before the first ";" is a recipient, known or not; only a line without
// ";" or with ";" in front is public, so no typo can turn a private line into a public one.
TEST(ChatRules, EveryNameBeforeASemicolonMakesTheLinePrivate)
{
    const struct {
        const char* body;
        bool isPrivate;
        const char* recipient;
        const char* text;
    } cases[] = {
        {"bob;hallo", true, "bob", "hallo"},
        {"bob;a;b", true, "bob", "a;b"},
        {"Anna Lena;x", true, "Anna Lena", "x"},
        {"dora;niemand", true, "dora", "niemand"},        // not registered: still private
        {"hallo; wie geht's", true, "hallo", " wie geht's"},
        {"bob ;x", true, "bob ", "x"},
        {"bob;", true, "bob", ""},
        {";hallo; wie geht's", false, "", "hallo; wie geht's"},
        {";;)", false, "", ";)"},
        {";", false, "", ""},
        {"bob", false, "", "bob"},
        {"", false, "", ""},
    };
    for (const auto& c : cases) {
        const chat::ChatLine line = chat::parseLine(c.body);
        EXPECT_EQ(line.isPrivate, c.isPrivate) << c.body;
        EXPECT_EQ(line.recipient, QByteArray(c.recipient)) << c.body;
        EXPECT_EQ(line.text, QByteArrayView(c.text)) << c.body;
    }
}

// Whatever a participant types, the client's public form of it is read by the server as a
// public line with exactly the text the client shows (CR LF as a blank).
TEST(ChatRules, EveryPublicTextStaysPublicAndWhole)
{
    std::mt19937 random(24);
    const char alphabet[] = {';', ';', 'a', 'b', ' ', '\r', '\n', ':', '\xe4'};
    for (int round = 0; round < 2000; ++round) {
        QString typed;
        const int length = int(random() % 12);
        for (int i = 0; i < length; ++i)
            typed += QLatin1Char(alphabet[random() % sizeof(alphabet)]);
        const QByteArray body = korvi::toWire(korvi::publicChatText(typed));
        const chat::ChatLine line = chat::parseLine(body);
        EXPECT_FALSE(line.isPrivate) << body.toStdString();
        EXPECT_EQ(line.text.toByteArray(), korvi::toWire(korvi::CrLfToBlank(typed))) << body.toStdString();
    }
}

TEST(ChatRules, FiveLinesPerSecondAndOneWarningPerFlood)
{
    using V = chat::LineBudget::Verdict;
    chat::LineBudget b;
    std::vector<V> got;
    for (int i = 0; i < 8; ++i)
        got.push_back(b.take(1000 + i));
    EXPECT_EQ(got, (std::vector<V>{V::Pass, V::Pass, V::Pass, V::Pass, V::Pass, V::DropAndWarn, V::Drop, V::Drop}));
    // Half a second later two and a half lines are due again; the flood is not told twice.
    EXPECT_EQ(b.take(1500), V::Pass);
    EXPECT_EQ(b.take(1501), V::Pass);
    EXPECT_EQ(b.take(1502), V::Drop);
    // A steady five a second passes, early and late lines alike.
    for (qint64 t : {3000, 3210, 3390, 3600, 3800, 4000, 4190, 4410, 4600, 4790, 5000, 5200, 5400})
        EXPECT_EQ(b.take(t), V::Pass) << t;
    // Long after the last drop, a new flood is told again.
    for (int i = 0; i < 5; ++i)
        b.take(8000 + i);
    EXPECT_EQ(b.take(8005), V::DropAndWarn);
}

// Leaves are told after a quiet time and in the order they happened; an enter within that
// time takes the leave back and is not told either. Steps: participant, what happens
// ("+" enters, "-" leaves, "?" asks for due notices), the time, and what is expected
// (for "+": "told" or "quiet"; for "?": the names due, joined by ",").
TEST(ChatRules, LeavesAreToldOnlyWhenTheyLast)
{
    const qint64 q = chat::PresenceNotices::kQuietMs;
    const struct {
        qint64 participant;
        char what;
        qint64 at;
        const char* expected;
    } steps[] = {
        {1, '+', 0, "told"},
        {1, '-', 100, ""},
        {1, '+', 200, "quiet"},       // back within the quiet time: nobody hears a thing
        {1, '?', 100 + q, ""},
        {1, '-', 300, ""},
        {2, '-', 400, ""},
        {1, '?', 300 + q - 1, ""},   // not yet
        {1, '?', 300 + q, "p1"},
        {2, '+', 401 + q, "quiet"},   // the notice was not asked for yet: still taken back
        {1, '?', 10 * q, ""},
        {1, '+', 10 * q, "told"},     // after its leave was told, an enter is told again
        {3, '-', 10 * q, ""},
        {1, '-', 10 * q + 1, ""},
        {1, '?', 20 * q, "p3,p1"},    // in the order they left
        {1, '?', 20 * q, ""},         // handed out once
    };
    chat::PresenceNotices notices;
    for (const auto& s : steps) {
        const QByteArray name = "p" + QByteArray::number(s.participant);
        switch (s.what) {
        case '+':
            EXPECT_EQ(notices.entered(s.participant) ? "told" : "quiet", QByteArray(s.expected)) << name.constData() << " at " << s.at;
            break;
        case '-':
            notices.left(s.participant, name, s.at);
            break;
        case '?': {
            QByteArray due;
            for (const QByteArray& n : notices.due(s.at))
                due += (due.isEmpty() ? "" : ",") + n;
            EXPECT_EQ(due, QByteArray(s.expected)) << "at " << s.at;
            break;
        }
        }
    }
    EXPECT_FALSE(notices.waiting());
}

TEST(ChatRules, MessageTexts)
{
    EXPECT_EQ(chat::userList({"a", "b c"}), "@SCU=a;b c");
    EXPECT_EQ(chat::userList({}), "@SCU=");
    EXPECT_EQ(chat::userEnters("bob"), "@CU1=bob");
    EXPECT_EQ(chat::userLeaves("bob"), "@CU0=bob");
    EXPECT_EQ(chat::chatLine("bob", "hi: du", false), "@RC=bob:hi: du");
    EXPECT_EQ(chat::chatLine("bob", "psst", true), "@RC=bob:(privat) psst");
    EXPECT_EQ(chat::tradeLine("FDAX", true, 3, 15234.5), "@RT=FDAX;3; 15234.5");
    EXPECT_EQ(chat::tradeLine("FGBL", false, 2, 131.25), "@RT=FGBL;-2; 131.25");
}

// Levels in the participant store: new participants get 1; a level is 0 to 32767; an
// unknown name is refused; the running game reads them all by id.
TEST(ChatRules, LevelsInTheParticipantStore)
{
    QTemporaryDir dir;
    ParticipantStore store;
    QString error;
    ASSERT_TRUE(store.open(dir.path(), error)) << error.toStdString();
    ASSERT_TRUE(store.add("bob", "pw", error));
    const auto bob = store.find("bob");
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->level, 1);
    EXPECT_TRUE(store.setLevel("BOB", 2, error)); // names compare without regard to case
    EXPECT_EQ(store.find("bob")->level, 2);
    EXPECT_EQ(store.levels().value(bob->id), 2);
    EXPECT_TRUE(store.setLevel("bob", 0, error));
    EXPECT_FALSE(store.setLevel("bob", -1, error));
    EXPECT_FALSE(store.setLevel("bob", 40000, error));
    EXPECT_FALSE(store.setLevel("dora", 1, error));
    EXPECT_EQ(store.levels().value(bob->id), 0);
}
