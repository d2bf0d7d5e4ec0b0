#pragma once

#include "trading.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// Reading the participants' order requests. Each reader checks the fields one by one and
// on the first bad one returns nothing and the German reason the participant is shown.
namespace korvi::server {

// "@PO=" short id; client number; instrument; side; type; quantity; limit 1; limit 2;
// bracket role; bracket parent.
struct PlaceRequest {
    QByteArray shortId;
    qint32 userOrderId = 0;
    int instrument = 0;        // 1-based as sent
    bool buy = true;
    OrderType type = OrderType::Market;
    qint32 quantity = 0;
    double limit1 = 0;
    double limit2 = 0;
    qint16 role = 0;
    qint32 parentUserId = 0;
};

// "@CO=" and "@BR1=": short id; client number; server id.
struct OrderReference {
    QByteArray shortId;
    qint32 userOrderId = 0;
    QByteArray orderId;        // trimmed; may be empty
};

// Largest quantity and absolute price an order may carry.
inline constexpr qint32 kMaxQuantity = 1'000'000'000;
inline constexpr double kMaxPrice = 1e9;

// Every number field must be a number as the protocol writes it: blanks around it, a sign,
// digits with at most one ".", an exponent ("1E+07"); "1,5", "nan" or "0x10" are refused
// with the field's name. An order number is never 0 and lies within -2147483647 to
// 2147483647, so its absolute value is an order number too.
std::optional<PlaceRequest> parsePlaceOrder(QByteArrayView body, int instrumentCount, QByteArray& reason);
// True when every price the order names is one the instrument can trade at: 0 (no price)
// or a normal number that does not round to 0 at the instrument's tick.
bool pricesTradable(const PlaceRequest& request, double tickSize, QByteArray& reason);
// True when `text` is a number in the protocol's form (see parsePlaceOrder).
bool isProtocolNumber(QByteArrayView text);
std::optional<OrderReference> parseOrderReference(QByteArrayView body, QByteArray& reason);

// The German reasons, as single-byte text.
namespace reason {
inline constexpr QByteArrayView Incomplete = "Order unvollst\xE4ndig";
inline constexpr QByteArrayView WrongParticipant = "Falsches Teilnehmerk\xFCrzel";
inline constexpr QByteArrayView BadOrderNumber = "Ung\xFCltige Order-Nummer";
inline constexpr QByteArrayView DuplicateOrderNumber = "Order-Nummer bereits vergeben";
inline constexpr QByteArrayView UnknownInstrument = "Unbekanntes Wertpapier";
inline constexpr QByteArrayView UnknownSide = "Unbekannte Richtung (BUY oder SEL)";
inline constexpr QByteArrayView UnknownType = "Unbekannter Ordertyp";
inline constexpr QByteArrayView QuantityBelowOne = "St\xFC""ckzahl unter 1";
inline constexpr QByteArrayView QuantityTooLarge = "St\xFC""ckzahl zu gro\xDF";
inline constexpr QByteArrayView QuantityNotWhole = "St\xFC""ckzahl keine ganze Zahl";
inline constexpr QByteArrayView BadLimit = "Limit ung\xFCltig";
inline constexpr QByteArrayView NotANumber = "keine Zahl"; // after the field's name
inline constexpr QByteArrayView NotTradable = "kein handelbarer Preis"; // after the field's name
inline constexpr QByteArrayView TooManyOrdersPerSecond = "Zu viele Orders pro Sekunde";
inline constexpr QByteArrayView TooManyOrdersToday = "Zu viele Orders heute";
inline constexpr QByteArrayView LimitMissing = "Limit fehlt";
inline constexpr QByteArrayView BadRole = "Ung\xFCltige Bracket-Rolle";
inline constexpr QByteArrayView ParentUnknown = "Bracket-Hauptorder unbekannt";
inline constexpr QByteArrayView ParentGone = "Bracket-Hauptorder nicht mehr offen";
inline constexpr QByteArrayView ParentMismatch = "Bracket-Order passt nicht zur Hauptorder";
inline constexpr QByteArrayView ExitTooLarge = "Bracket-Order gr\xF6\xDF""er als die Hauptorder";
inline constexpr QByteArrayView GroupClosed = "Bracket bereits glattgestellt";
inline constexpr QByteArrayView TooManyOpenOrders = "Zu viele offene Orders";
inline constexpr QByteArrayView MarginNotCovered = "Margin nicht gedeckt";
inline constexpr QByteArrayView OrderUnknown = "Order unbekannt";
inline constexpr QByteArrayView OrderFilled = "Order bereits ausgef\xFChrt";
inline constexpr QByteArrayView OrderCancelled = "Order bereits gestrichen";
} // namespace reason

} // namespace korvi::server
