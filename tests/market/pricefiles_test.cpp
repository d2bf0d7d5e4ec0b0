#include "market/pricefiles.h"
#include "marketfixture.h"
#include "textfile.h"

#include <QFile>
#include <QMap>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

QByteArrayList fileLines(const QString& path)
{
    QByteArray bytes;
    if (!readWholeFile(path, bytes))
        return {};
    QByteArrayList lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TEST(PriceFiles, LineForm)
{
    EXPECT_EQ(priceFileLine(PriceSnapshot{99.5f, 100.25f, 100, 0, 46364.5}),
              QByteArray(" 46364.5; 99.5; 100.25; 100; 0"));
    EXPECT_EQ(priceFileLine(PriceSnapshot{-0.5f, 0, 0, -3, 0}), QByteArray(" 0;-.5; 0; 0;-3"));
}

TEST(PriceFiles, SaveWritesThreeThousandLinesOldestFirstAndLoadsBack)
{
    MarketFixture f;
    f.in(kThreeInstruments);
    f.in("@KU=1;1;1;2;1;1.5");
    f.in("@KU=1;3;1;4;1;3.5");
    f.app.saveMarketFiles();

    const QByteArrayList k1 = fileLines(f.file("K1.dat"));
    ASSERT_EQ(k1.size(), 3000);
    EXPECT_EQ(k1[0], " 0; 0; 0; 0; 0\r");
    EXPECT_TRUE(k1[2998].contains("; 1; 2; 1.5; 0\r")) << k1[2998].constData();
    EXPECT_TRUE(k1[2999].contains("; 3; 4; 3.5; 0\r"));
    EXPECT_EQ(fileLines(f.file("K3.dat")).size(), 3000);
    EXPECT_FALSE(exist(f.file("K4.dat")));

    // The next run: the newest snapshot is in slot 3000 and the next one goes to slot 1.
    MarketFixture g;
    for (const char* name : {"K1.dat", "K2.dat", kPriceIndexFileName})
        ASSERT_TRUE(QFile::copy(f.file(name), g.file(name)));
    g.in(kThreeInstruments);
    const PriceHistory& h = g.s.priceHistory;
    EXPECT_EQ(h.pos(1), 3000);
    EXPECT_EQ(h.at(1, 3000).Ask, 4.0f);
    EXPECT_NEAR(h.at(1, 3000).Zeit, f.s.priceHistory.at(1, 2).Zeit, 1e-9); // 15 digits kept
    EXPECT_EQ(h.pos(3), 0);
    g.in("@KU=1;5;1;6;1;5.5");
    EXPECT_EQ(h.pos(1), 1);
    EXPECT_EQ(h.at(1, 1).Bid, 5.0f);
}

TEST(PriceFiles, ShortLongAndBrokenFiles)
{
    MarketFixture f;
    QByteArray longFile;
    for (int i = 1; i <= 3005; ++i)
        longFile += " 1; " + QByteArray::number(i) + "; 2; 3; 4\r\n";
    ASSERT_TRUE(writeFileAtomically(f.file("K1.dat"), longFile));
    ASSERT_TRUE(writeFileAtomically(f.file("K2.dat"), "x;y\r\n 2.5;;7; 8;2.5;junk\n"));
    ASSERT_TRUE(writeFileAtomically(f.file(kPriceIndexFileName), "1;A\r\n2;B\r\n"));
    f.in("@SI=A\nB");
    const PriceHistory& h = f.s.priceHistory;
    EXPECT_EQ(h.pos(1), 3000);
    EXPECT_EQ(h.at(1, 3000).Bid, 3000.0f);
    EXPECT_EQ(h.pos(2), 2);
    EXPECT_EQ(h.at(2, 1).Bid, 0.0f);
    EXPECT_EQ(h.at(2, 2).Zeit, 2.5);
    EXPECT_EQ(h.at(2, 2).Ask, 7.0f);
    EXPECT_EQ(h.at(2, 2).Umsatz, 2); // halves to even
}

TEST(PriceFiles, InstrumentsWithoutHistoryDoNotOverwriteOldFiles)
{
    MarketFixture f;
    ASSERT_TRUE(writeFileAtomically(f.file("K2.dat"), " 1; 2; 3; 4; 0\r\n"));
    ASSERT_TRUE(writeFileAtomically(f.file(kPriceIndexFileName), "")); // K2.dat is nobody's
    f.in("@SI=A");
    f.in("@SI=A\nB");
    f.app.saveMarketFiles();
    EXPECT_EQ(fileLines(f.file("K1.dat")).size(), 3000);
    EXPECT_EQ(fileLines(f.file("K2.dat")), QByteArrayList({" 1; 2; 3; 4; 0\r"}));
}

// The side file binds each price file to its instrument: a history is read back only for
// the same instrument, under whatever number it has now; a file of another instrument (or
// of nobody known) is not read, with a log line, and stays until that number is saved.
TEST(PriceFiles, ReadBackOnlyForTheInstrumentTheyHold)
{
    MarketFixture first;
    first.in("@SI=FDAX;DAX;EUR;1\nFGBL;BUND;EUR;1");
    first.in("@KU=1;18000;1;18001;1;18000.5");
    first.in("@KU=2;131;1;132;1;131.5");
    first.app.saveMarketFiles();
    QByteArray index;
    ASSERT_TRUE(readWholeFile(first.file(kPriceIndexFileName), index));
    EXPECT_EQ(index, "1;FDAX\r\n2;FGBL\r\n");
    EXPECT_EQ(parsePriceIndex(index + "x;Y\r\n0;Z\r\n3001;Z\n7;\n"),
              (QMap<int, QByteArray>{{1, "FDAX"}, {2, "FGBL"}, {7, ""}}));

    const struct {
        const char* list;
        bool withIndex;
        float bid1, bid2; // 0: that instrument starts empty
        int logLines;
    } cases[] = {
        {"@SI=FDAX;DAX;EUR;1\nFGBL;BUND;EUR;1", true, 18000, 131, 0},
        {"@SI=FGBL;BUND;EUR;1\nFDAX;DAX;EUR;1", true, 131, 18000, 0},  // order changed
        {"@SI=XYZ;X;EUR;1\nFGBL;BUND;EUR;1", true, 0, 131, 1},         // another game's 1
        {"@SI=FDAX;DAX;EUR;1\nFGBL;BUND;EUR;1", false, 18000, 131, 0}, // an older folder: by number
    };
    for (const auto& c : cases) {
        MarketFixture f;
        for (const char* name : {"K1.dat", "K2.dat"})
            ASSERT_TRUE(QFile::copy(first.file(name), f.file(name)));
        if (c.withIndex) {
            ASSERT_TRUE(QFile::copy(first.file(kPriceIndexFileName), f.file(kPriceIndexFileName)));
        }
        const qsizetype logged = f.app.protocol.lines().size();
        f.in(c.list);
        const PriceHistory& h = f.s.priceHistory;
        EXPECT_EQ(h.at(1, std::max(1, h.pos(1))).Bid, c.bid1) << c.list;
        EXPECT_EQ(h.at(2, std::max(1, h.pos(2))).Bid, c.bid2) << c.list;
        const QStringList log = f.app.protocol.lines().mid(logged);
        EXPECT_EQ(log.filter("Kursverlauf beginnt leer").size(), c.logLines) << log.join('|').toStdString();
    }

    // A run with another game: FDAX's and FGBL's files stay as they were (they were not
    // read), its instrument 1 goes to the first free number.
    MarketFixture other;
    for (const char* name : {"K1.dat", "K2.dat", kPriceIndexFileName})
        ASSERT_TRUE(QFile::copy(first.file(name), other.file(name)));
    other.in("@SI=XYZ;X;EUR;1");
    other.in("@KU=1;5;1;6;1;5.5");
    other.app.saveMarketFiles();
    ASSERT_TRUE(readWholeFile(other.file(kPriceIndexFileName), index));
    EXPECT_EQ(index, "1;FDAX\r\n2;FGBL\r\n3;XYZ\r\n");
    for (const char* name : {"K1.dat", "K2.dat"})
        EXPECT_EQ(fileLines(other.file(name)), fileLines(first.file(name))) << name;
}

namespace {

// A price file of `lines` lines whose bids count up from `firstBid`.
QByteArray priceLines(int lines, int firstBid)
{
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += " 46000; " + QByteArray::number(firstBid + i) + "; 2; 3; 4\r\n";
    return out;
}

// A file as "lines/bid of the oldest line/bid of the newest line", or "-" when there is none.
QByteArray summary(const QString& path)
{
    const QByteArrayList lines = fileLines(path);
    if (lines.isEmpty())
        return "-";
    return QByteArray::number(lines.size()) + '/' + lines.first().split(';').value(1).trimmed() + '/' +
           lines.last().split(';').value(1).trimmed();
}

} // namespace

// Upgrading a folder: without a side file the files are read by their numbers and written
// back with the new prices, and the side file is written from then on; with one, a file
// whose prices are not in the history (not read, or its instrument left the list) is never
// overwritten: that instrument's prices go to the file it came from or to a free number.
TEST(PriceFiles, NoFileThatWasNotReadIsEverOverwritten)
{
    const struct {
        const char* what;
        std::vector<std::pair<const char*, QByteArray>> files; // "Kurse.idx" included when given
        std::vector<const char*> messages;
        std::vector<std::pair<const char*, const char*>> after; // file -> summary
        const char* index;
    } cases[] = {
        {"older folder, same instruments",
         {{"K1.dat", priceLines(3000, 1)}, {"K2.dat", priceLines(5, 501)}},
         {"@SI=A\nB\nC", "@KU=1;9999;1;2;1;3"},
         {{"K1.dat", "3000/2/9999"}, {"K2.dat", "3000/0/505"}, {"K3.dat", "3000/0/0"}},
         "1;A\r\n2;B\r\n3;C\r\n"},
        {"older folder, list grows in the run",
         {{"K1.dat", priceLines(4, 11)}, {"K2.dat", priceLines(4, 21)}},
         {"@SI=A", "@SI=A\nB", "@KU=2;7777;1;2;1;3"},
         {{"K1.dat", "3000/0/14"}, {"K2.dat", "3000/0/7777"}},
         "1;A\r\n2;B\r\n"},
        {"older folder, instrument 1 leaves the list",
         {{"K1.dat", priceLines(4, 11)}},
         {"@SI=A", "@SI=B", "@KU=1;7777;1;2;1;3"},
         {{"K1.dat", "4/11/14"}, {"K2.dat", "3000/0/7777"}},
         "2;B\r\n"},
        {"side file names another instrument",
         {{"K1.dat", priceLines(4, 11)}, {"Kurse.idx", "1;OLD\r\n"}},
         {"@SI=A", "@KU=1;7777;1;2;1;3"},
         {{"K1.dat", "4/11/14"}, {"K2.dat", "3000/0/7777"}},
         "1;OLD\r\n2;A\r\n"},
        {"a file nobody knows",
         {{"K1.dat", priceLines(4, 11)}, {"K2.dat", priceLines(4, 21)}, {"Kurse.idx", "2;X\r\n"}},
         {"@SI=A", "@KU=1;7777;1;2;1;3"},
         {{"K1.dat", "4/11/14"}, {"K2.dat", "4/21/24"}, {"K3.dat", "3000/0/7777"}},
         "2;X\r\n3;A\r\n"},
        {"read from a spare number, written back there",
         {{"K1.dat", priceLines(4, 11)}, {"K3.dat", priceLines(4, 31)}, {"Kurse.idx", "3;A\r\n"}},
         {"@SI=A", "@KU=1;7777;1;2;1;3"},
         {{"K1.dat", "4/11/14"}, {"K2.dat", "-"}, {"K3.dat", "3000/0/7777"}},
         "3;A\r\n"},
        {"instruments swapped, both read",
         {{"K1.dat", priceLines(4, 11)}, {"K2.dat", priceLines(4, 21)}, {"Kurse.idx", "1;A\r\n2;B\r\n"}},
         {"@SI=B\nA", "@KU=1;7777;1;2;1;3"},
         {{"K1.dat", "3000/0/7777"}, {"K2.dat", "3000/0/14"}},
         "1;B\r\n2;A\r\n"},
    };
    for (const auto& c : cases) {
        MarketFixture f;
        for (const auto& [name, content] : c.files)
            ASSERT_TRUE(writeFileAtomically(f.file(name), content));
        for (const char* m : c.messages)
            f.in(m);
        f.app.saveMarketFiles();
        for (const auto& [name, expected] : c.after)
            EXPECT_EQ(summary(f.file(name)), expected) << c.what << ": " << name;
        QByteArray index;
        EXPECT_TRUE(readWholeFile(f.file(kPriceIndexFileName), index)) << c.what;
        EXPECT_EQ(index, c.index) << c.what;
    }
}

TEST(PriceRecording, OnlyWithTheDeveloperMarker)
{
    {
        MarketFixture f;
        f.app.Check1_Click(true);
        EXPECT_TRUE(f.app.connection.kursprotokoll());
        f.in("~1;2;3;4;5;6");
        EXPECT_FALSE(exist(f.file("kurs.dat")));
    }
    MarketFixture f;
    ASSERT_TRUE(writeFileAtomically(f.file("korvi.dev"), ""));
    ClientApp app{f.dir.path(), f.prompts, f.sound, f.clock, f.pages};
    app.Check1_Click(true);
    app.dispatcher.dispatch("~1;100;1;1;1;1"); // recorded even before the instrument list
    app.dispatcher.dispatch("^31;0.5");
    app.dispatcher.dispatch("@KU=1;1;1;1;1;1"); // only the short forms are recorded
    app.dispatcher.dispatch("^9x");
    app.Check1_Click(true); // each click toggles, whatever the box shows
    app.dispatcher.dispatch("^31;0.75");
    EXPECT_EQ(fileLines(f.file("kurs.dat")), QByteArrayList({"~1;100;1;1;1;1\r", "^31;0.5\r", "^9x\r"}));

    app.Check1_Click(false);
    app.connection.unload(); // unloading the window closes the file
    app.dispatcher.dispatch("^31;1");
    EXPECT_EQ(fileLines(f.file("kurs.dat")).size(), 3);
}
