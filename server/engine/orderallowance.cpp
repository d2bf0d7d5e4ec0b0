#include "orderallowance.h"

#include <algorithm>

namespace korvi::server {

OrderAllowance::Verdict OrderAllowance::request(const OrderLimitSettings& limits, qint32 tradingDay, qint64 nowMs)
{
    if (acceptedToday(tradingDay) >= limits.perDay)
        return Verdict::DayFull;
    const double capacity = std::max(1, limits.burst);
    if (m_tokens < 0) {
        m_tokens = capacity;
    } else if (nowMs > m_last) {
        m_tokens = std::min(capacity, m_tokens + static_cast<double>(nowMs - m_last) * limits.perSecond / 1000.0);
    }
    m_last = std::max(m_last, nowMs);
    if (m_tokens < 1)
        return Verdict::TooFast;
    m_tokens -= 1;
    return Verdict::Pass;
}

void OrderAllowance::accepted(qint32 tradingDay)
{
    if (tradingDay != m_day) {
        m_day = tradingDay;
        m_today = 0;
    }
    ++m_today;
}

} // namespace korvi::server
