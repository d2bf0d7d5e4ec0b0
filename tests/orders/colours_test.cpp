#include "colours.h"
#include "textfile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;

TEST(Colours, DefaultsNamesAndFileRoundTrip)
{
    ColourTable t;
    EXPECT_EQ(t[OG_WPZeile], 16776960u);
    EXPECT_EQ(t[OG_CANCEL], 255u);
    EXPECT_EQ(t[OG_Bestand], rgb(0, 0, 255));
    EXPECT_EQ(ColourTable::name(1), "OG:WP-Zeile");
    EXPECT_EQ(ColourTable::name(18), "OG:BracketChildHot");
    EXPECT_TRUE(ColourTable::name(19).isEmpty());

    QTemporaryDir dir;
    for (int n = 1; n <= 30; ++n)
        t.set(n, rgb(n, 2 * n, 3 * n));
    t.load(dir.path(), "missing.col"); // a missing file brings the defaults back
    EXPECT_EQ(t.currentFile(), "korvi.col");
    EXPECT_EQ(t[OG_Bid], 65535u);
    for (int n = 1; n <= 30; ++n)
        t.set(n, rgb(n, 2 * n, 3 * n));
    ASSERT_TRUE(t.save(dir.path()));
    QByteArray bytes;
    ASSERT_TRUE(readWholeFile(dir.filePath("korvi.col"), bytes));
    EXPECT_TRUE(bytes.startsWith(" 197121 \r\n")); // 1 + 256*2 + 65536*3
    EXPECT_EQ(bytes.count("\r\n"), 30);

    ColourTable back;
    back.load(dir.path(), "korvi.col");
    for (int n = 1; n <= 30; ++n)
        EXPECT_EQ(back[n], rgb(n, 2 * n, 3 * n)) << n;
}

TEST(Colours, ShortLongAndUnsafeFiles)
{
    ColourTable t;
    t.parse(" 1 \r\n 2 \r\n");
    EXPECT_EQ(t[1], 1u);
    EXPECT_EQ(t[2], 2u);
    EXPECT_EQ(t[3], 65535u); // untouched
    QByteArray many;
    for (int i = 1; i <= 150; ++i)
        many += ' ' + QByteArray::number(i) + " \r\n";
    t.parse(many);
    EXPECT_EQ(t[100], 100u);
    EXPECT_EQ(t[0], 0u);
    t.parse("-5 \r\nabc\r\n");
    EXPECT_EQ(t[1], 1u); // not a colour: kept
    QTemporaryDir dir;
    t.load(dir.path(), "../outside.col");
    EXPECT_EQ(t.currentFile(), "korvi.col");
}
