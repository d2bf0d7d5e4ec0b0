#include "marketfixture.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <random>

using namespace korvi;
using namespace korvi::test;

namespace {

struct Prices {
    float last, bid;
    qint32 bidVol;
    float ask;
    qint32 askVol;
    bool operator==(const Prices&) const = default;
};

void PrintTo(const Prices& p, std::ostream* os)
{
    *os << p.last << " " << p.bid << "x" << p.bidVol << " / " << p.ask << "x" << p.askVol;
}

Prices prices(const InstrumentRecord& r) { return {r.Letzter, r.Bid, r.BidVol, r.Ask, r.AskVol}; }

} // namespace

// Instrument 1 starts at last 100, bid 99.5 x 10, ask 100.5 x 20.
TEST(PriceUpdates, WriteTableOfTheSevenForms)
{
    struct Case {
        const char* message;
        Prices expected;
    };
    const Case cases[] = {
        {"@KU=1;98;7;102;8;101", {101, 98, 7, 102, 8}},
        {"@KURSUPDATE=1;98;7;102;8;101", {101, 98, 7, 102, 8}},
        {"~1;110;0.25;500;0.75;800", {110, 109.75f, 500, 110.75f, 800}},
        {"^11;1;3;2;4", {100, 99, 3, 102, 4}},
        {"^21;1.5;9", {100, 99.5f, 10, 101.5f, 9}},
        {"^31;0.25", {100, 99.5f, 10, 100.25f, 20}},
        {"^41;77", {100, 99.5f, 10, 100.5f, 77}},
        {"^51;2;30", {100, 98, 30, 100.5f, 20}},
    };
    for (const Case& c : cases) {
        MarketFixture f;
        f.in(kThreeInstruments);
        f.in(c.message);
        EXPECT_EQ(prices(f.inst(1)), c.expected) << c.message;
        EXPECT_EQ(f.inst(1).Geaendert, 1) << c.message;
        EXPECT_EQ(f.inst(2).Geaendert, 0) << c.message;
        EXPECT_TRUE(f.s.PricesChanged) << c.message;
    }
}

TEST(PriceUpdates, ShortFormsNeedALastPriceAndTheSpecExample)
{
    MarketFixture f;
    f.in(kThreeInstruments);
    f.in("^33;0.5"); // instrument 3 has no last price yet
    f.in("^13;1;1;1;1");
    EXPECT_EQ(prices(f.inst(3)), (Prices{0, 0, 0, 0, 0}));
    EXPECT_FALSE(f.s.PricesChanged);

    f.in("~3;100.75;0.25;500;0.25;800");
    EXPECT_EQ(prices(f.inst(3)), (Prices{100.75f, 100.5f, 500, 101, 800}));
}

TEST(PriceUpdates, BadInstrumentNumbersChangeNothing)
{
    MarketFixture f;
    f.in("^31;0.5"); // before the first instrument list: no instrument to change
    EXPECT_TRUE(f.s.Instruments.empty());
    f.in(kThreeInstruments);
    f.s.PricesChanged = false;
    f.in("@KU=0;1;1;1;1;1");
    f.in("@KU=abc;1;1;1;1;1");
    f.in("@KU=99999999999;1;1;1;1;1"); // does not fit an integer
    EXPECT_FALSE(f.s.PricesChanged);

    for (const char* m : {"@KU=4;1;1;1;1;1", "@KU=-1;1;1;1;1;1", "@KU=40000;1;1;1;1;1",
                          "~-2;1;1;1;1;1", "^1 32768;1;1;1;1", "^40.4;5", "@KU"}) {
        f.in(m);
    }
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(f.inst(n).Geaendert, 0) << n;
    EXPECT_EQ(prices(f.inst(1)), (Prices{100, 99.5f, 10, 100.5f, 20}));
    EXPECT_TRUE(f.s.PricesChanged); // a number naming no instrument still raises it

    // "1.5" rounds to 2; missing fields read as 0, values that do not fit keep the old ones.
    f.in("@KU=1.5;1e40;1e12");
    EXPECT_EQ(prices(f.inst(2)), (Prices{0, 49, 5, 0, 0}));
}

