#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <memory>
#include <vector>

namespace korvi {

// One entry of the price history: 24 bytes.
struct PriceSnapshot {
    float Bid = 0;
    float Ask = 0;
    float Letzter = 0;
    qint32 Umsatz = 0;
    double Zeit = 0; // days since 30 December 1899, the fraction is the time of day
};

// The price history: per instrument number a ring of 3000 snapshots, slots counted from 1,
// and the slot of the newest snapshot (0 = none yet). Each row knows the instrument (its
// ticker) whose prices it holds, so that a later instrument list can move every row to its
// instrument's new number and add rows for instruments that are new. A row's slots are
// only allocated once something is written into it.
class PriceHistory {
public:
    static constexpr int kSlots = 3000;
    static constexpr int kMaxRows = 3000;

    PriceHistory() : m_rows(1) {}

    // Drops everything and makes `rows` empty rows without instruments (capped at kMaxRows).
    void create(int rows);
    int rows() const { return static_cast<int>(m_rows.size()) - 1; }
    bool hasRow(int n) const { return n >= 1 && n <= rows(); }

    // Matches the rows to a new instrument list (`tickers[n]` for instrument n, index 0
    // unused): a row follows its instrument to the instrument's new number, instruments new
    // to the history get empty rows, and rows of instruments no longer listed are dropped.
    // Returns the numbers that got a new, empty row.
    std::vector<int> follow(const std::vector<QByteArray>& tickers);
    // The instrument whose prices row n holds.
    const QByteArray& instrument(int n) const;

    // The newest slot of instrument n, 0 when it has none (or no row).
    int pos(int n) const { return hasRow(n) ? m_rows[n].pos : 0; }
    void setPos(int n, int slot) { m_rows[n].pos = static_cast<qint16>(slot); }
    // Slot s (1..3000) of instrument n; n must have a row. Reading a row that holds nothing
    // gives an empty snapshot; writing allocates the row's slots.
    const PriceSnapshot& at(int n, int s) const;
    PriceSnapshot& at(int n, int s);

    // The slots in order from the oldest to the newest, as the price files keep them.
    int slotFromOldest(int n, int j) const { return (pos(n) + kSlots + j) % kSlots + 1; }

private:
    struct Row {
        QByteArray instrument;
        qint16 pos = 0;
        std::unique_ptr<PriceSnapshot[]> snapshots;
    };
    std::vector<Row> m_rows; // row 0 unused
};

} // namespace korvi
