// The trading engine: account figures, and the messages and statements built from them.
#include "engineshared.h"
#include "serverlog.h"
#include "tradestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvi::server {

// ---- figures ---------------------------------------------------------------------------

double TradingEngine::value(const Account& a, int instrument) const
{
    const Position& p = a.positions[static_cast<size_t>(instrument)];
    return p.quantity * m_quotes[static_cast<size_t>(instrument)].last * m_specs[static_cast<size_t>(instrument)].factor;
}

double TradingEngine::todayResult(const Account& a) const
{
    double result = a.realisedToday - a.commissionToday;
    for (size_t i = 0; i < a.positions.size(); ++i) {
        if (a.positions[i].quantity != 0)
            result += value(a, static_cast<int>(i)) - a.positions[i].cost;
    }
    return result;
}

double TradingEngine::totalMargin(const Account& a) const
{
    double margin = 0;
    for (size_t i = 0; i < a.positions.size(); ++i)
        margin += std::abs(a.positions[i].quantity) * m_specs[i].margin;
    return margin;
}

double TradingEngine::roundToTick(int instrument, double price) const
{
    const double tick = m_specs[static_cast<size_t>(instrument)].tickSize;
    return std::round(price / tick) * tick;
}

TradingEngine::Figures TradingEngine::figures(qint64 participant) const
{
    Figures f;
    if (const Account* a = account(participant)) {
        f.baseValue = a->info.baseValue;
        f.todayResult = todayResult(*a);
        f.totalMargin = totalMargin(*a);
        f.totalPlace = a->info.totalPlace;
        f.dayPlace = a->info.dayPlace;
        f.lastOrderId = a->info.lastOrderId;
    }
    return f;
}

Position TradingEngine::position(qint64 participant, int instrument) const
{
    const Account* a = account(participant);
    if (!a || instrument < 0 || instrument >= static_cast<int>(a->positions.size()))
        return {};
    return a->positions[static_cast<size_t>(instrument)];
}

const Order* TradingEngine::findOrder(qint64 participant, qint32 userOrderId) const
{
    const Account* a = account(participant);
    return a ? a->byUserId.value(userOrderId, nullptr) : nullptr;
}

// ---- messages --------------------------------------------------------------------------

void TradingEngine::changed(const Order& o)
{
    if (m_store)
        m_store->saveOrder(o);
}

void TradingEngine::saveAccount(const Account& a)
{
    if (!m_store)
        return;
    TradeStore::AccountRow r;
    r.baseValue = a.info.baseValue;
    r.todayResult = todayResult(a);
    r.totalMargin = totalMargin(a);
    r.totalPlace = a.info.totalPlace;
    r.dayPlace = a.info.dayPlace;
    r.lastOrderId = a.info.lastOrderId;
    m_store->saveAccount(a.info.id, r);
}

msg::OrderLine TradingEngine::lineOf(const Order& o) const
{
    msg::OrderLine l;
    l.orderUserId = o.userOrderId;
    l.orderId = o.orderId;
    l.info12 = m_specs[static_cast<size_t>(o.instrument)].ticker;
    l.side = sideText(o.buy);
    l.quantity = o.quantity;
    l.type = typeText(o.type);
    l.limit1 = o.limit1;
    l.limit2 = o.limit2;
    l.status = o.status;
    l.filled = o.filled;
    l.remaining = o.remaining;
    l.averagePrice = o.averagePrice;
    l.orderTime = o.orderTime;
    l.statusTime = o.statusTime;
    l.info3 = "DAY";
    l.instrument = static_cast<qint16>(o.instrument + 1);
    l.bracketRole = o.role;
    l.bracketParentId = o.parentUserId;
    l.bracketOrderId = o.bracketOrderId;
    l.bracketActive = o.isExit() && o.active ? 1 : 0;
    return l;
}

msg::ExecutionLine TradingEngine::lineOf(const Account& a, const Execution& e) const
{
    msg::ExecutionLine l;
    l.tag = a.info.shortId;
    l.orderId = e.orderId;
    l.field3 = m_specs[static_cast<size_t>(e.instrument)].ticker;
    l.instrument = static_cast<qint16>(e.instrument + 1);
    l.field5 = typeText(e.type);
    l.executionId = e.executionId;
    l.time = e.time;
    l.action = sideText(e.buy);
    l.quantity = e.quantity;
    l.price = e.price;
    l.sum = e.sum;
    l.commission = e.commission;
    l.profit = e.profit;
    return l;
}

void TradingEngine::sendOrder(const Account& a, const Order& o)
{
    m_outbox.toParticipant(a.info.id, msg::openOrder(lineOf(o)));
}

