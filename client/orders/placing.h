#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>

namespace korvi {

// A market order in words for the safety question, e.g. "KAUF 1 FDAX MKT".
QString marketOrderText(bool buy, const QString& quantity, const QString& ticker);


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
    // told, and the line stays for a later try. An exit of a bracket group never goes on
    // its own: only after its main, with the main's number.
    bool PlaceOrder(int entry, int row, bool isExtern, const QByteArray& extRef);
    // Sends a bracket group whole: the main entry line `mainEntry` first, then its exits
    // with its number. A negative `mainEntry` names a main the server already has (the
    // negated order index); its exits carry that order's number already.
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

    // Sends an order message other than an order or a cancellation ("@BR1=") under the
    // same rule: only when the server can take orders, and told like an order when it
    // could not be sent (`notSent` is the text the user sees). Returns whether it left.
    bool sendOrderMessage(const QByteArray& text, const QString& notSent);

    // The texts the user is shown when there is no connection.
    static QString notSentText(bool cancel);

    // The way to the server, "Senddata" of the connection; tests replace it to make a
    // send fail after the checks.
    std::function<bool(const QByteArray& framed)> senddata;

    // Whether orders can go to the server now: connected and greeted.
    bool canTrade() const;
    // How the last entry line given to PlaceOrder ended: sent, refused by the stop check
    // (the line is gone), or kept (it could not be sent; the line is still there).
    enum class Placed { Sent, Refused, Kept };
    Placed lastPlaced() const { return m_lastPlaced; }

private:
    Placed place(int entry, int row, bool isExtern, const QByteArray& extRef);
    Placed placeRow(int row);
    // Placeallorders without its grid update; false when a line could not be sent.
    bool placeGroup(int mainEntry);
    // Frees the exits of main entry line `mainEntry` and removes their rows.
    void dropExits(int mainEntry);
    // Tells the user that an order (or a cancellation) did not leave: in the message line
    // at once, in a message box after the current handler has returned (never more than
    // one box waiting). `text`, when given, is logged as not sent.
    // An outside order gets the message line only: its program is answered, and however
    // many arrive the user sees one notice.
    void refuseOffline(const QString& message, const QByteArray& text, bool box = true);
    bool m_boxPending = false;
    Placed m_lastPlaced = Placed::Kept;

    State& m_state;
    OrderGrid& m_grid;
    OrderEntry& m_entry;
    Connection& m_connection;
    Messages& m_messages;
    Prompts& m_prompts;
    LogList& m_protocol;
};

} // namespace korvi
