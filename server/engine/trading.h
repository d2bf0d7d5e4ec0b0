#pragma once

#include <QByteArray>
#include <QtGlobal>

// The trading records of the game: orders, fills and holdings as the engine keeps them
// and the store writes them.
namespace korvi::server {

enum class OrderType : quint8 { Market, Limit, Stop, MarketOnClose };

// The order states as the client knows them.
namespace status {
inline constexpr qint16 PendingSubmit = 1;
inline constexpr qint16 PendingCancel = 2;
inline constexpr qint16 PreSubmitted = 3; // bracket exit waiting for its main order
inline constexpr qint16 Submitted = 4;
inline constexpr qint16 Cancelled = 5;
inline constexpr qint16 Filled = 6;
} // namespace status

// Bracket roles of an order.
namespace role {
inline constexpr qint16 Plain = 0;
inline constexpr qint16 Main = 1;
inline constexpr qint16 TakeProfit = 2;
inline constexpr qint16 StopLoss = 3;
inline constexpr qint16 OnClose = 4;
} // namespace role

QByteArray typeText(OrderType type);
inline QByteArray sideText(bool buy) { return buy ? QByteArrayLiteral("BUY") : QByteArrayLiteral("SEL"); }

struct Order {
    qint64 seq = 0;            // unique for ever; the server's order id is made from it
    qint64 participant = 0;
    QByteArray orderId;        // 8 characters
    qint32 userOrderId = 0;    // the client's number, negative for external orders
    int instrument = 0;        // 0-based
    bool buy = true;
    OrderType type = OrderType::Market;
    qint32 quantity = 0;
    double limit1 = 0;
    double limit2 = 0;
    qint16 status = status::PendingSubmit;
    qint32 filled = 0;
    qint32 remaining = 0;
    double averagePrice = 0;
    QByteArray orderTime;      // "HHMMSS"
    QByteArray statusTime;     // "HHMMSS"
    qint16 role = role::Plain;
    qint32 parentUserId = 0;   // bracket exits: the main order's client number
    QByteArray bracketOrderId; // bracket exits: the main's server id; the main: its own
    bool active = true;        // false while a bracket exit waits for its main
    bool triggered = false;    // a stop order whose stop price was reached
    qint32 day = 0;            // trading day on which it was placed

    bool open() const { return status != status::Cancelled && status != status::Filled; }
    bool isExit() const { return role >= role::TakeProfit && role <= role::OnClose; }
};

struct Execution {
    qint64 seq = 0;
    qint64 participant = 0;
    QByteArray executionId;    // 8 characters
    QByteArray orderId;
    qint32 userOrderId = 0;
    int instrument = 0;        // 0-based
    bool buy = true;
    OrderType type = OrderType::Market;
    qint32 quantity = 0;
    double price = 0;
    double sum = 0;            // quantity x price x factor
    double commission = 0;
    double profit = 0;         // realised by this fill, before commission
    QByteArray time;           // "HHMMSS"
    qint32 day = 0;
};

// A holding in one instrument. `cost` is signed like the quantity: the summed price x
// factor of the pieces still held, so cost / quantity is the average entry per piece.
struct Position {
    qint32 quantity = 0;
    double cost = 0;
};

// What the daily close books for one participant and day; the statement reads it back.
struct DayBook {
    qint64 participant = 0;
    qint32 day = 0;
    double result = 0;
    double baseBefore = 0;
    double baseAfter = 0;
    double margin = 0;
    QByteArray positions;      // lines "TICKER quantity cost value", separated by "\n"
};

// Where a participant's account stands, as "@SUK" and "@SUP" tell it and the store keeps it.
struct AccountFigures {
    double baseValue = 0;
    double todayResult = 0;
    double totalMargin = 0;
    qint16 totalPlace = 0;  // 0 none, 101 beyond 100
    qint16 dayPlace = 0;
    qint32 lastOrderId = 0;
};

// Open orders one participant may have at once by default: enough for any trader's screen
// of working orders, and a bound on what one participant's greeting and lists grow to.
inline constexpr int kMaxOpenOrders = 500;

// 8-character ids: a letter and seven base-36 digits.
QByteArray makeId(char letter, qint64 seq);

} // namespace korvi::server
