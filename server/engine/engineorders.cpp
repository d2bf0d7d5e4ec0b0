// The trading engine: placing and cancelling orders, and matching them against quotes.
#include "engineshared.h"
#include "orderrequest.h"
#include "serverlog.h"
#include "tradestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvi::server {

// ---- orders ----------------------------------------------------------------------------

void TradingEngine::reject(Account& a, qint32 userOrderId, QByteArrayView why)
{
    m_outbox.toParticipant(a.info.id, msg::orderRejected(withOrder(why, userOrderId)));
}

bool TradingEngine::marginCovered(const Account& a, int instrument, qint32 quantity) const
{
    // Every instrument binds margin for the largest position its open orders could leave:
    // all buys filled or all sells filled. An order is refused when that need grows beyond
    // the account's value; orders that only reduce the need always pass.
    const size_t n = m_specs.size();
    std::vector<qint64> buys(n, 0), sells(n, 0);
    for (const Order* o : a.live) {
        if (o->open() && !o->isExit())
            (o->buy ? buys : sells)[static_cast<size_t>(o->instrument)] += o->remaining;
    }
    const auto need = [&](qint64 extraBuy, qint64 extraSell) {
        double total = 0;
        for (size_t i = 0; i < n; ++i) {
            const qint64 pos = a.positions[i].quantity;
            const bool here = static_cast<int>(i) == instrument;
            const qint64 up = pos + buys[i] + (here ? extraBuy : 0);
            const qint64 down = pos - sells[i] - (here ? extraSell : 0);
            total += m_specs[i].margin * static_cast<double>(std::max(std::llabs(up), std::llabs(down)));
        }
        return total;
    };
    const qint64 q = std::llabs(quantity);
    const double before = need(0, 0);
    const double after = quantity > 0 ? need(q, 0) : need(0, q);
    const double equity = a.info.baseValue + todayResult(a);
    return after <= before || after <= equity;
}

