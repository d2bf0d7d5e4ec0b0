#include "pricehistory.h"

#include <QHash>
#include <type_traits>

namespace korvi {

static_assert(std::is_trivially_copyable_v<PriceSnapshot>);
static_assert(sizeof(PriceSnapshot) <= 32, "a history slot must stay within 32 bytes");

void PriceHistory::create(int rows)
{
    m_rows.clear();
    m_rows.resize(size_t(qBound(0, rows, kMaxRows)) + 1);
}

std::vector<int> PriceHistory::follow(const std::vector<QByteArray>& tickers)
{
    QHash<QByteArray, int> old;
    for (int n = rows(); n >= 1; --n)
        old.insert(m_rows[n].instrument, n); // the first row of a ticker wins
    const int count = qBound(0, static_cast<int>(tickers.size()) - 1, kMaxRows);
    std::vector<Row> next(size_t(count) + 1);
    std::vector<int> fresh;
    for (int n = 1; n <= count; ++n) {
        const auto found = old.find(tickers[n]);
        if (found != old.end()) {
            next[n] = std::move(m_rows[*found]);
            old.erase(found); // a ticker listed twice gets one row with history
        } else {
            next[n].instrument = tickers[n];
            fresh.push_back(n);
        }
    }
    m_rows = std::move(next);
    return fresh;
}

const QByteArray& PriceHistory::instrument(int n) const
{
    static const QByteArray kNone;
    return hasRow(n) ? m_rows[n].instrument : kNone;
}

const PriceSnapshot& PriceHistory::at(int n, int s) const
{
    static const PriceSnapshot kEmpty{};
    const Row& row = m_rows[n];
    return row.snapshots ? row.snapshots[s - 1] : kEmpty;
}

PriceSnapshot& PriceHistory::at(int n, int s)
{
    Row& row = m_rows[n];
    if (!row.snapshots)
        row.snapshots = std::make_unique<PriceSnapshot[]>(kSlots);
    return row.snapshots[s - 1];
}

} // namespace korvi
