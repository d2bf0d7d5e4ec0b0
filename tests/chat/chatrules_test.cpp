#include "chatrules.h"

#include <gtest/gtest.h>

using namespace korvi::server;

TEST(ChatRules, CleanTextRemovesControlBytesAndCutsAt500)
{
    EXPECT_EQ(chat::cleanText("a\x01" "b\r\nc\x7f" "d\xe4"), "abcd\xe4");
    EXPECT_EQ(chat::cleanText(QByteArray(600, 'x')), QByteArray(500, 'x'));
    // Removed bytes do not count towards the 500.
    EXPECT_EQ(chat::cleanText(QByteArray(10, '\n') + QByteArray(500, 'y') + "z"), QByteArray(500, 'y'));
}

TEST(ChatRules, PrivateOnlyWhenTheNameIsAParticipant)
{
    const auto known = [](QByteArrayView name) { return name == "bob" || name == "Anna Lena"; };
    const struct {
        const char* body;
        bool isPrivate;
        const char* recipient;
        const char* text;
    } cases[] = {
        {"bob;hallo", true, "bob", "hallo"},
        {"bob;a;b", true, "bob", "a;b"},
        {"Anna Lena;x", true, "Anna Lena", "x"},
        {"hallo; wie geht's", false, "", "hallo; wie geht's"},
        {";bob", false, "", ";bob"},
        {"bob", false, "", "bob"},
        {"bob ;x", false, "", "bob ;x"},
    };
    for (const auto& c : cases) {
        const chat::ChatLine line = chat::parseLine(c.body, known);
        EXPECT_EQ(line.isPrivate, c.isPrivate) << c.body;
        EXPECT_EQ(line.recipient, QByteArray(c.recipient)) << c.body;
        EXPECT_EQ(line.text, QByteArrayView(c.text)) << c.body;
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
    // The flood goes on in the next second: no second warning.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(b.take(2000 + i), V::Pass);
    EXPECT_EQ(b.take(2100), V::Drop);
    // A whole second without drops: the next flood is told again.
    EXPECT_EQ(b.take(3100), V::Pass);
    for (int i = 0; i < 4; ++i)
        b.take(4100 + i);
    EXPECT_EQ(b.take(4200), V::Pass);
    EXPECT_EQ(b.take(4201), V::DropAndWarn);
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
