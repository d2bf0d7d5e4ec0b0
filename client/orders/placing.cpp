#include "placing.h"

#include "chat/messages.h"
#include "connection/connection.h"
#include "framing.h"
#include "loglist.h"
#include "numbers.h"
#include "orderentry.h"
#include "ordergrid.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QSet>
#include <QTimer>
#include <limits>

namespace korvi {

QString marketOrderText(bool buy, const QString& quantity, const QString& ticker)
{
    return (buy ? QStringLiteral("KAUF ") : QStringLiteral("VERKAUF ")) + quantity + QLatin1Char(' ') + ticker +
           QStringLiteral(" MKT");
}


QByteArray placeOrderText(const OrderRecord& o)
{
    QByteArray t = "@PO=";
    t += o.UserKz.trimmed();
    t += ';' + QByteArray::number(o.OrderUserID);
    t += ';' + QByteArray::number(o.WPIndex);
    t += ';' + fixedText(o.BS.trimmed(), 3) + ' ';
    t += ';' + fixedText(o.Typ, 3);
    t += ';' + QByteArray::number(o.Stck);
    t += ';' + writeSingle(o.Limit1);
    t += ';' + writeSingle(o.Limit2);
    t += ';' + QByteArray::number(o.BrRolle);
    t += ';' + QByteArray::number(o.BrParentID);
    return t;
}

QByteArray cancelOrderText(const OrderRecord& o)
{
    return "@CO=" + o.UserKz.trimmed() + ';' + QByteArray::number(o.OrderUserID) + ';' + o.OrderID.trimmed();
}

OrderPlacing::OrderPlacing(State& state, OrderGrid& grid, OrderEntry& entry, Connection& connection,
                           Messages& messages, Prompts& prompts, LogList& protocol, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_entry(entry), m_connection(connection),
      m_messages(messages), m_prompts(prompts), m_protocol(protocol)
{
    senddata = [this](const QByteArray& framed) { return m_connection.Senddata(framed); };
}

QString OrderPlacing::notSentText(bool cancel)
{
    return cancel ? QStringLiteral("Streichung nicht gesendet: keine Verbindung zum Server!")
                  : QStringLiteral("Order nicht gesendet: keine Verbindung zum Server!");
}

bool OrderPlacing::canTrade() const { return m_connection.canTrade(); }

void OrderPlacing::refuseOffline(const QString& message, const QByteArray& text, bool box)
{
    if (!text.isEmpty())
        m_connection.logNotSent(text);
    m_messages.setMessageLine(message);
    if (!box || m_boxPending)
        return;
    // One box at a time: while it is open (its own event loop runs) further refusals only
    // change the message line, so boxes never stack up.
    m_boxPending = true;
    QTimer::singleShot(0, this, [this, message] {
        m_prompts.message(message);
        m_boxPending = false;
    });
}

bool OrderPlacing::sendOrderMessage(const QByteArray& text, const QString& notSent)
{
    if (!m_connection.canTrade()) {
        refuseOffline(notSent, text);
        return false;
    }
    if (!senddata(frame(text))) {
        refuseOffline(notSent, {});
        return false;
    }
    return true;
}

namespace {

// Whether exit line `exit` may go to the server now: after its main, with the main's
// number. An exit sent alone would be refused, or attach to whatever order that number
// names.
// Whether entry line `main` is a bracket main still waiting to be sent.
bool mainWaiting(const OrderBook& book, int main)
{
    return book.LeerOrders.valid(main) && book.LeerOrders[main].WPIndex != 0 && book.LeerOrders[main].BrRolle == 1;
}

bool exitMayGo(const OrderBook& book, const OrderRecord& exit)
{
    if (exit.BrParent > 0 && mainWaiting(book, exit.BrParent))
        return false;
    return exit.BrParentID != 0;
}

} // namespace

bool OrderPlacing::PlaceOrder(int entry, int row, bool isExtern, const QByteArray& extRef)
{
    m_lastPlaced = place(entry, row, isExtern, extRef);
    return m_lastPlaced != Placed::Kept;
}

OrderPlacing::Placed OrderPlacing::place(int entry, int row, bool isExtern, const QByteArray& extRef)
{
    OrderBook& book = m_state.book;
    if (!book.LeerOrders.valid(entry) || book.LeerOrders[entry].WPIndex == 0 || m_state.users.size() < 2)
        return Placed::Kept;
    if (book.LeerOrders[entry].BrRolle >= 2 && !exitMayGo(book, book.LeerOrders[entry])) {
        m_protocol.add(QStringLiteral("F:Placeorder Bracket-Ausstieg ohne gesendete Hauptorder zur\u00fcckgehalten"));
        return Placed::Kept;
    }
    if (!m_connection.canTrade()) {
        OrderRecord preview = book.LeerOrders[entry];
        preview.UserKz = m_state.user().UserKz;
        refuseOffline(notSentText(false), placeOrderText(preview), !isExtern);
        return Placed::Kept;
    }
    try {
        UserRecord& user = m_state.user();
        const qint32 previousId = user.LastUserOrderID;
        // The number is used up even when the order is refused below.
        if (user.LastUserOrderID < std::numeric_limits<qint32>::max())
            ++user.LastUserOrderID;
        OrderRecord& r = book.LeerOrders[entry];

        if (r.Typ == "STP" && (r.BrRolle == 0 || r.BrRolle == 1)) {
            const InstrumentRecord* ins = m_state.instrument(r.WPIndex);
            const float last = ins ? ins->Letzter : 0;
            const bool buyBelow = r.isBuy() && r.Limit1 < last;
            const bool sellAbove = !r.isBuy() && r.Limit1 > last;
            if (buyBelow || sellAbove) {
                book.ResetLeerOrder(entry);
                if (book.OGRowMap.valid(row))
                    book.DeleteRow(row);
                m_messages.ShowMessage(buyBelow ? QStringLiteral("Keine STP-Buy Order mit Limit unter Last-Kurs!")
                                                : QString::fromLatin1("Keine STP-Sell Order mit Limit \xfc" "ber Last-Kurs!"));
                return Placed::Refused;
            }
        }

        r.UserKz = fixedText(user.UserKz, 6);
        r.OrderUserID = user.LastUserOrderID;
        QList<int> children;
        if (r.BrRolle == 1) {
            for (int i = 1; i <= book.LeerOrders.count(); ++i) {
                OrderRecord& child = book.LeerOrders[i];
                if (child.BrRolle > 1 && child.BrParent == entry && child.WPIndex != 0) {
                    child.BrParentID = r.OrderUserID;
                    children << i;
                }
            }
        }
        if (isExtern)
            r.OrderUserID = -r.OrderUserID;
        const QByteArray text = placeOrderText(r);
        if (!senddata(frame(text))) {
            // The socket refused the bytes: the number goes back and the line stays, and so
            // do its exits, without the number of a main the server never heard of.
            if (user.LastUserOrderID == previousId + 1)
                user.LastUserOrderID = previousId;
            r.OrderUserID = 0;
            for (int child : children)
                book.LeerOrders[child].BrParentID = 0;
            refuseOffline(notSentText(false), {}, !isExtern);
            return Placed::Kept;
        }
        // The outside programs learn the number only of an order that really left.
        if (isExtern) {
            if (external.ExtS_NewOrderId)
                external.ExtS_NewOrderId(extRef, r.OrderUserID);
            if (external.WriteOrderConfirmation)
                external.WriteOrderConfirmation(extRef, r.OrderUserID);
        }
        if (r.OrderUserID < 0 && external.list1)
            external.list1(fromWire(text));

        book.ResetLeerOrder(entry);
        if (book.OGRowMap.valid(row))
            book.DeleteRow(row);
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:Placeorder ") + QString::fromLatin1(e.what()));
    }
    return Placed::Sent;
}

OrderPlacing::Placed OrderPlacing::placeRow(int row)
{
    const int entry = m_state.book.OGRowMap[row].Item;
    const Placed result = place(entry, row, false, {});
    if (result != Placed::Kept)
        m_grid.cells.removeRow(row);
    return result;
}

void OrderPlacing::dropExits(int mainEntry)
{
    OrderBook& book = m_state.book;
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        const RowEntry& e = book.OGRowMap[row];
        if (e.Art == EntryLine && book.LeerOrders.valid(e.Item) && book.LeerOrders[e.Item].BrParent == mainEntry &&
            book.LeerOrders[e.Item].BrRolle >= 2) {
            book.ResetLeerOrder(e.Item);
            book.DeleteRow(row);
            m_grid.cells.removeRow(row);
        }
    }
}

bool OrderPlacing::placeGroup(int mainEntry)
{
    OrderBook& book = m_state.book;
    if (mainWaiting(book, mainEntry)) {
        // The main goes first, so its exits carry its number. Exits of a main that could
        // not be sent stay with it; those of a main refused by the stop check go with it.
        const int mainRow = book.SuchRow(mainEntry, EntryLine);
        if (mainRow == 0)
            return true;
        const Placed main = placeRow(mainRow);
        if (main == Placed::Kept)
            return false;
        if (main == Placed::Refused) {
            dropExits(mainEntry);
            return true;
        }
    }
    // Exits left over from a main sent earlier (the connection broke half way) still carry
    // its number and go now.
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        if (row > book.OGRowMap.count())
            continue;
        const RowEntry& e = book.OGRowMap[row];
        if (e.Art != EntryLine || !book.LeerOrders.valid(e.Item))
            continue;
        const OrderRecord& exit = book.LeerOrders[e.Item];
        if (exit.WPIndex == 0 || exit.BrRolle < 2 || exit.BrParent != mainEntry || !exitMayGo(book, exit))
            continue;
        if (placeRow(row) == Placed::Kept)
            return false;
    }
    return true;
}