TEST(PriceUpdates, HistoryKeepsChangesOnlyAndWrapsAfter3000)
{
    MarketFixture f;
    f.in(kThreeInstruments);
    const PriceHistory& h = f.s.priceHistory;
    f.in("@KU=1;99;1;101;1;100");
    f.in("@KU=1;99;1;101;1;100"); // the same again
    f.in("^41;5");                // ask size only
    f.in("@KU=1;99;2;101;3;100.5"); // sizes and last price only
    EXPECT_EQ(h.pos(1), 1);
    EXPECT_EQ(h.at(1, 1).Bid, 99.0f);
    EXPECT_EQ(h.at(1, 1).Ask, 101.0f);
    EXPECT_EQ(h.at(1, 1).Letzter, 100.0f);
    EXPECT_DOUBLE_EQ(h.at(1, 1).Zeit, 46364 + (9 * 3600 + 30 * 60 + 15) / 86400.0);

    f.clock.ticks += 500; // the stamp follows the tick count between clock readings
    f.in("^31;1");
    EXPECT_EQ(h.pos(1), 2);
    EXPECT_NEAR(h.at(1, 2).Zeit - h.at(1, 1).Zeit, 0.5 / 86400, 1e-9);

    for (int i = 0; i < 2999; ++i)
        f.in("@KU=1;" + QByteArray::number(1000 + i) + ";1;2000;1;1500");
    EXPECT_EQ(h.pos(1), 1); // slot 3001 is slot 1
    EXPECT_EQ(h.at(1, 1).Bid, 3998.0f);
    EXPECT_EQ(h.at(1, 3000).Bid, 3997.0f);
    EXPECT_EQ(h.slotFromOldest(1, 0), 2);
    EXPECT_EQ(h.pos(2), 0);
}

// Instrument lists of any length and order, and prices between them, seeded: after every
// step each listed instrument's history holds exactly the snapshots its own prices made
// since it was last listed, under its current number. A later, longer list loses nothing.
TEST(PriceUpdates, HistoryFollowsEveryInstrumentListAndDropsNoUpdate)
{
    MarketFixture f;
    std::mt19937 random(3);
    const QByteArrayList pool = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M"};
    std::map<QByteArray, std::vector<float>> model; // the bids each listed ticker recorded
    QByteArrayList listed;
    int price = 0;
    for (int step = 0; step < 60; ++step) {
        if (step % 6 == 0) {
            QByteArrayList next = pool;
            std::shuffle(next.begin(), next.end(), random);
            next = next.mid(0, step == 0 ? 2 : 1 + int(random() % pool.size()));
            for (auto it = model.begin(); it != model.end();)
                it = next.contains(it->first) ? std::next(it) : model.erase(it);
            listed = next;
            QByteArray list = "@SI=";
            for (const QByteArray& t : listed)
                list += t + ";" + t + ";EUR;1\n";
            f.in(list);
        }
        for (int k = 0; k < 5; ++k) {
            const int n = 1 + int(random() % listed.size());
            ++price;
            f.in("@KU=" + QByteArray::number(n) + ";" + QByteArray::number(price) + ";1;" +
                 QByteArray::number(price + 1) + ";1;" + QByteArray::number(price));
            model[listed[n - 1]].push_back(float(price));
        }
        const PriceHistory& h = f.s.priceHistory;
        ASSERT_EQ(h.rows(), listed.size());
        for (int n = 1; n <= listed.size(); ++n) {
            const std::vector<float>& want = model[listed[n - 1]];
            ASSERT_EQ(h.instrument(n), listed[n - 1]);
            ASSERT_EQ(h.pos(n), int(want.size())) << "step " << step << " " << listed[n - 1].constData();
            for (int s = 1; s <= h.pos(n); ++s)
                ASSERT_EQ(h.at(n, s).Bid, want[size_t(s - 1)]) << "step " << step;
        }
    }
}

TEST(PriceUpdates, RefreshClearsMarksAndRevaluesPositions)
{
    MarketFixture f;
    QList<int> redrawn;
    QObject::connect(&f.app, &ClientApp::pricesRefreshed, [&](const QList<int>& l) { redrawn = l; });
    std::vector<int> changed;
    EXPECT_FALSE(f.app.prices.refresh(changed)); // nothing has arrived yet

    f.in(kThreeInstruments);
    f.s.positions.assign(2, PositionRecord{});
    f.s.positions[1] = PositionRecord{1, -3, 0, 0, 0};
    f.s.PositionCount = 1;
    f.s.PositionIndex[1] = 1;
    f.s.PositionIndex[3] = 7; // a stale index must not be followed
    f.in("~1;102;1;1;1;1");
    f.in("^43;4");
    f.in("@KU=3;1;1;1;1;0");

    emit f.app.refreshTick(); // the windows' tick does not run the refresh itself
    EXPECT_TRUE(redrawn.isEmpty());
    ASSERT_TRUE(f.app.prices.refresh(changed));
    EXPECT_EQ(changed, std::vector<int>({1, 3}));
    EXPECT_EQ(f.s.positions[1].SumWert, -3 * 102 * 25.0f);
    EXPECT_EQ(f.inst(1).Geaendert, 0);
    EXPECT_TRUE(f.app.prices.refresh(changed));
    EXPECT_TRUE(changed.empty());
}
