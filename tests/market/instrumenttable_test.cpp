#include "market/presets.h"
#include "market/pricefiles.h"
#include "marketfixture.h"
#include "textfile.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

TEST(InstrumentTable, FillsEveryFieldAndListsTheLines)
{
    MarketFixture f;
    int gridBuilds = 0;
    f.app.instruments.buildOrderGrid = [&] { ++gridBuilds; };
    f.in("@SI=FDAX;DAX;EUR;16000.5x;15999.75;2.5;16001;3.5;Dax Future;25;7.25;-1;extra\n"
         "SHORT;S\n");
    ASSERT_EQ(f.s.InstrumentCount, 2);
    const InstrumentRecord& a = f.inst(1);
    EXPECT_EQ(a.Ticker, "FDAX");
    EXPECT_EQ(a.Lumticker, "DAX");
    EXPECT_EQ(a.Waehrung, "EUR");
    EXPECT_EQ(a.Letzter, 16000.5f); // the number prefix counts
    EXPECT_EQ(a.Bid, 15999.75f);
    EXPECT_EQ(a.BidVol, 2);         // halves to the even neighbour
    EXPECT_EQ(a.Ask, 16001.0f);
    EXPECT_EQ(a.AskVol, 4);
    EXPECT_EQ(a.Name, "Dax Future");
    EXPECT_EQ(a.Faktor, 25.0f);
    EXPECT_EQ(a.Extra11, 7.25f);
    EXPECT_EQ(a.Extra12, -1.0f);
    // A short line leaves the missing fields empty.
    EXPECT_EQ(f.inst(2).Lumticker, "S");
    EXPECT_EQ(f.inst(2).Name, "");
    EXPECT_EQ(f.inst(2).Faktor, 0.0f);

    EXPECT_EQ(f.s.WpvPresets.at(1).Ticker, "FDAX");
    EXPECT_EQ(f.s.PositionIndex.size(), 3u);
    EXPECT_EQ(gridBuilds, 1);
    EXPECT_TRUE(f.app.outgoing.contains("SHORT;S"));
}

TEST(InstrumentTable, EmptyTrailingAndOversizedLists)
{
    MarketFixture f;
    f.in(kThreeInstruments); // ends with a line feed: still three
    EXPECT_EQ(f.s.InstrumentCount, 3);

    f.in("@SI=");
    EXPECT_EQ(f.s.InstrumentCount, 0);
    f.in("@KU=1;1;1;1;1;1");
    f.in("~1;5;1;1;1;1");
    EXPECT_FALSE(f.s.PricesChanged);

    QByteArray big = "@SI=";
    for (int i = 1; i <= 2000; ++i)
        big += "T" + QByteArray::number(i) + ";L;EUR;1;1;1;1;1;N;1;0;0\n";
    f.in(big);
    EXPECT_EQ(f.s.InstrumentCount, kMaxInstruments);
    EXPECT_EQ(f.inst(1000).Ticker, "T1000");
    EXPECT_TRUE(f.app.protocol.lines().last().startsWith("F:WS_SI 2000"));
    // A price for a dropped line lands nowhere.
    f.in("@KU=1500;2;2;2;2;2");
    EXPECT_EQ(f.inst(1000).Letzter, 1.0f);
}

TEST(InstrumentTable, LaterListRenumbersAndClearsPositionsAndHistoryFollows)
{
    MarketFixture f;
    f.in(kThreeInstruments);
    f.in("@KU=1;90;1;91;1;90.5");
    ASSERT_EQ(f.s.priceHistory.pos(1), 1);
    f.s.PositionIndex[1] = 1;

    f.in("@SI=NEW;N;USD;5;4;1;6;1;Neu;1;0;0");
    EXPECT_EQ(f.s.InstrumentCount, 1);
    EXPECT_EQ(f.inst(1).Ticker, "NEW");
    EXPECT_EQ(f.inst(1).Geaendert, 0);
    EXPECT_EQ(f.s.PositionIndex, std::vector<qint16>({0, 0}));
    EXPECT_EQ(f.s.priceHistory.rows(), 1);
    EXPECT_EQ(f.s.priceHistory.pos(1), 0); // the history of FDAX is not shown as NEW's

    f.in("@SI=NEW;N;USD;5\nFDAX;DAX;EUR;1");
    EXPECT_EQ(f.s.priceHistory.rows(), 2);
    EXPECT_EQ(f.s.priceHistory.pos(2), 0); // dropped with the list that lacked it
}

