#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;

TEST(TextFile, WritesTheLineForms)
{
    TextFileWriter w;
    w.quoted("demo, user");
    w.text(" 1200; 800");
    w.integer(1);
    w.integer(-3);
    w.singleNumber(0.5f);
    EXPECT_EQ(w.bytes(), QByteArray("\"demo, user\"\r\n 1200; 800\r\n 1 \r\n-3 \r\n .5 \r\n"));
}

TEST(TextFile, ReadsItemsAndStopsAtTheEnd)
{
    TextFileReader r("\"a, b\"\r\n  plain , rest\r\n 42 \r\n-7 \r\n");
    QByteArray s;
    ASSERT_TRUE(r.item(s));
    EXPECT_EQ(s, "a, b");
    ASSERT_TRUE(r.item(s));
    EXPECT_EQ(s, "plain");
    double d = 0;
    ASSERT_TRUE(r.number(d));
    EXPECT_EQ(d, 42);
    qint16 i = 5;
    ASSERT_TRUE(r.int16(i));
    EXPECT_EQ(i, -7);
    EXPECT_TRUE(r.atEnd());
    s = "kept";
    EXPECT_FALSE(r.item(s));
    EXPECT_EQ(s, "kept");

    // Lines ended by a bare line feed read the same; an out-of-range number keeps the default.
    TextFileReader lf("99999\n");
    i = 3;
    EXPECT_TRUE(lf.int16(i));
    EXPECT_EQ(i, 3);
}

TEST(TextFile, UpperCaseKeepsSharpS)
{
    EXPECT_EQ(upperSingleByte("falsches pa\xdfwort"), QByteArray("FALSCHES PA\xdfWORT"));
    EXPECT_EQ(upperSingleByte("\xe4\xf6\xfc\xf7"), QByteArray("\xc4\xd6\xdc\xf7"));
}

TEST(TextFile, FileNamesThatLeaveTheFolderAreRefused)
{
    EXPECT_TRUE(isPlainFileName("ABC12320240102K.TXT"));
    EXPECT_TRUE(isPlainFileName("notes..txt"));
    for (const char* bad : {"", "..", "../x", "/etc/passwd", "a\\b", "C:x", "CON", "nul.txt", "lpt1"})
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
}

TEST(TextFile, AtomicWriteReplacesAndFindsAnyCase)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Korvi.Ini");
    // Every way of writing a whole file replaces it and leaves no other file behind.
    for (auto* write : {&writeFileAtomically, &writePrivateFileAtomically, &writeFileUnsynced}) {
        ASSERT_TRUE(write(path, "one\r\n"));
        ASSERT_TRUE(write(path, "two\r\n"));
        QByteArray content;
        ASSERT_TRUE(readWholeFile(path, content));
        EXPECT_EQ(content, "two\r\n");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Korvi.Ini"});
        // A folder that is not there: nothing written, nothing left.
        EXPECT_FALSE(write(dir.filePath("missing/x.txt"), "x"));
    }
    QByteArray content;
    EXPECT_EQ(findNoCase(dir.path(), "KORVI.INI"), path);
    EXPECT_FALSE(readWholeFile(dir.filePath("missing"), content));
    EXPECT_TRUE(exist(path));
    EXPECT_TRUE(loesch_datei(path));
    EXPECT_FALSE(exist(path));
}