void TradingEngine::sendStatus(const Account& a, const Order& o, double newLimit)
{
    msg::StatusLine s;
    s.orderUserId = o.userOrderId;
    s.orderId = o.orderId;
    s.status = o.status;
    s.statusTime = o.statusTime;
    s.filled = o.filled;
    s.remaining = o.remaining;
    s.averagePrice = o.averagePrice;
    s.bracketOrderId = o.bracketOrderId;
    s.bracketActive = o.isExit() && o.active ? 1 : 0;
    s.newLimit = newLimit;
    m_outbox.toParticipant(a.info.id, msg::orderStatus(s));
}

void TradingEngine::sendPositions(Account& a)
{
    a.sentResult = todayResult(a);
    m_outbox.toParticipant(a.info.id, positionsMessage(a.info.id));
}

msg::AccountLine TradingEngine::accountLine(const Account& a) const
{
    msg::AccountLine l;
    l.accountStart = a.info.accountStart;
    l.accountText = a.info.accountText;
    l.accountFigure3 = a.info.accountFigure3;
    l.baseValue = a.info.baseValue;
    l.todayResult = todayResult(a);
    l.totalPlace = a.info.totalPlace;
    l.dayPlace = a.info.dayPlace;
    l.totalMargin = totalMargin(a);
    return l;
}

QByteArray TradingEngine::positionText(const Account& a) const
{
    QByteArray out;
    for (size_t i = 0; i < a.positions.size(); ++i) {
        const Position& p = a.positions[i];
        if (p.quantity == 0)
            continue;
        if (!out.isEmpty())
            out += '\n';
        out += m_specs[i].ticker + ' ' + stri(p.quantity) + " Kosten " + plain(p.cost) + " Wert "
               + plain(value(a, static_cast<int>(i))) + " Margin " + plain(std::abs(p.quantity) * m_specs[i].margin);
    }
    return out;
}

std::vector<QByteArray> TradingEngine::loginMessages(qint64 participant) const
{
    const Account* a = account(participant);
    if (!a)
        return {};
    return {allOrdersMessage(participant), allExecutionsMessage(participant), accountMessage(participant),
            positionsMessage(participant), placesMessage(participant), placeInfoMessage(participant)};
}

QByteArray TradingEngine::allOrdersMessage(qint64 participant) const
{
    std::vector<msg::OrderLine> lines;
    if (const Account* a = account(participant)) {
        // Open orders always; then the newest finished ones up to what the client keeps.
        std::vector<const Order*> chosen;
        for (const auto& o : a->orders) {
            if (o->open())
                chosen.push_back(o.get());
        }
        for (auto it = a->orders.rbegin(); it != a->orders.rend() && chosen.size() < kMaxRecords; ++it) {
            if (!(*it)->open())
                chosen.push_back(it->get());
        }
        std::sort(chosen.begin(), chosen.end(), [](const Order* x, const Order* y) { return x->seq < y->seq; });
        for (const Order* o : chosen)
            lines.push_back(lineOf(*o));
    }
    return msg::allOrders(lines);
}

QByteArray TradingEngine::openOrdersMessage(qint64 participant) const
{
    std::vector<msg::OrderLine> lines;
    if (const Account* a = account(participant)) {
        for (const auto& o : a->orders) {
            if (o->open() && lines.size() < kMaxRecords)
                lines.push_back(lineOf(*o));
        }
    }
    return msg::openOrders(lines);
}

QByteArray TradingEngine::allExecutionsMessage(qint64 participant) const
{
    std::vector<msg::ExecutionLine> lines;
    if (const Account* a = account(participant)) {
        const size_t from = a->executions.size() > kMaxRecords ? a->executions.size() - kMaxRecords : 0;
        for (size_t i = from; i < a->executions.size(); ++i)
            lines.push_back(lineOf(*a, a->executions[i]));
    }
    return msg::allExecutions(lines);
}

QByteArray TradingEngine::accountMessage(qint64 participant) const
{
    const Account* a = account(participant);
    return a ? msg::account(accountLine(*a)) : msg::account({});
}

QByteArray TradingEngine::positionsMessage(qint64 participant) const
{
    const Account* a = account(participant);
    if (!a)
        return msg::positions(0, 0, {});
    std::vector<msg::PositionLine> lines;
    for (size_t i = 0; i < a->positions.size(); ++i) {
        const Position& p = a->positions[i];
        if (p.quantity == 0)
            continue;
        msg::PositionLine l;
        l.quantity = p.quantity;
        l.margin = std::abs(p.quantity) * m_specs[i].margin;
        l.cost = p.cost;
        l.value = value(*a, static_cast<int>(i));
        l.instrument = static_cast<qint16>(i + 1);
        lines.push_back(l);
    }
    return msg::positions(todayResult(*a), a->info.baseValue, lines);
}

QByteArray TradingEngine::placesMessage(qint64 participant) const
{
    const Account* a = account(participant);
    return a ? msg::places(a->info.totalPlace, a->info.dayPlace, totalMargin(*a)) : msg::places(0, 0, 0);
}