void TradingEngine::placeOrder(qint64 participant, QByteArrayView body)
{
    Account* a = account(participant);
    if (!a)
        return;
    QByteArray why;
    std::optional<PlaceRequest> r;
    switch (a->allowance.request(m_options.orderLimits, m_tradingDay, m_options.steadyClock())) {
    case OrderAllowance::Verdict::Pass:
        r = parsePlaceOrder(body, static_cast<int>(m_specs.size()), why);
        if (r && !pricesTradable(*r, m_specs[static_cast<size_t>(r->instrument - 1)].tickSize, why))
            r.reset();
        break;
    case OrderAllowance::Verdict::TooFast:
        why = reason::TooManyOrdersPerSecond.toByteArray() + " (h\xF6""chstens " + stri(m_options.orderLimits.burst)
              + " auf einmal, dann " + plain(m_options.orderLimits.perSecond) + " pro Sekunde)";
        break;
    case OrderAllowance::Verdict::DayFull:
        why = reason::TooManyOrdersToday.toByteArray() + " (h\xF6""chstens " + stri(m_options.orderLimits.perDay) + ')';
        break;
    }
    if (!r) {
        Fields f;
        f.split(body, 3, ';');
        const std::optional<qint32> id = toInt32(readNumber(f[2]));
        reject(*a, id.value_or(0), why);
        return;
    }
    if (r->shortId != a->info.shortId.trimmed()) {
        reject(*a, r->userOrderId, reason::WrongParticipant);
        return;
    }
    if (a->byUserId.contains(r->userOrderId)) {
        reject(*a, r->userOrderId, reason::DuplicateOrderNumber);
        return;
    }
    std::erase_if(a->live, [](const Order* x) { return !x->open(); });
    if (a->live.size() >= static_cast<size_t>(std::max(0, m_options.maxOpenOrders))) {
        reject(*a, r->userOrderId, reason::TooManyOpenOrders.toByteArray() + (" (h\xF6""chstens " + stri(m_options.maxOpenOrders) + ')'));
        return;
    }
    Order o;
    o.participant = participant;
    o.userOrderId = r->userOrderId;
    o.instrument = r->instrument - 1;
    o.buy = r->buy;
    o.type = r->type;
    o.quantity = r->quantity;
    o.limit1 = r->limit1;
    o.limit2 = r->limit2;
    o.role = r->role;
    o.parentUserId = r->parentUserId;
    if (o.isExit()) {
        Order* parent = a->byUserId.value(r->parentUserId, nullptr);
        if (!parent)
            parent = a->byUserId.value(-r->parentUserId, nullptr);
        if (!parent) {
            reject(*a, r->userOrderId, reason::ParentUnknown);
            return;
        }
        if (parent->isExit() || parent->instrument != o.instrument || parent->buy == o.buy) {
            reject(*a, r->userOrderId, reason::ParentMismatch);
            return;
        }
        if (!parent->open() && parent->filled == 0) {
            reject(*a, r->userOrderId, reason::ParentGone);
            return;
        }
        if (o.quantity > parent->quantity) {
            reject(*a, r->userOrderId, reason::ExitTooLarge);
            return;
        }
        // Once the main's pieces are closed by its other exits, a late exit would have
        // nothing of its own to close.
        if (!parent->open() && openInGroup(*a, *parent) == 0) {
            reject(*a, r->userOrderId, reason::GroupClosed);
            return;
        }
        if (parent->role == role::Plain) {
            // The exits name it as their main: it is one from now on.
            parent->role = role::Main;
            parent->bracketOrderId = parent->orderId;
            changed(*parent);
            sendOrder(*a, *parent);
        }
        o.parentUserId = parent->userOrderId;
        o.bracketOrderId = parent->orderId;
        o.active = false;
    } else {
        // Exposure is counted in 64 bits, so no sequence of large orders can overflow a
        // position.
        qint64 sameSide = 0;
        for (const Order* other : a->live) {
            if (other->open() && !other->isExit() && other->instrument == o.instrument && other->buy == o.buy)
                sameSide += other->remaining;
        }
        const qint64 pos = a->positions[static_cast<size_t>(o.instrument)].quantity;
        if (std::llabs(pos) + sameSide + o.quantity > kMaxQuantity) {
            reject(*a, r->userOrderId, reason::QuantityTooLarge);
            return;
        }
        if (!marginCovered(*a, o.instrument, o.buy ? o.quantity : -o.quantity)) {
            reject(*a, r->userOrderId, reason::MarginNotCovered);
            return;
        }
    }
    accept(*a, std::move(o));
}

void TradingEngine::accept(Account& a, Order order)
{
    order.seq = m_nextOrderSeq++;
    order.orderId = makeId('O', order.seq);
    order.orderTime = order.statusTime = timeNow();
    order.day = m_tradingDay;
    order.remaining = order.quantity;
    order.status = status::PendingSubmit;
    if (order.role == role::Main)
        order.bracketOrderId = order.orderId;
    auto owned = std::make_unique<Order>(std::move(order));
    Order& o = *owned;
    a.orders.push_back(std::move(owned));
    track(a, &o);
    ++m_ordersToday;
    a.allowance.accepted(m_tradingDay);
    const qint32 number = o.userOrderId == std::numeric_limits<qint32>::min() ? std::numeric_limits<qint32>::max()
                                                                               : std::abs(o.userOrderId);
    if (number > a.info.lastOrderId) {
        a.info.lastOrderId = number;
        saveAccount(a);
    }
    sendOrder(a, o);
    if (o.isExit()) {
        o.status = status::PreSubmitted;
        changed(o);
        sendStatus(a, o);
        Order* parent = parentOf(a, o);
        if (parent && (parent->status == status::Filled || (!parent->open() && parent->filled > 0)))
            activate(a, o, *parent);
        return;
    }
    o.status = status::Submitted;
    changed(o);
    sendStatus(a, o);
    tryFill(o);
    if (o.open() && o.type != OrderType::MarketOnClose)
        addWorking(&o);
}

