#include "externalorders.h"

#include "fields.h"
#include "chat/messages.h"
#include "loglist.h"
#include "numbers.h"
#include "orders/orderentry.h"
#include "orders/ordergrid.h"
#include "orders/placing.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"
#include "wexprotocol.h"

#include <QTimer>

namespace korvi {

namespace {
// At most this many message boxes about missing instruments wait at a time.
constexpr int kMaxPendingBoxes = 5;
} // namespace

ExternalOrders::ExternalOrders(State& state, OrderGrid& grid, OrderEntry& entry, OrderPlacing& placing,
                               Prompts& prompts, Messages& messages, LogList& list1, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_entry(entry), m_placing(placing), m_prompts(prompts),
      m_messages(messages), m_list1(list1)
{
}

void ExternalOrders::refuse(int code, const QByteArray& text, const QByteArray& reference, bool order)
{
    m_list1.add(QStringLiteral("F:%1 @ER %2 %3 ").arg(order ? QStringLiteral("Ext_Placeorder") : QStringLiteral("Ext_CancelOrder"))
                    .arg(code).arg(fromWire(text)) + fromWire(reference));
    if (refused)
        refused(code, text, reference, order);
}

void ExternalOrders::noticeNotSent()
{
    const QString text = QStringLiteral("Externe Order nicht gesendet: keine Verbindung zum Server!");
    if (m_messages.messageLine() != text)
        m_messages.setMessageLine(text);
}

void ExternalOrders::announceMissing(const QByteArray& name, const QByteArray& reference)
{
    refuse(1, kInstrumentMissing, reference, true);
    const QString text = QStringLiteral("Das angeforderte Wertpapier ") + fromWire(name) +
                         QStringLiteral(" ist nicht verf\u00fcgbar!");
    if (m_pendingBoxes.size() >= kMaxPendingBoxes) {
        m_list1.add(QStringLiteral("F:Ext_Placeorder ") + text);
        return;
    }
    m_pendingBoxes << text;
    if (m_boxPosted)
        return;
    m_boxPosted = true;
    // The box is shown after the received data or the command file has been handled.
    QTimer::singleShot(0, this, [this] {
        while (!m_pendingBoxes.isEmpty()) {
            const QString next = m_pendingBoxes.first();
            m_prompts.message(next);
            m_pendingBoxes.removeFirst();
        }
        m_boxPosted = false;
    });
}

void ExternalOrders::Ext_Placeorder(QByteArrayView text)
{
    Fields f;
    f.split(text, 100, ';');
    OrderBook& book = m_state.book;

    const QByteArray name = f[1].toByteArray();
    const QByteArray reference = f[8].toByteArray();
    int wp = toInt32(readNumber(f[2])).value_or(0);
    if (wp == 0) {
        const QByteArray wanted = upperSingleByte(name.trimmed());
        for (int n = 1; n <= m_state.InstrumentCount && size_t(n) < m_state.Instruments.size(); ++n) {
            if (upperSingleByte(m_state.Instruments[size_t(n)].Lumticker.trimmed()) == wanted) {
                wp = n;
                break;
            }
        }
    }
    // A number outside the table names no instrument either.
    if (!m_state.instrument(wp)) {
        announceMissing(name, reference);
        return;
    }
    // An order that cannot go to the server now is refused now. It opens no entry line:
    // a line left behind would be sent by a later "TRANS Alle", long after its program was
    // told that it failed.
    if (!m_placing.canTrade()) {
        refuse(3, kNotConnected, reference, true);
        noticeNotSent();
        return;
    }
    const int instrumentRow = m_entry.instrumentRow(wp);
    if (instrumentRow == 0) {
        m_list1.add(QStringLiteral("F:Ext_Placeorder keine Zeile f\u00fcr Wertpapier ") + QString::number(wp));
        return;
    }
    const bool buy = f[3].trimmed() == "BUY";
    m_grid.cells.setCurrent(instrumentRow, m_grid.gridColumn(InstrumentLineType, buy ? C_Ask : C_Bid));
    const int row = m_entry.openEntryLine(instrumentRow, buy ? "BUY" : "SEL", [&f](OrderRecord& r) {
        r.Stck = toInt32(readNumber(f[5])).value_or(0);
        r.Typ = fixedText(f[4], 3);
        r.Limit1 = toSingle(readNumber(f[6])).value_or(0);
        r.Limit2 = toSingle(readNumber(f[7])).value_or(0);
    });
    // Nothing ran the event loop since the line was opened: its row is still `row`.
    if (row == 0 || !book.OGRowMap.valid(row) || book.OGRowMap[row].Art != EntryLine)
        return;
    const int entry = book.OGRowMap[row].Item;
    m_grid.cells.setCurrent(row, m_grid.gridColumn(OrderLineType, O_TRANS));
    m_placing.ExtOrderActive = true;
    m_placing.ExtOrderRef = reference;
    m_entry.OGAktion();
    m_placing.ExtOrderActive = false;
    m_placing.ExtOrderRef.clear();
    // Sending does not run the event loop either. A line that did not leave (the socket
    // refused the bytes) goes now, and its program is told.
    if (book.LeerOrders.valid(entry) && book.LeerOrders[entry].WPIndex != 0 && book.OGRowMap.valid(row) &&
        book.OGRowMap[row].Art == EntryLine && book.OGRowMap[row].Item == entry) {
        book.ResetLeerOrder(entry);
        book.DeleteRow(row);
        m_grid.cells.removeRow(row);
        refuse(3, kNotConnected, reference, true);
        noticeNotSent();
    } else if (m_placing.lastPlaced() == OrderPlacing::Placed::Refused) {
        refuse(6, kStopRefused, reference, true);
    }
}

void ExternalOrders::Ext_CancelOrder(qint32 orderUserId)
{
    OrderBook& book = m_state.book;
    const QByteArray id = QByteArray::number(orderUserId);
    const int o = book.SuchOrderUserID(orderUserId);
    if (!o) {
        refuse(4, kOrderUnknown, id, false);
        return;
    }
    const qint16 status = book.orders[o].Status;
    if (status != PreSubm && status != Submitted) {
        refuse(5, kOrderNotOpen, id, false);
        return;
    }
    if (!m_placing.canTrade()) {
        refuse(3, kNotConnected, id, false);
        noticeNotSent();
        return;
    }
    m_placing.CancelorderUser(orderUserId);
    // The order's row is redrawn with the next refresh, not the whole grid for every
    // request: an outside program may send thousands of cancels at once. The order
    // itself changes only when the server answers.
    m_grid.markOrder(o, false);
}

} // namespace korvi