TEST(InstrumentTable, ServerCodeTable)
{
    MarketFixture f;
    f.in("@SI=A;X1;EUR\nB;X2;EUR\nC;X2;EUR");
    f.in("!;T;..X2;nope;X1;x1");
    EXPECT_EQ(f.app.connection.TableText, "X2;nope;X1;x1");
    EXPECT_EQ(f.s.ServerCodes, std::vector<qint16>({0, 2, 0, 1, 0}));
}

TEST(Presets, FileIsAppliedByExactTickerAndGarbageStopsTheReading)
{
    MarketFixture f;
    ASSERT_TRUE(writeFileAtomically(f.file("Korvi.wpv"),
                                    "FESX\r\n 1 \r\n 2.5 \r\n 0 \r\n-3 \r\n"
                                    "fdax\r\n 9 \r\n 9 \r\n 9 \r\n 9 \r\n"    // case differs
                                    "GONE\r\n 9 \r\n 9 \r\n 9 \r\n 9 \r\n"    // not offered
                                    "\"FDAX\", 4, 5, 6, 7\r\n"                 // comma form
                                    "FGBL\r\n 1 \r\n zwei \r\n 3 \r\n 4 \r\n" // garbage
                                    "FDAX\r\n 8 \r\n 8 \r\n 8 \r\n 8 \r\n"));
    f.in("@SI=FDAX;A\nFESX;B\nFGBL;C\nFDAX;D");
    const auto& p = f.s.WpvPresets;
    EXPECT_EQ(p[2].Wert2, 2.5f);
    EXPECT_EQ(p[2].Wert4, -3.0f);
    EXPECT_EQ(p[1].Wert1, 4.0f); // the first FDAX only, and the later record is never read
    EXPECT_EQ(p[1].Wert4, 7.0f);
    EXPECT_EQ(p[4].Wert1, 0.0f);
    EXPECT_EQ(p[3].Wert1, 0.0f);
    EXPECT_EQ(p[3].Ticker, "FGBL");
}

TEST(Presets, WriteReadBackAndNoTableKeepsTheFile)
{
    MarketFixture f;
    EXPECT_TRUE(savePresets(f.s));
    EXPECT_FALSE(exist(f.file("Korvi.wpv"))); // nothing to write yet

    f.in("@SI=FDAX;A\nA,B;C");
    f.s.WpvPresets[1].Wert1 = 1.5f;
    f.s.WpvPresets[1].Wert3 = 2;
    f.s.WpvPresets[2].Wert4 = -0.25f;
    ASSERT_TRUE(savePresets(f.s));
    QByteArray bytes;
    ASSERT_TRUE(readWholeFile(f.file("Korvi.wpv"), bytes));
    EXPECT_EQ(bytes, QByteArray("FDAX\r\n 1.5 \r\n 0 \r\n 2 \r\n 0 \r\n"
                                "\"A,B\"\r\n 0 \r\n 0 \r\n 0 \r\n-.25 \r\n"));

    f.in("@SI=A,B;C\nFDAX;A"); // reordered: presets follow the tickers
    EXPECT_EQ(f.s.WpvPresets[2].Wert1, 1.5f);
    EXPECT_EQ(f.s.WpvPresets[2].Wert3, 2.0f);
    EXPECT_EQ(f.s.WpvPresets[1].Wert4, -0.25f);
}
