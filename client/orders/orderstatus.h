#pragma once

#include "fields.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <functional>
#include <optional>

namespace korvi {

class Clock;
class LogList;
class Messages;
class OrderGrid;
struct OrderRecord;
struct State;

// The server's reports on the participant's orders: the whole list, single new or changed
// orders, status changes, refusals and the last order number. The server is the only
// authority; the client stores whatever arrives and keeps the order grid in step.
class OrderStatusTracker : public QObject {
    Q_OBJECT
public:
    OrderStatusTracker(State& state, OrderGrid& grid, Messages& messages, LogList& outgoing,
                LogList& protocol, Clock& clock, QObject* parent = nullptr);

    void WS_OO(QByteArrayView body);
    void WS_OS(QByteArrayView body);
    void WS_SAO(QByteArrayView body);
    void WS_SOO(QByteArrayView body);
    void WS_OR(QByteArrayView body);
    void WS_CR(QByteArrayView body);
    // Whether a refused cancel only came after the order had ended (filled or cancelled):
    // then it is told in the message line, without a box.
    static bool cancelCameTooLate(QByteArrayView text);
    void WS_LI(QByteArrayView body);

    // The external order interface fills these. While an outside program is connected it is
    // told the server id of each order ("@OI") and each refusal ("@OR"); the status of an
    // order it placed (negative OrderUserID) is reported through `externalStatus`.
    std::function<bool()> wexConnected;
    std::function<void(const QByteArray& framed)> wexSend;
    std::function<void(int orderIndex)> externalStatus;

private:
    bool outsideConnected() const { return wexConnected && wexSend && wexConnected(); }
    void failed(const char* procedure, int error);

    State& m_state;
    OrderGrid& m_grid;
    Messages& m_messages;
    LogList& m_outgoing;
    LogList& m_protocol;
    Clock& m_clock;
    Fields m_records;
    Fields m_fields;
};

// An order from the fields of an order record message (as "@OO" and each record of "@SAO"
// carry it), with the participant's short id. No result when a number does not fit its field.
std::optional<OrderRecord> orderFromFields(const Fields& fields, const QByteArray& userKz);

// Most records in one bulk message and most fields in one record.
inline constexpr int kMaxRecords = 1000;
inline constexpr int kMaxFields = 100;

// Error numbers of the "F:" protocol lines.
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrOutOfRange = 9;

} // namespace korvi