void TradingEngine::track(Account& a, Order* o)
{
    a.byUserId.insert(o->userOrderId, o);
    a.byOrderId.insert(o->orderId, o);
    if (o->open())
        a.live.push_back(o);
    if (o->isExit())
        a.exits[o->bracketOrderId].push_back(o);
}

void TradingEngine::addWorking(Order* o) { m_working[static_cast<size_t>(o->instrument)].push_back(o); }

Order* TradingEngine::referenced(Account& a, QByteArrayView body, QByteArray& why)
{
    const std::optional<OrderReference> r = parseOrderReference(body, why);
    if (!r)
        return nullptr;
    if (r->shortId != a.info.shortId.trimmed()) {
        why = withOrder(reason::WrongParticipant, r->userOrderId);
        return nullptr;
    }
    // The server's id names the order; the client's number only when the id is missing.
    Order* o = r->orderId.isEmpty() ? a.byUserId.value(r->userOrderId, nullptr) : a.byOrderId.value(r->orderId, nullptr);
    if (!o)
        why = withOrder(reason::OrderUnknown, r->userOrderId);
    return o;
}

void TradingEngine::cancelOrder(qint64 participant, QByteArrayView body)
{
    Account* a = account(participant);
    if (!a)
        return;
    QByteArray why;
    Order* o = referenced(*a, body, why);
    if (!o) {
        m_outbox.toParticipant(participant, msg::cancelRejected(why));
        return;
    }
    if (!o->open()) {
        m_outbox.toParticipant(participant, msg::cancelRejected(withOrder(
            o->status == status::Filled ? reason::OrderFilled : reason::OrderCancelled, o->userOrderId)));
        return;
    }
    cancel(*a, *o);
}

void TradingEngine::makeBracketMain(qint64 participant, QByteArrayView body)
{
    Account* a = account(participant);
    if (!a)
        return;
    QByteArray why;
    Order* o = referenced(*a, body, why);
    if (!o || o->isExit()) {
        logRepeated(QStringLiteral("bracket main %1").arg(participant),
                    QStringLiteral("participant %1: bracket main for an unknown order or an exit ignored").arg(participant));
        return;
    }
    if (o->role == role::Main)
        return;
    o->role = role::Main;
    o->bracketOrderId = o->orderId;
    changed(*o);
    sendOrder(*a, *o);
}

void TradingEngine::cancel(Account& a, Order& o)
{
    if (!o.open())
        return;
    o.status = status::Cancelled;
    o.statusTime = timeNow();
    changed(o);
    sendStatus(a, o);
    if (o.role != role::Main)
        return;
    if (o.filled > 0) {
        activateExits(a, o); // the exits protect what was filled
    } else {
        for (Order* exit : exitsOf(a, o.orderId)) {
            if (exit->open())
                cancel(a, *exit);
        }
    }
}

// ---- matching --------------------------------------------------------------------------

void TradingEngine::onQuote(int instrument, const PriceState& quote)
{
    if (instrument < 0 || instrument >= static_cast<int>(m_specs.size()))
        return;
    m_quotes[static_cast<size_t>(instrument)] = quote;
    std::vector<Order*>& list = m_working[static_cast<size_t>(instrument)];
    if (list.empty())
        return;
    // Orders that become active while this quote is handled were tried already; they wait
    // for the next one.
    const size_t n = list.size();
    for (size_t i = 0; i < n; ++i) {
        Order* o = list[i];
        if (o->open() && o->active)
            tryFill(*o);
    }
    std::erase_if(list, [](const Order* o) { return !o->open(); });
}

