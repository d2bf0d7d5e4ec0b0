#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
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
                   LogList& list1, QObject* parent = nullptr);

    // "Ext_Placeorder": `text` holds the fields after "@PO;": Lumticker; instrument number;
    // side; type; quantity; limit; stop; reference.
    void Ext_Placeorder(QByteArrayView text);
    // "Ext_CancelOrder": cancels the order with this user order id when it is pre-submitted
    // or submitted; other orders are left alone without an answer.
    void Ext_CancelOrder(qint32 orderUserId);

    // The socket interface's "@ER" for an instrument that is not there.
    std::function<void(int code, const QByteArray& text)> sendError;

private:
    void announceMissing(const QByteArray& name);

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    OrderPlacing& m_placing;
    Prompts& m_prompts;
    LogList& m_list1;
    // Message boxes wait until the handler that found the problem has returned; while one
    // is open or waiting, further ones are only logged.
    QStringList m_pendingBoxes;
    bool m_boxPosted = false;
};

} // namespace korvi