void OrderPlacing::Placeallorders(int mainEntry)
{
    m_grid.cells.beginUpdate();
    placeGroup(mainEntry);
    m_grid.cells.endUpdate();
}

bool OrderPlacing::Cancelorder(int order)
{
    if (!m_state.book.orders.valid(order))
        return false;
    const QByteArray text = cancelOrderText(m_state.book.orders[order]);
    if (!m_connection.canTrade()) {
        refuseOffline(notSentText(true), text);
        return false;
    }
    try {
        if (!senddata(frame(text))) {
            refuseOffline(notSentText(true), {});
            return false;
        }
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:Cancelorder ") + QString::fromLatin1(e.what()));
    }
    return true;
}

void OrderPlacing::CancelorderUser(qint32 orderUserId)
{
    if (const int o = m_state.book.SuchOrderUserID(orderUserId))
        Cancelorder(o);
}

void OrderPlacing::ResetAlleLeerOrders(int entry)
{
    OrderBook& book = m_state.book;
    if (!book.LeerOrders.valid(entry))
        return;
    const OrderRecord& r = book.LeerOrders[entry];
    int group = 0;
    if (r.BrRolle == 1)
        group = entry;
    else if (r.BrRolle >= 2)
        group = r.BrParent;
    else
        return;
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        const RowEntry& e = book.OGRowMap[row];
        if (e.Art != EntryLine || !book.LeerOrders.valid(e.Item))
            continue;
        if (e.Item == group || book.LeerOrders[e.Item].BrParent == group)
            book.ResetLeerOrder(e.Item);
    }
}

