#pragma once

#include "instrumentconfig.h"
#include "pricesimulator.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QTime>
#include <vector>

// Building the server's messages: pure functions from values to the exact text between
// the frame characters. Numbers follow the wire convention: prices and amounts in the
// leading-blank form, ids and quantities as plain digits.
namespace korvi::server::msg {

// Control lines and fixed messages of the login and the keep-alive.
inline constexpr QByteArrayView kIdentify = "!;ID";
inline constexpr QByteArrayView kAskUser = "!;USER";
inline constexpr QByteArrayView kHeartbeatLine = "!;HB";
inline constexpr QByteArrayView kKeepalive = "@=";
inline constexpr QByteArrayView kRequestVersion = "@RV";
// The answers to a failed login; the client reacts to these exact texts. "ß" is the
// single byte 0xDF.
inline constexpr QByteArrayView kWrongPassword = "@MSG=FALSCHES PA\xDFWORT";
inline constexpr QByteArrayView kBlocked = "@MSG=USER GESPERRT";

// One order as "@OO" and each record of "@SAO"/"@SOO" carry it: 21 fields.
struct OrderLine {
    qint32 orderUserId = 0;
    QByteArray orderId;       // the server's 8-character id
    QByteArray info12;
    QByteArray side;          // "BUY" or "SEL"
    qint32 quantity = 0;
    QByteArray type;          // "MKT", "LMT", "STP", "MOC"
    double limit1 = 0;
    double limit2 = 0;
    qint16 status = 0;
    qint32 filled = 0;
    qint32 remaining = 0;
    double averagePrice = 0;
    QByteArray orderTime;     // "HHMMSS"
    QByteArray statusTime;    // "HHMMSS"
    QByteArray info3;
    qint16 instrument = 0;    // 1-based instrument number
    qint16 bracketRole = 0;
    qint32 bracketParentId = 0;
    QByteArray bracketOrderId;
    quint8 bracketActive = 0;
    quint8 flag21 = 0;
};

// One fill as "@EX" and each record of "@SAE" carry it: 13 fields.
struct ExecutionLine {
    QByteArray tag;
    QByteArray orderId;
    QByteArray field3;
    qint16 instrument = 0;
    QByteArray field5;
    QByteArray executionId;
    QByteArray time;          // "HHMMSS"
    QByteArray action;        // "BUY" or "SEL"
    qint32 quantity = 0;
    double price = 0;
    double sum = 0;
    double commission = 0;
    double profit = 0;
};

// One open position of "@SUD": five fields.
struct PositionLine {
    qint32 quantity = 0;      // negative when short
    double margin = 0;
    double cost = 0;
    double value = 0;
    qint16 instrument = 0;
};

// The account figures of "@SUK".
struct AccountLine {
    QByteArray accountStart;  // "YYYYMMDD"
    QByteArray accountText;
    double accountFigure3 = 0;
    double baseValue = 0;
    double todayResult = 0;
    qint16 totalPlace = 0;    // 0 none, 101 beyond 100
    qint16 dayPlace = 0;
    double totalMargin = 0;
};

QByteArray codeTable(const std::vector<InstrumentSpec>& definitions);
QByteArray welcome(QByteArrayView name);
QByteArray userData(QByteArrayView shortId);
QByteArray level(int level);
QByteArray lastOrderId(qint32 id);
QByteArray instrumentLine(const InstrumentSpec& definition, const PriceState& quote);
QByteArray instruments(const std::vector<InstrumentSpec>& definitions, const std::vector<PriceState>& quotes);
QByteArray orderRecord(const OrderLine& order);
QByteArray allOrders(const std::vector<OrderLine>& orders);
QByteArray openOrders(const std::vector<OrderLine>& orders);
QByteArray executionRecord(const ExecutionLine& execution);
QByteArray allExecutions(const std::vector<ExecutionLine>& executions);
QByteArray account(const AccountLine& account);
QByteArray positions(double todayResult, double baseValue, const std::vector<PositionLine>& positions);
QByteArray places(qint16 totalPlace, qint16 dayPlace, double totalMargin);
// "@OO": one new or changed order.
QByteArray openOrder(const OrderLine& order);
// "@OS": client number; server id; status; status time; filled; remaining; average price;
// bracket id; bracket active; new limit (0 = unchanged).
struct StatusLine {
    qint32 orderUserId = 0;
    QByteArray orderId;
    qint16 status = 0;
    QByteArray statusTime;
    qint32 filled = 0;
    qint32 remaining = 0;
    double averagePrice = 0;
    QByteArray bracketOrderId;
    quint8 bracketActive = 0;
    double newLimit = 0;
};
QByteArray orderStatus(const StatusLine& status);
// "@EX": one fill.
QByteArray execution(const ExecutionLine& execution);
// "@PI": the two ranking texts.
QByteArray placeInfo(QByteArrayView total, QByteArrayView today);
// "@SYI": lines of system information.
QByteArray systemInfo(const std::vector<QByteArray>& lines);
// "@GV": winners and losers, at most ten fields.
QByteArray winnersLosers(const std::vector<QByteArray>& fields);
// "@SD": a document; the client writes `lines` into the file `fileName`, one per line.
QByteArray document(QByteArrayView fileName, const std::vector<QByteArray>& lines);
QByteArray message(QByteArrayView text);
QByteArray orderRejected(QByteArrayView reason);
QByteArray cancelRejected(QByteArrayView reason);
// The answer to "Time ?": a status line the client logs. Never "@TIMESET", which would
// set the participant's computer clock.
QByteArray serverTime(const QTime& time);

// The complete price message of one instrument ("@KU").
QByteArray fullPrice(int number, const PriceState& quote);
// The shortest message that carries the change from `before` to `after`: "~" when the
// last price moved, "^1" to "^5" for changes of bid and ask alone, the full form when
// `full` is asked for. Empty when nothing changed and `full` is not asked for. Bid and
// ask travel as distances from the last price, which the receiver already knows.
QByteArray priceChange(int number, const PriceState& before, const PriceState& after, bool full);

} // namespace korvi::server::msg
