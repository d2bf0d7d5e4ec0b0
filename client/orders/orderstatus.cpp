#include "orderstatus.h"
#include "dates.h"

#include "chat/messages.h"
#include "fieldnumbers.h"
#include "framing.h"
#include "loglist.h"
#include "ordergrid.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <limits>

namespace korvi {

namespace {

QByteArray framedForOutside(QByteArrayView word, QByteArrayView text)
{
    QByteArray out;
    out.reserve(word.size() + text.size() + 3);
    out += FrameStart;
    out += word;
    out += ';';
    out += text;
    out += FrameEnd;
    return out;
}

} // namespace

std::optional<OrderRecord> orderFromFields(const Fields& f, const QByteArray& userKz)
{
    OrderRecord r;
    const auto userId = int32Field(f[1]);
    const auto stck = int32Field(f[5]);
    const auto limit1 = singleField(f[7]);
    const auto limit2 = singleField(f[8]);
    const auto status = int16Field(f[9]);
    const auto filled = int32Field(f[10]);
    const auto rem = int32Field(f[11]);
    const auto preis = singleField(f[12]);
    const auto wp = int16Field(f[16]);
    const auto role = int16Field(f[17]);
    const auto parentId = int32Field(f[18]);
    const auto active = byteField(f[20]);
    const auto flag = byteField(f[21]);
    if (!userId || !stck || !limit1 || !limit2 || !status || !filled || !rem || !preis || !wp ||
        !role || !parentId || !active || !flag)
        return std::nullopt;
    r.OrderUserID = *userId;
    r.OrderID = fixedText(f[2], 8);
    r.Info12 = fixedText(f[3], 12);
    r.BS = fixedText(f[4], 4);
    r.Stck = *stck;
    r.Typ = fixedText(f[6], 3);
    r.Limit1 = *limit1;
    r.Limit2 = *limit2;
    r.Status = *status;
    r.Filled = *filled;
    r.Rem = *rem;
    r.Preis = *preis;
    r.OrderZeit = fixedText(f[13], 6);
    r.StZeit = fixedText(f[14], 6);
    r.Info3 = fixedText(f[15], 3);
    r.WPIndex = *wp;
    r.BrRolle = *role;
    r.BrParentID = *parentId;
    r.BrOrderID = fixedText(f[19], 8);
    r.BrAktiv = *active;
    r.Flag21 = *flag;
    r.UserKz = fixedText(userKz, 6);
    return r;
}

OrderStatusTracker::OrderStatusTracker(State& state, OrderGrid& grid, Messages& messages, LogList& outgoing,
                         LogList& protocol, Clock& clock, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_messages(messages), m_outgoing(outgoing),
      m_protocol(protocol), m_clock(clock)
{
}

void OrderStatusTracker::failed(const char* procedure, int error)
{
    m_protocol.add(QStringLiteral("F:") + QLatin1String(procedure) + QLatin1Char(' ') + QString::number(error));
}

void OrderStatusTracker::WS_OO(QByteArrayView body)
{
    m_fields.split(body, kMaxFields, ';');
    for (int i = 1; i <= m_fields.stored(); ++i)
        m_outgoing.add(fromWire(m_fields[i]));
    if (m_state.users.size() < 2)
        return failed("WS_OO", kErrOutOfRange);
    UserRecord& user = m_state.user();

    const std::optional<qint32> id = int32Field(m_fields[1]);
    const qint64 number = id ? qAbs(qint64(*id)) : 0;
    if (!id || number > std::numeric_limits<qint32>::max())
        return failed("WS_OO", kErrOverflow);
    if (number > user.LastUserOrderID)
        user.LastUserOrderID = static_cast<qint32>(number);

    const std::optional<OrderRecord> record = orderFromFields(m_fields, user.UserKz);
    if (!record)
        return failed("WS_OO", kErrOverflow);

    // The grid follows at the next refresh: a new order gets a row where a rebuild would
    // put it, a known one is redrawn in its row (or given one when it has none but should).
    OrderBook& book = m_state.book;
    const int index = book.SuchOrderID(record->OrderID);
    if (index == 0) {
        m_grid.markOrder(book.orders.append(*record), true);
    } else {
        book.orders.set(index, *record);
        m_grid.markOrder(index, true);
    }

    if (outsideConnected())
        wexSend(framedForOutside("@OI", m_fields[1].toByteArray() + ';' + m_fields[2].toByteArray()));
}

void OrderStatusTracker::WS_OS(QByteArrayView body)
{
    m_fields.split(body, kMaxFields, ';');
    const std::optional<qint32> id = int32Field(m_fields[1]);
    if (!id)
        return failed("WS_OS", kErrOverflow);
    OrderBook& book = m_state.book;
    const int index = book.SuchOrderUserID(*id);
    if (index == 0) {
        m_protocol.add(QStringLiteral("Keine Order für O.Status gef.:") + fromWire(body));
        return;
    }

    // Every number is read before anything is stored, so a bad field leaves the order as it was.
    const auto status = int16Field(m_fields[3]);
    const auto filled = int32Field(m_fields[5]);
    const auto rem = int32Field(m_fields[6]);
    const auto preis = singleField(m_fields[7]);
    const auto active = byteField(m_fields[9]);
    const auto limit1 = singleField(m_fields[10]);
    if (!status || !filled || !rem || !preis || !active || !limit1)
        return failed("WS_OS", kErrOverflow);

    const bool hasRow = m_grid.orderHasRow(index);
    OrderRecord& r = book.orders[index];
    r.Status = *status;
    r.StZeit = fixedText(m_fields[4], 6);
    r.Filled = *filled;
    r.Rem = *rem;
    r.Preis = *preis;
    r.BrOrderID = fixedText(m_fields[8], 8);
    r.BrAktiv = *active;
    if (*limit1 != 0)
        r.Limit1 = *limit1;

    // The row follows the status at the next refresh.
    if (hasRow) {
        m_grid.markOrder(index, false);
    } else {
        m_protocol.add(QStringLiteral("Keine Orderzeile für Order ") + QString::number(index) +
                       QStringLiteral(" gefunden"));
    }

    if (r.OrderUserID < 0 && externalStatus)
        externalStatus(index);
}

void OrderStatusTracker::WS_SAO(QByteArrayView body)
{
    const int pieces = m_records.split(body, kMaxRecords, '\n');
    const int count = m_records.stored();
    for (int i = 1; i <= count; ++i)
        m_outgoing.add(fromWire(m_records[i]));
    if (pieces > count)
        failed("WS_SAO", kErrOutOfRange);
    if (m_state.users.size() < 2)
        return failed("WS_SAO", kErrOutOfRange);

    // A record whose numbers do not fit is logged and left out; the others are kept.
    std::vector<OrderRecord> orders;
    orders.reserve(static_cast<size_t>(count));
    const QByteArray userKz = m_state.user().UserKz;
    for (int i = 1; i <= count; ++i) {
        m_fields.split(m_records[i], kMaxFields, ';');
        if (std::optional<OrderRecord> r = orderFromFields(m_fields, userKz))
            orders.push_back(std::move(*r));
        else
            failed("WS_SAO", kErrOverflow);
    }
    m_state.book.orders.replace(std::move(orders));
    m_grid.invalidate();
}

void OrderStatusTracker::WS_SOO(QByteArrayView body)
{
    const int count = qMin(m_records.split(body, kMaxRecords, '\n'), m_records.stored());
    for (int i = 1; i <= count; ++i)
        m_outgoing.add(fromWire(m_records[i]));
}

void OrderStatusTracker::WS_OR(QByteArrayView body)
{
    const QString text = fromWire(body);
    m_outgoing.add(QStringLiteral(">> Order Rejected") + text);
    m_messages.ShowMessage(clockText(m_clock.now().time()) +
                           QStringLiteral(" Order Rejected ") + text);
    if (outsideConnected())
        wexSend(framedForOutside("@OR", body));
}

void OrderStatusTracker::WS_CR(QByteArrayView body)
{
    const QString text = fromWire(body);
    m_outgoing.add(QStringLiteral(">> Cancel Rejected") + text);
    const QString shown = clockText(m_clock.now().time()) + QStringLiteral(" Cancel Rejected ") + text;
    // A cancel that came too late because the order has already ended ("CANCEL Alle" after
    // "GLATT" meets exits the server closed with their group) is no error for the user to
    // answer: the order's own status tells how it ended.
    if (cancelCameTooLate(body)) {
        m_messages.setMessageLine(shown);
        return;
    }
    m_messages.ShowMessage(shown);
}

bool OrderStatusTracker::cancelCameTooLate(QByteArrayView text)
{
    const QByteArray upper = upperSingleByte(text);
    return upper.contains("BEREITS GESTRICHEN") || upper.contains("BEREITS AUSGEF");
}

void OrderStatusTracker::WS_LI(QByteArrayView body)
{
    const std::optional<qint32> number = int32Field(body);
    if (!number || m_state.users.size() < 2)
        return failed("WS_LI", number ? kErrOutOfRange : kErrOverflow);
    m_state.user().LastUserOrderID = *number;
    m_outgoing.add(QStringLiteral("LI->") + fromWire(body));
}

} // namespace korvi