QByteArray TradingEngine::placeInfoMessage(qint64 participant) const
{
    const Account* a = account(participant);
    const auto text = [](qint16 place, int of) -> QByteArray {
        if (place == 0)
            return "-";
        return (place > kLastPlace ? QByteArray("> 100") : stri(place)) + " von " + stri(of);
    };
    if (!a)
        return msg::placeInfo("-", "-");
    return msg::placeInfo(text(a->info.totalPlace, m_rankedTotal), text(a->info.dayPlace, m_rankedToday));
}

std::vector<QByteArray> TradingEngine::systemInfoLines(int participantsOnline, QByteArrayView closeTime) const
{
    const QDateTime now = m_clock();
    return {
        "Korvi-Spielserver",
        "Serverzeit: " + now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")).toLatin1(),
        "Handelstag: " + dateOfDay(m_tradingDay).toString(QStringLiteral("dd.MM.yyyy")).toLatin1(),
        "Tagesschluss: " + closeTime.toByteArray() + " Uhr",
        "Teilnehmer online: " + stri(participantsOnline) + " von " + stri(static_cast<qint64>(m_accounts.size())),
        "Wertpapiere: " + stri(static_cast<qint64>(m_specs.size())),
        "Orders heute: " + stri(m_ordersToday),
        "Ausf\xFChrungen heute: " + stri(m_fillsToday),
    };
}

std::vector<QByteArray> TradingEngine::statementLines(qint64 participant, qint32 day) const
{
    const Account* a = account(participant);
    if (!a)
        return {};
    std::vector<QByteArray> lines;
    lines.push_back("Kontoauszug " + a->info.shortId.trimmed() + " (" + a->info.name + ") vom "
                    + dateOfDay(day).toString(QStringLiteral("dd.MM.yyyy")).toLatin1());
    std::vector<Order> orders;
    std::vector<Execution> executions;
    std::optional<DayBook> book;
    const bool live = day == m_tradingDay;
    if (live) {
        for (const auto& o : a->orders) {
            if (o->day == day)
                orders.push_back(*o);
        }
        executions = a->executions;
        bool holds = false;
        for (const Position& p : a->positions)
            holds = holds || p.quantity != 0;
        if (holds || a->tradedToday) {
            DayBook b;
            b.result = todayResult(*a);
            b.baseBefore = a->info.baseValue;
            b.baseAfter = a->info.baseValue + b.result;
            b.margin = totalMargin(*a);
            b.positions = positionText(*a);
            book = b;
        }
    } else if (m_store) {
        orders = m_store->ordersOfDay(participant, day);
        executions = m_store->executionsOfDay(participant, day);
        book = m_store->dayBook(participant, day);
    }
    if (orders.empty() && executions.empty() && !book) {
        lines.push_back("Keine Ums\xE4tze an diesem Tag");
        return lines;
    }
    if (live)
        lines.push_back("Vorl\xE4ufig: der Tag ist noch nicht abgeschlossen");
    lines.push_back("Orders: " + stri(static_cast<qint64>(orders.size())));
    for (const Order& o : orders) {
        QByteArray l = o.orderId + ' ' + colonTime(o.orderTime) + ' ' + sideText(o.buy) + ' ' + stri(o.quantity) + ' '
                       + m_specs[static_cast<size_t>(o.instrument)].ticker + ' ' + typeText(o.type);
        if (o.type == OrderType::Limit || o.type == OrderType::Stop)
            l += ' ' + plain(o.limit1);
        l += ' ' + statusName(o.status);
        if (o.filled > 0)
            l += ' ' + stri(o.filled) + " zu " + plain(o.averagePrice);
        lines.push_back(l);
    }
    lines.push_back("Ausf\xFChrungen: " + stri(static_cast<qint64>(executions.size())));
    for (const Execution& e : executions) {
        lines.push_back(e.executionId + ' ' + colonTime(e.time) + ' ' + sideText(e.buy) + ' ' + stri(e.quantity) + ' '
                        + m_specs[static_cast<size_t>(e.instrument)].ticker + " zu " + plain(e.price) + " Summe "
                        + plain(e.sum) + " Kommission " + plain(e.commission) + " Gewinn " + plain(e.profit));
    }
    if (book) {
        lines.push_back(QByteArrayLiteral("Positionen:"));
        if (book->positions.isEmpty())
            lines.push_back(QByteArrayLiteral("keine"));
        for (const QByteArray& p : book->positions.split('\n'))
            if (!p.isEmpty())
                lines.push_back(p);
        lines.push_back("Margin: " + plain(book->margin));
        lines.push_back("Ergebnis des Tages: " + plain(book->result));
        lines.push_back("Kontostand: " + plain(book->baseAfter));
    }
    return lines;
}

QByteArray TradingEngine::statementMessage(qint64 participant, qint32 day) const
{
    const Account* a = account(participant);
    if (!a)
        return {};
    return msg::document(a->info.shortId.trimmed() + DatumText(day) + "K.TXT", statementLines(participant, day));
}

} // namespace korvi::server
