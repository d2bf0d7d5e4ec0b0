#pragma once

// What the parts of the trading engine share: the participant's account record and
// small formatting helpers. Only the engine's own source files include this.

#include "tradingengine.h"
#include "dates.h"
#include "fields.h"
#include "numbers.h"

#include <QDateTime>

namespace korvi::server::engine {


// The client keeps at most this many records of "@SAO" and "@SAE".
constexpr size_t kMaxRecords = 1000;
// Places beyond this are sent as one number meaning "beyond".
constexpr int kLastPlace = 100;

inline QByteArray plain(double v) { return writeDouble(v).trimmed(); }

inline QByteArray withOrder(QByteArrayView why, qint32 userOrderId)
{
    QByteArray out = why.toByteArray();
    if (userOrderId != 0)
        out += " (Order " + stri(userOrderId) + ")";
    return out;
}

inline QByteArray statusName(qint16 s)
{
    switch (s) {
    case status::PendingSubmit: return QByteArrayLiteral("PendSubm.");
    case status::PendingCancel: return QByteArrayLiteral("PendCancel");
    case status::PreSubmitted: return QByteArrayLiteral("PreSubm.");
    case status::Submitted: return QByteArrayLiteral("Submitted");
    case status::Cancelled: return QByteArrayLiteral("Cancelled");
    case status::Filled: return QByteArrayLiteral("Filled");
    }
    return QByteArrayLiteral("-");
}

inline QByteArray colonTime(const QByteArray& hhmmss) { return FormatZeit(hhmmss); }

// The wall clock, read from the time zone once a second only: the local-time conversion
// looks at the zone file on every call, which would cost more than matching an order.
// The result carries the local date and time in a zone-free form; the engine uses its
// date and time of day alone.
inline QDateTime wallClock()
{
    static qint64 second = -1;
    static QDateTime cached;
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (ms / 1000 != second) {
        second = ms / 1000;
        const QDateTime local = QDateTime::currentDateTime();
        cached = QDateTime(local.date(), local.time(), Qt::UTC);
    }
    return cached;
}

} // namespace korvi::server::engine

namespace korvi::server {

using namespace engine;

struct TradingEngine::Account {
    Participant info;
    double realisedToday = 0;
    double commissionToday = 0;
    std::vector<Position> positions;
    std::vector<std::unique_ptr<Order>> orders; // of the trading day, and open ones
    QHash<qint32, Order*> byUserId;
    QHash<QByteArray, Order*> byOrderId;
    std::vector<Order*> live;                   // the open ones, finished ones dropped now and then
    QHash<QByteArray, std::vector<Order*>> exits; // by the main's id: every exit of the day, finished ones too
    std::vector<Execution> executions;          // of the trading day
    bool traded = false;                        // any fill ever: ranked in the total
    bool tradedToday = false;
    double sentResult = 0;                      // today's result in the last "@SUD"
    OrderAllowance allowance;                   // order rate and today's orders
};

} // namespace korvi::server
