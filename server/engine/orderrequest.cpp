#include "orderrequest.h"

#include "fields.h"
#include "numbers.h"

#include <cmath>

namespace korvi::server {

namespace {

// A whole number field. Empty text counts as missing, a fraction as no whole number.
enum class WholeResult { Ok, Missing, NotWhole, OutOfRange };

WholeResult readWhole(QByteArrayView text, qint32& out)
{
    if (text.trimmed().isEmpty())
        return WholeResult::Missing;
    const double value = readNumber(text);
    if (!std::isfinite(value))
        return WholeResult::OutOfRange;
    if (value != std::floor(value))
        return WholeResult::NotWhole;
    const std::optional<qint32> whole = toInt32(value);
    if (!whole)
        return WholeResult::OutOfRange;
    out = *whole;
    return WholeResult::Ok;
}

bool readPrice(QByteArrayView text, double& out)
{
    const double value = readNumber(text);
    if (!std::isfinite(value) || std::fabs(value) > kMaxPrice)
        return false;
    out = value;
    return true;
}

} // namespace

QByteArray typeText(OrderType type)
{
    switch (type) {
    case OrderType::Market: return QByteArrayLiteral("MKT");
    case OrderType::Limit: return QByteArrayLiteral("LMT");
    case OrderType::Stop: return QByteArrayLiteral("STP");
    case OrderType::MarketOnClose: return QByteArrayLiteral("MOC");
    }
    return {};
}

QByteArray makeId(char letter, qint64 seq)
{
    QByteArray digits = QByteArray::number(seq, 36).toUpper();
    return letter + digits.rightJustified(7, '0').right(7);
}

std::optional<PlaceRequest> parsePlaceOrder(QByteArrayView body, int instrumentCount, QByteArray& reason)
{
    Fields f;
    if (f.split(body, 20, ';') < 10) {
        reason = reason::Incomplete.toByteArray();
        return std::nullopt;
    }
    PlaceRequest r;
    r.shortId = f[1].trimmed().toByteArray();
    if (readWhole(f[2], r.userOrderId) != WholeResult::Ok || r.userOrderId == 0) {
        reason = reason::BadOrderNumber.toByteArray();
        return std::nullopt;
    }
    qint32 instrument = 0;
    if (readWhole(f[3], instrument) != WholeResult::Ok || instrument < 1 || instrument > instrumentCount) {
        reason = reason::UnknownInstrument.toByteArray();
        return std::nullopt;
    }
    r.instrument = instrument;
    const QByteArrayView side = f[4].trimmed();
    if (side == "BUY")
        r.buy = true;
    else if (side == "SEL")
        r.buy = false;
    else {
        reason = reason::UnknownSide.toByteArray();
        return std::nullopt;
    }
    const QByteArrayView type = f[5].trimmed();
    if (type == "MKT")
        r.type = OrderType::Market;
    else if (type == "LMT")
        r.type = OrderType::Limit;
    else if (type == "STP")
        r.type = OrderType::Stop;
    else if (type == "MOC")
        r.type = OrderType::MarketOnClose;
    else {
        reason = reason::UnknownType.toByteArray();
        return std::nullopt;
    }
    switch (readWhole(f[6], r.quantity)) {
    case WholeResult::Ok:
        break;
    case WholeResult::Missing:
        reason = reason::Incomplete.toByteArray();
        return std::nullopt;
    case WholeResult::NotWhole:
        reason = reason::QuantityNotWhole.toByteArray();
        return std::nullopt;
    case WholeResult::OutOfRange:
        reason = (readNumber(f[6]) < 0 ? reason::QuantityBelowOne : reason::QuantityTooLarge).toByteArray();
        return std::nullopt;
    }
    if (r.quantity < 1) {
        reason = reason::QuantityBelowOne.toByteArray();
        return std::nullopt;
    }
    if (r.quantity > kMaxQuantity) {
        reason = reason::QuantityTooLarge.toByteArray();
        return std::nullopt;
    }
    if (!readPrice(f[7], r.limit1) || !readPrice(f[8], r.limit2)) {
        reason = reason::BadLimit.toByteArray();
        return std::nullopt;
    }
    qint32 roleNumber = 0;
    qint32 parent = 0;
    if (readWhole(f[9], roleNumber) != WholeResult::Ok || roleNumber < role::Plain || roleNumber > role::OnClose) {
        reason = reason::BadRole.toByteArray();
        return std::nullopt;
    }
    r.role = static_cast<qint16>(roleNumber);
    if (readWhole(f[10], parent) != WholeResult::Ok) {
        reason = reason::BadRole.toByteArray();
        return std::nullopt;
    }
    r.parentUserId = parent;
    if (r.role >= role::TakeProfit && parent == 0) {
        reason = reason::ParentUnknown.toByteArray();
        return std::nullopt;
    }
    // A limit or stop of 0 or below on a bracket exit is a distance from the main's fill
    // price; every other limit and stop order needs a real price.
    const bool needsPrice = r.type == OrderType::Limit || r.type == OrderType::Stop;
    if (needsPrice && r.role < role::TakeProfit && !(r.limit1 > 0)) {
        reason = reason::LimitMissing.toByteArray();
        return std::nullopt;
    }
    return r;
}

std::optional<OrderReference> parseOrderReference(QByteArrayView body, QByteArray& reason)
{
    Fields f;
    if (f.split(body, 10, ';') < 2) {
        reason = reason::Incomplete.toByteArray();
        return std::nullopt;
    }
    OrderReference r;
    r.shortId = f[1].trimmed().toByteArray();
    r.orderId = f[3].trimmed().toByteArray();
    if (readWhole(f[2], r.userOrderId) != WholeResult::Ok && r.orderId.isEmpty()) {
        reason = reason::OrderUnknown.toByteArray();
        return std::nullopt;
    }
    return r;
}

} // namespace korvi::server
