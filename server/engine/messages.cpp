#include "messages.h"

#include "numbers.h"

namespace korvi::server::msg {

namespace {

// Appends fields separated by ";".
class Record {
public:
    explicit Record(QByteArrayView head) { m_out.append(head); }
    Record& text(QByteArrayView t) { sep(); m_out.append(t); return *this; }
    Record& whole(qint64 v) { sep(); m_out.append(stri(v)); return *this; }
    Record& price(double v) { sep(); m_out.append(writeSingle(static_cast<float>(v))); return *this; }
    Record& amount(double v) { sep(); m_out.append(writeDouble(v)); return *this; }
    QByteArray take() { return std::move(m_out); }

private:
    void sep()
    {
        if (m_any)
            m_out.append(';');
        m_any = true;
    }
    QByteArray m_out;
    bool m_any = false;
};

template <typename T, typename F>
QByteArray joinLines(QByteArrayView head, const std::vector<T>& items, F line)
{
    QByteArray out(head.data(), head.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out.append('\n');
        out.append(line(items[i]));
    }
    return out;
}

} // namespace

QByteArray codeTable(const std::vector<InstrumentSpec>& definitions)
{
    // The receiver skips the two characters after "!;T;"; they carry the table's version.
    QByteArray out = "!;T;01";
    for (size_t i = 0; i < definitions.size(); ++i) {
        if (i > 0)
            out.append(';');
        out.append(definitions[i].code);
    }
    return out;
}

QByteArray welcome(QByteArrayView name) { return "@WELCOME=Willkommen " + name.toByteArray(); }
QByteArray userData(QByteArrayView shortId) { return "@UD=" + shortId.toByteArray(); }
QByteArray level(int level) { return "@SV=" + stri(level); }
QByteArray lastOrderId(qint32 id) { return "@LI=" + stri(id); }

QByteArray instrumentLine(const InstrumentSpec& definition, const PriceState& quote)
{
    return Record({})
        .text(definition.ticker)
        .text(definition.code)
        .text(definition.currency)
        .price(quote.last)
        .price(quote.bid)
        .whole(quote.bidSize)
        .price(quote.ask)
        .whole(quote.askSize)
        .text(definition.name)
        .amount(definition.factor)
        .amount(definition.margin)    // field 11: margin per contract
        .price(definition.tickSize)   // field 12: tick size
        .take();
}

QByteArray instruments(const std::vector<InstrumentSpec>& definitions, const std::vector<PriceState>& quotes)
{
    QByteArray out = "@SI=";
    for (size_t i = 0; i < definitions.size() && i < quotes.size(); ++i) {
        if (i > 0)
            out.append('\n');
        out.append(instrumentLine(definitions[i], quotes[i]));
    }
    return out;
}

QByteArray orderRecord(const OrderLine& o)
{
    return Record({})
        .whole(o.orderUserId)
        .text(o.orderId)
        .text(o.info12)
        .text(o.side)
        .whole(o.quantity)
        .text(o.type)
        .price(o.limit1)
        .price(o.limit2)
        .whole(o.status)
        .whole(o.filled)
        .whole(o.remaining)
        .price(o.averagePrice)
        .text(o.orderTime)
        .text(o.statusTime)
        .text(o.info3)
        .whole(o.instrument)
        .whole(o.bracketRole)
        .whole(o.bracketParentId)
        .text(o.bracketOrderId)
        .whole(o.bracketActive)
        .whole(o.flag21)
        .take();
}

QByteArray allOrders(const std::vector<OrderLine>& orders) { return joinLines("@SAO=", orders, orderRecord); }
QByteArray openOrders(const std::vector<OrderLine>& orders) { return joinLines("@SOO=", orders, orderRecord); }

QByteArray executionRecord(const ExecutionLine& e)
{
    return Record({})
        .text(e.tag)
        .text(e.orderId)
        .text(e.field3)
        .whole(e.instrument)
        .text(e.field5)
        .text(e.executionId)
        .text(e.time)
        .text(e.action)
        .whole(e.quantity)
        .price(e.price)
        .amount(e.sum)
        .amount(e.commission)
        .amount(e.profit)
        .take();
}

QByteArray allExecutions(const std::vector<ExecutionLine>& executions)
{
    return joinLines("@SAE=", executions, executionRecord);
}

QByteArray account(const AccountLine& a)
{
    return Record("@SUK=")
        .text(a.accountStart)
        .text(a.accountText)
        .amount(a.accountFigure3)
        .amount(a.baseValue)
        .amount(a.todayResult)
        .whole(a.totalPlace)
        .whole(a.dayPlace)
        .amount(a.totalMargin)
        .take();
}

QByteArray positions(double todayResult, double baseValue, const std::vector<PositionLine>& positions)
{
    Record r("@SUD=");
    r.amount(todayResult).amount(baseValue);
    for (const PositionLine& p : positions)
        r.whole(p.quantity).amount(p.margin).amount(p.cost).amount(p.value).whole(p.instrument);
    return r.take();
}

QByteArray places(qint16 totalPlace, qint16 dayPlace, double totalMargin)
{
    return Record("@SUP=").whole(totalPlace).whole(dayPlace).amount(totalMargin).take();
}

QByteArray openOrder(const OrderLine& order) { return "@OO=" + orderRecord(order); }

QByteArray orderStatus(const StatusLine& s)
{
    return Record("@OS=")
        .whole(s.orderUserId)
        .text(s.orderId)
        .whole(s.status)
        .text(s.statusTime)
        .whole(s.filled)
        .whole(s.remaining)
        .price(s.averagePrice)
        .text(s.bracketOrderId)
        .whole(s.bracketActive)
        .price(s.newLimit)
        .take();
}

QByteArray execution(const ExecutionLine& e) { return "@EX=" + executionRecord(e); }

QByteArray placeInfo(QByteArrayView total, QByteArrayView today)
{
    return Record("@PI=").text(total).text(today).take();
}

QByteArray systemInfo(const std::vector<QByteArray>& lines)
{
    Record r("@SYI=");
    for (const QByteArray& l : lines)
        r.text(l);
    return r.take();
}

QByteArray winnersLosers(const std::vector<QByteArray>& fields)
{
    Record r("@GV=");
    for (size_t i = 0; i < fields.size() && i < 10; ++i)
        r.text(fields[i]);
    return r.take();
}

QByteArray document(QByteArrayView fileName, const std::vector<QByteArray>& lines)
{
    Record r("@SD=");
    r.text("FILE=" + fileName.toByteArray());
    for (const QByteArray& l : lines)
        r.text(l);
    return r.take();
}

QByteArray message(QByteArrayView text) { return "@MSG=" + text.toByteArray(); }
QByteArray orderRejected(QByteArrayView reason) { return "@OR=" + reason.toByteArray(); }
QByteArray cancelRejected(QByteArrayView reason) { return "@CR=" + reason.toByteArray(); }

QByteArray serverTime(const QTime& time)
{
    return "@ST=Serverzeit " + time.toString(QStringLiteral("HH:mm:ss")).toLatin1();
}

QByteArray fullPrice(int number, const PriceState& q)
{
    return Record("@KU=").whole(number).price(q.bid).whole(q.bidSize).price(q.ask).whole(q.askSize).price(q.last).take();
}

QByteArray priceChange(int number, const PriceState& before, const PriceState& after, bool full)
{
    if (full)
        return fullPrice(number, after);
    const bool lastMoved = after.last != before.last;
    const bool bidMoved = after.bid != before.bid || after.bidSize != before.bidSize;
    const bool askPriceMoved = after.ask != before.ask;
    const bool askSizeMoved = after.askSize != before.askSize;
    const double bidDistance = after.last - after.bid;
    const double askDistance = after.ask - after.last;
    if (lastMoved) {
        return Record("~").whole(number).price(after.last).price(bidDistance).whole(after.bidSize)
            .price(askDistance).whole(after.askSize).take();
    }
    const bool askMoved = askPriceMoved || askSizeMoved;
    if (bidMoved && askMoved)
        return Record("^1").whole(number).price(bidDistance).whole(after.bidSize).price(askDistance).whole(after.askSize).take();
    if (bidMoved)
        return Record("^5").whole(number).price(bidDistance).whole(after.bidSize).take();
    if (askPriceMoved && askSizeMoved)
        return Record("^2").whole(number).price(askDistance).whole(after.askSize).take();
    if (askPriceMoved)
        return Record("^3").whole(number).price(askDistance).take();
    if (askSizeMoved)
        return Record("^4").whole(number).whole(after.askSize).take();
    return {};
}

} // namespace korvi::server::msg
