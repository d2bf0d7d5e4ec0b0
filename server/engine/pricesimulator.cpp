#include "pricesimulator.h"

#include <algorithm>
#include <cmath>

namespace korvi::server {

quint64 SeededRandom::next()
{
    quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

quint32 SeededRandom::below(quint32 n)
{
    // Multiply-and-shift keeps the result unbiased enough for a market game and costs no
    // division.
    return static_cast<quint32>((static_cast<unsigned __int128>(next()) * n) >> 64);
}

PriceSimulator::PriceSimulator(const std::vector<InstrumentSpec>& definitions, quint64 seed)
    : m_random(seed)
{
    m_books.reserve(definitions.size());
    for (const InstrumentSpec& s : definitions) {
        Book b;
        b.tickSize = s.tickSize;
        b.startTicks = std::llround(s.startPrice / s.tickSize);
        b.last = b.startTicks;
        b.bid = b.last - 1;
        b.ask = b.last + 1;
        b.bidSize = 10 + static_cast<qint32>(m_random.below(90));
        b.askSize = 10 + static_cast<qint32>(m_random.below(90));
        m_books.push_back(b);
    }
}

PriceState PriceSimulator::stateOf(const Book& b) const
{
    return PriceState{b.last * b.tickSize, b.bid * b.tickSize, b.ask * b.tickSize, b.bidSize, b.askSize};
}

PriceState PriceSimulator::quote(int index) const { return stateOf(m_books[static_cast<size_t>(index)]); }

qint32 PriceSimulator::newSize(qint32 old)
{
    // Quoted sizes between 1 and 250; always different from before, so the change is real.
    qint32 size = 1 + static_cast<qint32>(m_random.below(250));
    if (size == old)
        size = size == 250 ? 1 : size + 1;
    return size;
}

void PriceSimulator::trade(Book& b)
{
    // A random walk of one or two ticks that is pulled back once the price has wandered
    // far from where it started, so a long game never runs to zero or to infinity.
    qint64 step = m_random.below(4) == 0 ? 2 : 1;
    bool up = m_random.below(2) == 0;
    if (b.last < b.startTicks / 2)
        up = true;
    else if (b.last > b.startTicks * 2)
        up = false;
    b.last += up ? step : -step;
    if (b.last < 10)
        b.last = 10;
    // The book forms again around the trade: a spread of one to three ticks with the
    // trade at the bid, the ask or in between.
    static constexpr qint64 spreads[] = {1, 1, 1, 2, 2, 3};
    const qint64 spread = spreads[m_random.below(6)];
    const qint64 below = m_random.below(static_cast<quint32>(spread) + 1);
    b.bid = b.last - below;
    b.ask = b.bid + spread;
    b.bidSize = newSize(b.bidSize);
    b.askSize = newSize(b.askSize);
}

void PriceSimulator::moveBid(Book& b)
{
    // The bid moves one tick if it can (staying at or below the last price and below the
    // ask); when neither direction is open it keeps its price and only the size changes.
    const bool canUp = b.bid + 1 <= b.last && b.bid + 1 < b.ask;
    const bool canDown = b.bid - 1 >= 1;
    const bool up = m_random.below(2) == 0;
    if (up && canUp)
        ++b.bid;
    else if (canDown)
        --b.bid;
    else if (canUp)
        ++b.bid;
    b.bidSize = newSize(b.bidSize);
}

void PriceSimulator::moveAsk(Book& b)
{
    const bool canDown = b.ask - 1 >= b.last && b.ask - 1 > b.bid;
    if (m_random.below(2) == 0 && canDown)
        --b.ask;
    else
        ++b.ask; // moving up is always open
}

PriceSimulator::Update PriceSimulator::step()
{
    Update u;
    u.index = static_cast<int>(m_random.below(static_cast<quint32>(m_books.size())));
    Book& b = m_books[static_cast<size_t>(u.index)];
    u.before = stateOf(b);
    const quint32 kind = m_random.below(100);
    if (kind < 30) {
        trade(b);
    } else if (kind < 50) {
        moveBid(b);
    } else if (kind < 62) {
        moveBid(b);
        moveAsk(b);
        b.askSize = newSize(b.askSize);
    } else if (kind < 75) {
        moveAsk(b);
        b.askSize = newSize(b.askSize);
    } else if (kind < 87) {
        moveAsk(b);
    } else {
        b.askSize = newSize(b.askSize);
    }
    u.after = stateOf(b);
    u.full = b.changes++ % kFullEvery == 0;
    return u;
}

} // namespace korvi::server

namespace korvi::server {

PriceSimulator::Update PriceSimulator::setQuote(int index, const PriceState& quote)
{
    Update u;
    u.index = index;
    Book& b = m_books[static_cast<size_t>(index)];
    u.before = stateOf(b);
    const auto ticks = [&](double price) { return std::max<qint64>(1, std::llround(price / b.tickSize)); };
    b.last = ticks(quote.last);
    b.bid = ticks(quote.bid);
    b.ask = std::max(ticks(quote.ask), b.bid + 1);
    b.bidSize = std::max(1, quote.bidSize);
    b.askSize = std::max(1, quote.askSize);
    u.after = stateOf(b);
    u.full = true;
    return u;
}

} // namespace korvi::server
