#pragma once

#include <QtGlobal>

namespace korvi::server {

// How many orders one participant may place: a bucket that holds `burst` orders and refills
// at `perSecond`, so a trader's quick series (a bracket group, "transmit all") passes while
// a loop is slowed to the refill rate; and a cap per trading day, which also bounds the
// orders the server keeps for the participant until the daily close.
struct OrderLimitSettings {
    double perSecond = 20;
    int burst = 200;
    int perDay = 20'000;
};

inline constexpr OrderLimitSettings kDefaultOrderLimits{};

class OrderAllowance {
public:
    enum class Verdict { Pass, TooFast, DayFull };

    // One request to place an order at `nowMs` (a steady clock). It takes from the bucket
    // whether or not the order is then accepted, since every request costs the server work.
    Verdict request(const OrderLimitSettings& limits, qint32 tradingDay, qint64 nowMs);
    // An order was accepted (or restored) on `tradingDay`; orders of an earlier day no
    // longer count.
    void accepted(qint32 tradingDay);
    int acceptedToday(qint32 tradingDay) const { return tradingDay == m_day ? m_today : 0; }

private:
    double m_tokens = -1; // -1: full, set at the first request
    qint64 m_last = 0;
    qint32 m_day = 0;
    int m_today = 0;
};

} // namespace korvi::server
