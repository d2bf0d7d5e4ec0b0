#include "messages.h"
#include "pricesimulator.h"

#include <gtest/gtest.h>
#include <cmath>
#include <set>

using namespace korvi::server;

namespace {

std::vector<InstrumentSpec> definitions()
{
    return {
        {"FDAX", "A", "EUR", "DAX Future", 25, 32000, 18250, 0.5, 0},
        {"FGBL", "B", "EUR", "Bund", 1000, 3400, 131.2, 0.01, 0},
        {"6E", "C", "USD", "Euro FX", 125000, 2600, 1.085, 0.00005, 0},
        {"TINY", "D", "EUR", "Cheap", 1, 1, 1, 0.01, 0}, // 100 ticks: close to the floor
    };
}

bool onGrid(double price, double tick) { return std::fabs(price / tick - std::round(price / tick)) < 1e-6; }

TEST(PriceSimulatorTest, SameSeedSameMarketOtherSeedOtherMarket)
{
    PriceSimulator a(definitions(), 42), b(definitions(), 42), c(definitions(), 43);
    bool differs = false;
    for (int i = 0; i < 2000; ++i) {
        const auto ua = a.step();
        const auto ub = b.step();
        const auto uc = c.step();
        ASSERT_EQ(ua.index, ub.index);
        ASSERT_EQ(ua.after, ub.after);
        ASSERT_EQ(ua.full, ub.full);
        differs = differs || ua.index != uc.index || !(ua.after == uc.after);
    }
    EXPECT_TRUE(differs);
}

TEST(PriceSimulatorTest, QuotesStayOrderedOnTheGridAndAlwaysChange)
{
    const std::vector<InstrumentSpec> s = definitions();
    PriceSimulator sim(s, 7);
    std::vector<int> changes(s.size(), 0);
    std::set<QByteArray> forms;
    for (int i = 0; i < 200000; ++i) {
        const PriceSimulator::Update u = sim.step();
        const double tick = s[static_cast<size_t>(u.index)].tickSize;
        const PriceState& q = u.after;
        ASSERT_LT(q.bid, q.ask);
        ASSERT_LE(q.bid, q.last);
        ASSERT_LE(q.last, q.ask);
        ASSERT_GT(q.bid, 0);
        ASSERT_TRUE(onGrid(q.bid, tick) && onGrid(q.ask, tick) && onGrid(q.last, tick));
        ASSERT_TRUE(q.bidSize >= 1 && q.bidSize <= 250 && q.askSize >= 1 && q.askSize <= 250);
        ASSERT_FALSE(u.before == u.after) << "step " << i << " changed nothing";
        // Every instrument's first change and every 40th after it go out in full.
        EXPECT_EQ(u.full, changes[static_cast<size_t>(u.index)] % PriceSimulator::kFullEvery == 0);
        ++changes[static_cast<size_t>(u.index)];
        const QByteArray m = msg::priceChange(u.index + 1, u.before, u.after, false);
        forms.insert(m.startsWith('~') ? QByteArray("~") : m.first(2));
    }
    EXPECT_EQ(forms, (std::set<QByteArray>{"~", "^1", "^2", "^3", "^4", "^5"}));
    // The walk is pulled back: after many steps the prices are still near their start.
    for (int i = 0; i < sim.count(); ++i) {
        EXPECT_GT(sim.quote(i).last, s[static_cast<size_t>(i)].startPrice / 4);
        EXPECT_LT(sim.quote(i).last, s[static_cast<size_t>(i)].startPrice * 4);
    }
}

} // namespace
