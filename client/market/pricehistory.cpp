#include "pricehistory.h"

#include <new>
#include <type_traits>

namespace korvi {

static_assert(std::is_trivially_copyable_v<PriceSnapshot>);
static_assert(sizeof(PriceSnapshot) <= 32, "a history slot must stay within 32 bytes");

void PriceHistory::create(int rows)
{
    rows = qBound(0, rows, kMaxRows);
    m_slots.reset();
    if (rows > 0) {
        // calloc hands out zero pages without touching them: all-zero bytes are empty
        // snapshots, and untouched rows cost no resident memory.
        void* p = std::calloc(size_t(rows) * kSlots, sizeof(PriceSnapshot));
        if (!p)
            throw std::bad_alloc();
        m_slots.reset(static_cast<PriceSnapshot*>(p));
    }
    m_rows = rows;
    m_pos.assign(kMaxRows + 1, 0);
    m_created = true;
}

} // namespace korvi