void OrderPlacing::Command8_Click(int index)
{
    OrderBook& book = m_state.book;
    const qint16 wp = book.DefaultWP;
    if (wp == 0) {
        m_prompts.message(QStringLiteral("Bitte zuerst ein Wertpapier als DEFAULT kennzeichnen !"));
        return;
    }
    const InstrumentRecord* ins = m_state.instrument(wp);
    if (!ins || m_entry.instrumentRow(wp) == 0)
        return;
    if (!m_connection.canTrade()) {
        refuseOffline(notSentText(false), {});
        return;
    }
    // The question lets received messages run, and they may rebuild the grid or replace
    // the instrument list: the instrument is held by number and ticker and its line is
    // looked up afterwards.
    const QByteArray ticker = ins->Ticker;
    // The question names the order it confirms, so that a wrong side, quantity or
    // instrument is seen before the fill.
    const QString order = marketOrderText(index == 0, m_entry.quantityText().trimmed(), fromWire(ticker.trimmed()));
    if (m_state.settings.safetyQuestion != 0 &&
        !m_prompts.yesNo(QStringLiteral("Order wirklich ausf\u00fchren ?\nDiese Sicherheitsabfrage kann unter "
                                        "'Sonstiges' deaktiviert werden!\n\n") +
                         order))
        return;
    ins = m_state.instrument(wp);
    if (!ins || ins->Ticker != ticker) {
        m_messages.setMessageLine(QString::fromLatin1("Order abgebrochen: ") + fromWire(ticker) +
                                  QString::fromLatin1(" ist nicht mehr in der Liste"));
        return;
    }
    if (!m_connection.canTrade()) {
        refuseOffline(notSentText(false), {});
        return;
    }
    const int row = m_entry.instrumentRow(wp);
    if (row == 0)
        return;
    m_grid.cells.setCurrent(row, m_grid.gridColumn(InstrumentLineType, index == 0 ? C_Ask : C_Bid));
    m_entry.OGAktion();
    const int line = m_entry.lastNewEntryRow();
    if (!book.OGRowMap.valid(line) || book.OGRowMap[line].Art != EntryLine || book.OGRowMap[line].WPIndex != wp)
        return;
    m_grid.cells.setCurrent(line, m_grid.gridColumn(OrderLineType, O_TRANS));
    m_entry.OGAktion();
}

