#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>

namespace korvi {

class Connection;
class LogList;
class Messages;
class OrderEntry;
class OrderGrid;
class Prompts;
struct OrderRecord;
struct State;

// The "@PO=" text of an order, without the frame characters.
QByteArray placeOrderText(const OrderRecord& order);
// The "@CO=" text of a cancellation.
QByteArray cancelOrderText(const OrderRecord& order);

// Where orders of the external interfaces are reported; the external-interface parts
// fill these.
struct ExternalOrderHooks {
    // The socket interface learns the client number of its order `reference`.
    std::function<void(const QByteArray& reference, qint32 orderUserId)> ExtS_NewOrderId;
    // The file interface confirms the order it placed.
    std::function<void(const QByteArray& reference, qint32 orderUserId)> WriteOrderConfirmation;
    // A line for the external interface's protocol list "List1".
    std::function<void(const QString& line)> list1;
};

// Placing and cancelling orders: entry lines become "@PO=" messages, orders are cancelled
// with "@CO=", and the group buttons of the main window work on all lines at once.
class OrderPlacing : public QObject {
    Q_OBJECT
public:
    OrderPlacing(State& state, OrderGrid& grid, OrderEntry& entry, Connection& connection,
                 Messages& messages, Prompts& prompts, LogList& protocol, QObject* parent = nullptr);

    // Set by the external interfaces around their calls of the grid actions.
    bool ExtOrderActive = false;
    QByteArray ExtOrderRef;
    ExternalOrderHooks external;

    // Sends entry line `entry` (grid row `row`) and removes the line and its row-map entry;
    // the caller removes the grid row. Returns whether the line is gone (sent, or refused
    // by the stop check). Without a connection nothing is numbered or removed: the user is
    // told, and the line stays for a later try.
    bool PlaceOrder(int entry, int row, bool isExtern, const QByteArray& extRef);
    void Placeallorders(int mainEntry);
    // Returns whether the cancellation was sent.
    bool Cancelorder(int order);
    void CancelorderUser(qint32 orderUserId);
    void ResetAlleLeerOrders(int entry);

    // "BUY MARKET" (0) and "SELL MARKET" (1).
    void Command8_Click(int index);
    void transAlle();        // "TRANS Alle"
    void cancelAlle();       // "CANCEL Alle"
    void loescheTrans();     // "Lösche TRANS"

    // The texts the user is shown when there is no connection.
    static QString notSentText(bool cancel);

private:
    bool placeRow(int row);
    // Tells the user that an order (or a cancellation) did not leave: in the message line
    // at once, in a message box after the current handler has returned (never more than
    // one box waiting).
    void refuseOffline(bool cancel, const QByteArray& text);
    bool m_boxPending = false;

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    Connection& m_connection;
    Messages& m_messages;
    Prompts& m_prompts;
    LogList& m_protocol;
};

} // namespace korvi
