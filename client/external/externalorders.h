#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
class Messages;
class OrderEntry;
class OrderGrid;
class OrderPlacing;
class Prompts;
struct State;

// Orders asked for from outside, by the socket interface and by command files. An order
// goes through the order grid as a user's clicks would: a new entry line is opened on the
// instrument's line, filled in, and sent with its "TRANSMIT" cell while the placing marks
// it as external.
class ExternalOrders : public QObject {
    Q_OBJECT
public:
    ExternalOrders(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing, Prompts& prompts,
                   Messages& messages, LogList& list1, QObject* parent = nullptr);

    // "Ext_Placeorder": `text` holds the fields after "@PO;": Lumticker; instrument number;
    // side; type; quantity; limit; stop; reference. An order that cannot be sent now is
    // refused at once and leaves nothing behind: no entry line waits to be sent later.
    void Ext_Placeorder(QByteArrayView text);
    // "Ext_CancelOrder": cancels the order with this user order id when it is pre-submitted
    // or submitted. An unknown order, one that cannot be cancelled and a cancel that cannot
    // be sent are refused at once.
    void Ext_CancelOrder(qint32 orderUserId);

    // An order ("@PO", `order` true) or a cancellation that was not sent: the error code and
    // text of "@ER", and the outside program's reference (the order number for a cancel).
    std::function<void(int code, const QByteArray& text, const QByteArray& reference, bool order)> refused;

private:
    void announceMissing(const QByteArray& name, const QByteArray& reference);
    void refuse(int code, const QByteArray& text, const QByteArray& reference, bool order);
    // The message line tells the user once per burst; the box would repeat per order.
    void noticeNotSent();

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    OrderPlacing& m_placing;
    Prompts& m_prompts;
    Messages& m_messages;
    LogList& m_list1;
    // Message boxes wait until the handler that found the problem has returned; while one
    // is open or waiting, further ones are only logged.
    QStringList m_pendingBoxes;
    bool m_boxPosted = false;
};

} // namespace korvi