void OrderPlacing::transAlle()
{
    OrderBook& book = m_state.book;
    if (!m_connection.canTrade()) {
        refuseOffline(notSentText(false), {});
        return;
    }
    // The lines are taken bottom-up as the grid shows them, but a bracket group goes out
    // whole at its first line, main first: its exits stand above or below the main.
    struct Unit {
        bool group;
        int key; // entry line, or the group's main (negative: a main the server has)
    };
    QList<Unit> units;
    QSet<int> groups;
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        const RowEntry& e = book.OGRowMap[row];
        if (e.Art != EntryLine || !book.LeerOrders.valid(e.Item) || book.LeerOrders[e.Item].WPIndex == 0)
            continue;
        const OrderRecord& r = book.LeerOrders[e.Item];
        if (r.BrRolle == 0) {
            units.append({false, e.Item});
            continue;
        }
        const int key = r.BrRolle == 1 ? e.Item : r.BrParent;
        if (!groups.contains(key)) {
            groups.insert(key);
            units.append({true, key});
        }
    }
    m_grid.cells.beginUpdate();
    // After a line that could not be sent the rest stays too: the connection is gone.
    for (const Unit& u : units) {
        if (u.group) {
            if (!placeGroup(u.key))
                break;
        } else if (const int row = book.SuchRow(u.key, EntryLine); row && placeRow(row) == Placed::Kept) {
            break;
        }
    }
    m_grid.cells.endUpdate();
}

void OrderPlacing::cancelAlle()
{
    OrderBook& book = m_state.book;
    if (!m_connection.canTrade()) {
        refuseOffline(notSentText(true), {});
        return;
    }
    for (int o = 1; o <= book.orders.count(); ++o) {
        const qint16 status = book.orders[o].Status;
        if (status == PreSubm || status == Submitted)
            Cancelorder(o);
    }
    m_grid.zeigOrderGrid(0, 0);
}

void OrderPlacing::loescheTrans()
{
    OrderBook& book = m_state.book;
    for (int row = 2; row <= book.OGRowMap.count(); ++row) {
        if (book.OGRowMap[row].Art == EntryLine)
            book.ResetLeerOrder(book.OGRowMap[row].Item);
    }
    m_grid.rebuild();
}

} // namespace korvi
