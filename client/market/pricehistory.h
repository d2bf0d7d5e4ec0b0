#pragma once

#include <QtGlobal>
#include <cstdlib>
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
// and the slot of the newest snapshot (0 = none yet). Rows exist for the instruments of the
// first instrument list of the run; later, larger lists get no snapshots for the extra
// instruments. The slots are allocated zeroed by the system, so memory is only used by the
// rows that are written.
class PriceHistory {
public:
    static constexpr int kSlots = 3000;
    static constexpr int kMaxRows = 3000; // the room of the newest-slot table

    // Drops everything and makes `rows` empty rows (capped at kMaxRows).
    void create(int rows);
    bool created() const { return m_created; }
    int rows() const { return m_rows; }
    bool hasRow(int n) const { return n >= 1 && n <= m_rows; }

    // The newest slot of instrument n, 0 when it has none (or no row).
    int pos(int n) const { return n >= 1 && n <= kMaxRows && m_created ? m_pos[n] : 0; }
    void setPos(int n, int slot) { m_pos[n] = static_cast<qint16>(slot); }
    // Slot s (1..3000) of instrument n; n must have a row.
    const PriceSnapshot& at(int n, int s) const { return m_slots[index(n, s)]; }
    PriceSnapshot& at(int n, int s) { return m_slots[index(n, s)]; }

    // The slots in order from the oldest to the newest, as the price files keep them.
    int slotFromOldest(int n, int j) const { return (pos(n) + kSlots + j) % kSlots + 1; }

    // Bytes held by the slots of all rows.
    size_t slotBytes() const { return size_t(m_rows) * kSlots * sizeof(PriceSnapshot); }

private:
    size_t index(int n, int s) const { return size_t(n - 1) * kSlots + size_t(s - 1); }
    struct Free {
        void operator()(PriceSnapshot* p) const { std::free(p); }
    };
    std::unique_ptr<PriceSnapshot[], Free> m_slots;
    std::vector<qint16> m_pos;
    int m_rows = 0;
    bool m_created = false;
};

} // namespace korvi
