#pragma once

#include "instrumentconfig.h"

#include <QtGlobal>
#include <vector>

namespace korvi::server {

// The quote of one instrument as participants see it.
struct PriceState {
    double last = 0;
    double bid = 0;
    double ask = 0;
    qint32 bidSize = 0;
    qint32 askSize = 0;

    bool operator==(const PriceState&) const = default;
};

// A small, fast generator with a fixed algorithm (splitmix64), so a seed gives the same
// market on every platform and standard library.
class SeededRandom {
public:
    explicit SeededRandom(quint64 seed) : m_state(seed) {}
    quint64 next();
    // A whole number from 0 to n - 1.
    quint32 below(quint32 n);

private:
    quint64 m_state;
};

// Moves the quotes of all instruments one change at a time. The sequence of changes
// depends only on the seed and the instrument list, never on timing, so a game can be
// replayed. Prices stay on each instrument's tick grid, the bid stays below the ask and
// the last price between them.
class PriceSimulator {
public:
    // What one step changed. `full` asks for the complete price message now and then, so a
    // participant that missed something is set right again.
    struct Update {
        int index = 0;  // 0-based instrument index
        PriceState before;
        PriceState after;
        bool full = false;
    };

    PriceSimulator(const std::vector<InstrumentSpec>& definitions, quint64 seed);

    int count() const { return static_cast<int>(m_books.size()); }
    PriceState quote(int index) const;
    Update step();
    // Puts a quote in place at once (prices rounded to the tick grid); for tests.
    Update setQuote(int index, const PriceState& quote);

    // Every this many changes of an instrument, its change goes out in full.
    static constexpr int kFullEvery = 40;

private:
    // Prices in whole ticks; converted to prices only when someone asks.
    struct Book {
        double tickSize = 1;
        qint64 startTicks = 0;
        qint64 last = 0, bid = 0, ask = 0;
        qint32 bidSize = 0, askSize = 0;
        quint32 changes = 0;
    };

    PriceState stateOf(const Book& b) const;
    qint32 newSize(qint32 old);
    void trade(Book& b);
    void moveBid(Book& b);
    void moveAsk(Book& b);

    std::vector<Book> m_books;
    SeededRandom m_random;
};

} // namespace korvi::server
