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

#include <limits>

namespace korvi {

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
}

void OrderPlacing::PlaceOrder(int entry, int row, bool isExtern, const QByteArray& extRef)
{
    OrderBook& book = m_state.book;
    if (!book.LeerOrders.valid(entry) || m_state.users.size() < 2)
        return;
    try {
        UserRecord& user = m_state.user();
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
                return;
            }
        }

        r.UserKz = fixedText(user.UserKz, 6);
        r.OrderUserID = user.LastUserOrderID;
        if (r.BrRolle == 1) {
            for (int i = 1; i <= book.LeerOrders.count(); ++i) {
                OrderRecord& child = book.LeerOrders[i];
                if (child.BrRolle > 1 && child.BrParent == entry)
                    child.BrParentID = r.OrderUserID;
            }
        }
        if (isExtern) {
            r.OrderUserID = -r.OrderUserID;
            if (external.ExtS_NewOrderId)
                external.ExtS_NewOrderId(extRef, r.OrderUserID);
            if (external.WriteOrderConfirmation)
                external.WriteOrderConfirmation(extRef, r.OrderUserID);
        }
        const QByteArray text = placeOrderText(r);
        if (r.OrderUserID < 0 && external.list1)
            external.list1(fromWire(text));
        m_connection.Senddata(frame(text));

        book.ResetLeerOrder(entry);
        if (book.OGRowMap.valid(row))
            book.DeleteRow(row);
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:Placeorder ") + QString::fromLatin1(e.what()));
    }
}

void OrderPlacing::placeRow(int row)
{
    const int entry = m_state.book.OGRowMap[row].Item;
    PlaceOrder(entry, row, false, {});
    m_grid.cells.removeRow(row);
}

void OrderPlacing::Placeallorders(int mainEntry)
{
    OrderBook& book = m_state.book;
    m_grid.cells.beginUpdate();
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        if (book.OGRowMap[row].Art == EntryLine && book.OGRowMap[row].Item == mainEntry) {
            placeRow(row);
            break;
        }
    }
    // The main order went first, so its children carry its number.
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        const RowEntry& e = book.OGRowMap[row];
        if (e.Art == EntryLine && book.LeerOrders.valid(e.Item) && book.LeerOrders[e.Item].WPIndex != 0 &&
            book.LeerOrders[e.Item].BrParent == mainEntry)
            placeRow(row);
    }
    m_grid.cells.endUpdate();
}

void OrderPlacing::Cancelorder(int order)
{
    try {
        const OrderRecord& o = m_state.book.orders[order];
        m_connection.Senddata(frame(cancelOrderText(o)));
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:Cancelorder ") + QString::fromLatin1(e.what()));
    }
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
    if (book.DefaultWP == 0) {
        m_prompts.message(QStringLiteral("Bitte zuerst ein Wertpapier als DEFAULT kennzeichnen !"));
        return;
    }
    const int row = m_entry.instrumentRow(book.DefaultWP);
    if (row == 0)
        return;
    if (m_state.settings.safetyQuestion != 0 &&
        !m_prompts.yesNo(QStringLiteral("Order wirklich ausf\u00fchren ?\nDiese Sicherheitsabfrage kann unter "
                                        "'Sonstiges' deaktiviert werden!")))
        return;
    m_grid.cells.setCurrent(row, m_grid.gridColumn(InstrumentLineType, index == 0 ? C_Ask : C_Bid));
    m_entry.OGAktion();
    int line = row + 1;
    while (line < book.OGRowMap.count() && book.OGRowMap[line].Art == Trennzeile)
        ++line;
    if (!book.OGRowMap.valid(line) || book.OGRowMap[line].Art != EntryLine)
        return;
    m_grid.cells.setCurrent(line, m_grid.gridColumn(OrderLineType, O_TRANS));
    m_entry.OGAktion();
}

void OrderPlacing::transAlle()
{
    OrderBook& book = m_state.book;
    m_grid.cells.beginUpdate();
    for (int row = book.OGRowMap.count(); row >= 2; --row) {
        if (book.OGRowMap[row].Art == EntryLine)
            placeRow(row);
    }
    m_grid.cells.endUpdate();
}

void OrderPlacing::cancelAlle()
{
    OrderBook& book = m_state.book;
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
