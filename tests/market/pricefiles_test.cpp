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
        {"@SI=FGBL;BUND;EUR;1\nFDAX;DAX;EUR;1", true, 131, 18000, 0}, // order changed
        {"@SI=XYZ;X;EUR;1\nFGBL;BUND;EUR;1", true, 0, 131, 1},       // another game's 1
        {"@SI=FDAX;DAX;EUR;1\nFGBL;BUND;EUR;1", false, 0, 0, 2},     // nobody knows whose
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

    // A run with another game: its instrument 1 replaces K1.dat, and the side file forgets
    // that K1.dat held FDAX; FGBL's file is kept as it was.
    MarketFixture other;
    for (const char* name : {"K1.dat", "K2.dat", kPriceIndexFileName})
        ASSERT_TRUE(QFile::copy(first.file(name), other.file(name)));
    other.in("@SI=XYZ;X;EUR;1");
    other.in("@KU=1;5;1;6;1;5.5");
    other.app.saveMarketFiles();
    ASSERT_TRUE(readWholeFile(other.file(kPriceIndexFileName), index));
    EXPECT_EQ(index, "1;XYZ\r\n2;FGBL\r\n");
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
