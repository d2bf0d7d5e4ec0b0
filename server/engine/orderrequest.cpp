#include "orderrequest.h"

#include "fields.h"
#include "numbers.h"

#include <cmath>
#include <limits>
#include <tuple>

namespace korvi::server {

namespace {

// The names of the number fields in the German reasons.
constexpr QByteArrayView kOrderNumberField = "Order-Nummer";
constexpr QByteArrayView kInstrumentField = "Wertpapier";
constexpr QByteArrayView kQuantityField = "St\xFC""ckzahl";
constexpr QByteArrayView kLimit1Field = "Limit 1";
constexpr QByteArrayView kLimit2Field = "Limit 2";
constexpr QByteArrayView kRoleField = "Bracket-Rolle";
constexpr QByteArrayView kParentField = "Bracket-Hauptorder";

QByteArray fieldReason(QByteArrayView field, QByteArrayView what) { return field.toByteArray() + ' ' + what.toByteArray(); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A whole number field. Empty text counts as missing, a fraction as no whole number.
enum class WholeResult { Ok, Missing, NotANumber, NotWhole, OutOfRange };

WholeResult readWhole(QByteArrayView text, qint32& out)
{
    if (text.trimmed().isEmpty())
        return WholeResult::Missing;
    if (!isProtocolNumber(text))
        return WholeResult::NotANumber;
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

// A price field: empty is 0 (no price), as before.
enum class PriceResult { Ok, NotANumber, OutOfRange };

PriceResult readPrice(QByteArrayView text, double& out)
{
    if (!text.trimmed().isEmpty() && !isProtocolNumber(text))
        return PriceResult::NotANumber;
    const double value = readNumber(text);
    if (!std::isfinite(value) || std::fabs(value) > kMaxPrice)
        return PriceResult::OutOfRange;
    out = value;
    return PriceResult::Ok;
}

} // namespace

bool isProtocolNumber(QByteArrayView text)
{
    qsizetype i = 0;
    qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    if (i < n && (text[i] == '-' || text[i] == '+'))
        ++i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        if (isDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '-' || text[i] == '+'))
            ++i;
        qsizetype exponentDigits = 0;
        for (; i < n && isDigit(text[i]); ++i)
            ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == n;
}

bool pricesTradable(const PlaceRequest& request, double tickSize, QByteArray& reason)
{
    for (const auto& [field, price] : {std::pair{kLimit1Field, request.limit1}, std::pair{kLimit2Field, request.limit2}}) {
        if (price == 0)
            continue;
        // A limit of 0 or below on a bracket exit is a distance; it too must be a step
        // the instrument can move.
        if (!std::isnormal(price) || !(tickSize > 0) || std::round(std::fabs(price) / tickSize) == 0) {
            reason = fieldReason(field, reason::NotTradable);
            return false;
        }
    }
    return true;
}

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
    switch (readWhole(f[2], r.userOrderId)) {
    case WholeResult::Ok:
        break;
    case WholeResult::NotANumber:
        reason = fieldReason(kOrderNumberField, reason::NotANumber);
        return std::nullopt;
    default:
        reason = reason::BadOrderNumber.toByteArray();
        return std::nullopt;
    }
    // The order number's absolute value is an order number too ("@LI", the outside
    // interfaces' negative numbers), so the smallest 32-bit number is none.
    if (r.userOrderId == 0 || r.userOrderId == std::numeric_limits<qint32>::min()) {
        reason = reason::BadOrderNumber.toByteArray();
        return std::nullopt;
    }
    qint32 instrument = 0;
    const WholeResult instrumentRead = readWhole(f[3], instrument);
    if (instrumentRead == WholeResult::NotANumber) {
        reason = fieldReason(kInstrumentField, reason::NotANumber);
        return std::nullopt;
    }
    if (instrumentRead != WholeResult::Ok || instrument < 1 || instrument > instrumentCount) {
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
    case WholeResult::NotANumber:
        reason = fieldReason(kQuantityField, reason::NotANumber);
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
    for (const auto& [text, field, target] : {std::tuple{f[7], kLimit1Field, &r.limit1}, std::tuple{f[8], kLimit2Field, &r.limit2}}) {
        switch (readPrice(text, *target)) {
        case PriceResult::Ok:
            break;
        case PriceResult::NotANumber:
            reason = fieldReason(field, reason::NotANumber);
            return std::nullopt;
        case PriceResult::OutOfRange:
            reason = reason::BadLimit.toByteArray();
            return std::nullopt;
        }
    }
    qint32 roleNumber = 0;
    qint32 parent = 0;
    const WholeResult roleRead = readWhole(f[9], roleNumber);
    if (roleRead == WholeResult::NotANumber) {
        reason = fieldReason(kRoleField, reason::NotANumber);
        return std::nullopt;
    }
    if (roleRead != WholeResult::Ok || roleNumber < role::Plain || roleNumber > role::OnClose) {
        reason = reason::BadRole.toByteArray();
        return std::nullopt;
    }
    r.role = static_cast<qint16>(roleNumber);
    const WholeResult parentRead = readWhole(f[10], parent);
    if (parentRead == WholeResult::NotANumber) {
        reason = fieldReason(kParentField, reason::NotANumber);
        return std::nullopt;
    }
    if (parentRead != WholeResult::Ok) {
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