void TradingEngine::tryFill(Order& o)
{
    if (!o.open() || !o.active || o.type == OrderType::MarketOnClose)
        return;
    const PriceState& q = m_quotes[static_cast<size_t>(o.instrument)];
    double price = 0;
    qint64 available = 0;
    if (m_options.instantFills) {
        price = (o.type == OrderType::Limit || o.type == OrderType::Stop) && o.limit1 > 0 ? o.limit1 : (o.buy ? q.ask : q.bid);
        available = o.remaining;
    } else {
        if (o.type == OrderType::Stop && !o.triggered) {
            if (!(q.last > 0) || (o.buy ? q.last < o.limit1 : q.last > o.limit1))
                return;
            o.triggered = true; // from now on a market order
            changed(o);
        }
        if (o.type == OrderType::Limit) {
            const bool reached = o.buy ? (q.ask > 0 && q.ask <= o.limit1) : (q.bid > 0 && q.bid >= o.limit1);
            if (!reached)
                return;
        }
        price = o.buy ? q.ask : q.bid;
        available = o.buy ? q.askSize : q.bidSize;
    }
    if (!(price > 0) || available <= 0)
        return;
    qint32 quantity = static_cast<qint32>(std::min<qint64>(o.remaining, available));
    Account& a = *account(o.participant);
    if (o.isExit()) {
        // An exit only ever closes what its main opened and its siblings left, and only
        // what is held; with nothing left to close it is done.
        Order* main = parentOf(a, o);
        quantity = std::min({quantity, main ? openInGroup(a, *main) : 0, closable(a, o)});
        if (quantity <= 0) {
            cancel(a, o);
            return;
        }
    }
    fill(o, quantity, price);
}

void TradingEngine::fill(Order& o, qint32 quantity, double price)
{
    Account& a = *account(o.participant);
    const InstrumentSpec& definition = m_specs[static_cast<size_t>(o.instrument)];
    Position& pos = a.positions[static_cast<size_t>(o.instrument)];
    const qint64 signedQty = o.buy ? quantity : -static_cast<qint64>(quantity);
    const double pieceValue = price * definition.factor;
    double profit = 0;
    qint64 rest = signedQty;
    if (pos.quantity != 0 && (pos.quantity > 0) != (signedQty > 0)) {
        const qint64 closing = std::min<qint64>(std::llabs(signedQty), std::llabs(pos.quantity));
        const double entry = pos.cost / pos.quantity; // per piece, positive
        const int held = pos.quantity > 0 ? 1 : -1;
        profit = static_cast<double>(closing) * (pieceValue - entry) * held;
        pos.cost -= entry * static_cast<double>(closing) * held;
        pos.quantity -= static_cast<qint32>(closing * held);
        rest = signedQty + closing * held;
        if (pos.quantity == 0)
            pos.cost = 0;
    }
    if (rest != 0) {
        pos.quantity += static_cast<qint32>(rest);
        pos.cost += static_cast<double>(rest) * pieceValue;
    }
    const double commission = quantity * definition.commission;
    a.realisedToday += profit;
    a.commissionToday += commission;
    a.traded = a.tradedToday = true;

    const qint32 before = o.filled;
    o.filled += quantity;
    o.remaining -= quantity;
    o.averagePrice = (o.averagePrice * before + price * quantity) / o.filled;
    o.status = o.remaining == 0 ? status::Filled : status::Submitted;
    o.statusTime = timeNow();
    changed(o);

    Execution e;
    e.seq = m_nextExecutionSeq++;
    e.participant = a.info.id;
    e.executionId = makeId('E', e.seq);
    e.orderId = o.orderId;
    e.userOrderId = o.userOrderId;
    e.instrument = o.instrument;
    e.buy = o.buy;
    e.type = o.type;
    e.quantity = quantity;
    e.price = price;
    e.sum = quantity * pieceValue;
    e.commission = commission;
    e.profit = profit;
    e.time = o.statusTime;
    e.day = m_tradingDay;
    ++m_fillsToday;
    if (m_store) {
        m_store->saveExecution(e);
        m_store->savePosition(a.info.id, o.instrument, pos);
    }
    m_outbox.toParticipant(a.info.id, msg::execution(lineOf(a, e)));
    m_outbox.executed(e);
    a.executions.push_back(std::move(e));
    sendStatus(a, o);

    if (o.role == role::Main && o.remaining == 0)
        activateExits(a, o);
    else if (o.isExit())
        onExitFilled(a, o);
    endStrandedExits(a, o.instrument);
    sendPositions(a);
    saveAccount(a);
}

} // namespace korvi::server
