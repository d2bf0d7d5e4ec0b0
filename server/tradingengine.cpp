#include "tradingengine.h"

#include "dates.h"
#include "fields.h"
#include "numbers.h"
#include "orderrequest.h"
#include "serverlog.h"
#include "tradestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvi::server {

namespace {

// The client keeps at most this many records of "@SAO" and "@SAE".
constexpr size_t kMaxRecords = 1000;
// Places beyond this are sent as one number meaning "beyond".
constexpr int kLastPlace = 100;

QByteArray plain(double v) { return writeDouble(v).trimmed(); }

QByteArray withOrder(QByteArrayView why, qint32 userOrderId)
{
    QByteArray out = why.toByteArray();
    if (userOrderId != 0)
        out += " (Order " + stri(userOrderId) + ")";
    return out;
}

QByteArray statusName(qint16 s)
{
    switch (s) {
    case status::PendingSubmit: return QByteArrayLiteral("PendSubm.");
    case status::PendingCancel: return QByteArrayLiteral("PendCancel");
    case status::PreSubmitted: return QByteArrayLiteral("PreSubm.");
    case status::Submitted: return QByteArrayLiteral("Submitted");
    case status::Cancelled: return QByteArrayLiteral("Cancelled");
    case status::Filled: return QByteArrayLiteral("Filled");
    }
    return QByteArrayLiteral("-");
}

QByteArray colonTime(const QByteArray& hhmmss) { return FormatZeit(hhmmss); }

// The wall clock, read from the time zone once a second only: the local-time conversion
// looks at the zone file on every call, which would cost more than matching an order.
// The result carries the local date and time in a zone-free form; the engine uses its
// date and time of day alone.
QDateTime wallClock()
{
    static qint64 second = -1;
    static QDateTime cached;
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (ms / 1000 != second) {
        second = ms / 1000;
        const QDateTime local = QDateTime::currentDateTime();
        cached = QDateTime(local.date(), local.time(), Qt::UTC);
    }
    return cached;
}

} // namespace

struct TradingEngine::Account {
    Participant info;
    double realisedToday = 0;
    double commissionToday = 0;
    std::vector<Position> positions;
    std::vector<std::unique_ptr<Order>> orders; // of the trading day, and open ones
    QHash<qint32, Order*> byUserId;
    QHash<QByteArray, Order*> byOrderId;
    std::vector<Order*> live;                   // the open ones, finished ones dropped now and then
    std::vector<Execution> executions;          // of the trading day
    bool traded = false;                        // any fill ever: ranked in the total
    bool tradedToday = false;
    double sentResult = 0;                      // today's result in the last "@SUD"
};

TradingEngine::TradingEngine(const std::vector<InstrumentSpec>& definitions, std::vector<PriceState> quotes,
                             TradeStore* store, TradeOutbox& outbox, Options options, Clock clock)
    : m_specs(definitions)
    , m_quotes(std::move(quotes))
    , m_store(store)
    , m_outbox(outbox)
    , m_options(options)
    , m_clock(clock ? std::move(clock) : Clock(wallClock))
    , m_working(definitions.size())
{
    m_quotes.resize(m_specs.size());
    m_tradingDay = calendarDay();
}

TradingEngine::~TradingEngine() = default;

QByteArray TradingEngine::timeNow() const
{
    // Formatting a time is dear next to matching an order; the text changes once a second.
    const QDateTime now = m_clock();
    if (now != m_timeOf || m_timeText.isEmpty()) {
        m_timeOf = now;
        m_timeText = now.time().toString(QStringLiteral("HHmmss")).toLatin1();
    }
    return m_timeText;
}
qint32 TradingEngine::calendarDay() const { return dayNumber(m_clock().date()); }

TradingEngine::Account* TradingEngine::account(qint64 participant)
{
    const auto it = m_accounts.find(participant);
    return it == m_accounts.end() ? nullptr : it->second.get();
}

const TradingEngine::Account* TradingEngine::account(qint64 participant) const
{
    const auto it = m_accounts.find(participant);
    return it == m_accounts.end() ? nullptr : it->second.get();
}

void TradingEngine::addParticipant(const Participant& participant)
{
    if (Account* a = account(participant.id)) {
        // Name, level and block state may change by administration; the figures are ours.
        a->info.name = participant.name;
        a->info.level = participant.level;
        a->info.blocked = participant.blocked;
        return;
    }
    auto a = std::make_unique<Account>();
    a->info = participant;
    a->positions.resize(m_specs.size());
    m_accounts.emplace(participant.id, std::move(a));
}

bool TradingEngine::restore(const std::vector<Participant>& participants, QString& error)
{
    for (const Participant& p : participants)
        addParticipant(p);
    if (!m_store)
        return true;
    TradeStore::Snapshot s;
    if (!m_store->load(s, error))
        return false;
    m_tradingDay = s.tradingDay != 0 ? s.tradingDay : calendarDay();
    if (s.tradingDay == 0)
        m_store->saveTradingDay(m_tradingDay);
    m_nextOrderSeq = s.nextOrderSeq;
    m_nextExecutionSeq = s.nextExecutionSeq;
    for (const TradeStore::PositionRow& r : s.positions) {
        Account* a = account(r.participant);
        if (a && r.instrument >= 0 && r.instrument < static_cast<int>(m_specs.size()))
            a->positions[static_cast<size_t>(r.instrument)] = r.position;
    }
    for (Order& o : s.orders) {
        Account* a = account(o.participant);
        if (!a || o.instrument < 0 || o.instrument >= static_cast<int>(m_specs.size()))
            continue;
        auto owned = std::make_unique<Order>(std::move(o));
        Order* p = owned.get();
        a->orders.push_back(std::move(owned));
        a->byUserId.insert(p->userOrderId, p);
        a->byOrderId.insert(p->orderId, p);
        if (p->open())
            a->live.push_back(p);
        if (p->day == m_tradingDay)
            ++m_ordersToday;
        if (p->open() && p->active && p->type != OrderType::MarketOnClose)
            m_working[static_cast<size_t>(p->instrument)].push_back(p);
    }
    for (Execution& e : s.executions) {
        Account* a = account(e.participant);
        if (!a)
            continue;
        a->realisedToday += e.profit;
        a->commissionToday += e.commission;
        a->tradedToday = true;
        a->executions.push_back(std::move(e));
        ++m_fillsToday;
    }
    for (qint64 id : s.traded) {
        if (Account* a = account(id))
            a->traded = true;
    }
    for (auto& [id, a] : m_accounts)
        a->sentResult = todayResult(*a);
    if (m_tradingDay < calendarDay()) {
        logLine(QStringLiteral("booking the close of %1, missed while the server was down")
                    .arg(dateOfDay(m_tradingDay).toString(Qt::ISODate)));
        dailyClose();
    }
    return true;
}

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
    const std::optional<PlaceRequest> r = parsePlaceOrder(body, static_cast<int>(m_specs.size()), why);
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
        std::erase_if(a->live, [](const Order* x) { return !x->open(); });
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
    a.byUserId.insert(o.userOrderId, &o);
    a.byOrderId.insert(o.orderId, &o);
    a.live.push_back(&o);
    ++m_ordersToday;
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
        logLine(QStringLiteral("participant %1: bracket main for an unknown order or an exit ignored").arg(participant));
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
        for (Order* exit : exitsOf(a, o)) {
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
        // An exit only ever closes what the bracket opened; with nothing left to close it
        // is done.
        const qint32 pos = a.positions[static_cast<size_t>(o.instrument)].quantity;
        const qint32 closable = o.buy ? std::max(0, -pos) : std::max(0, pos);
        if (closable == 0) {
            cancel(a, o);
            return;
        }
        quantity = std::min(quantity, closable);
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
    a.executions.push_back(std::move(e));
    sendStatus(a, o);

    if (o.role == role::Main && o.remaining == 0)
        activateExits(a, o);
    else if (o.isExit())
        onExitFilled(a, o, quantity);
    sendPositions(a);
    saveAccount(a);
}

// ---- brackets --------------------------------------------------------------------------

Order* TradingEngine::parentOf(Account& a, const Order& exit)
{
    Order* p = a.byUserId.value(exit.parentUserId, nullptr);
    return p && p->orderId == exit.bracketOrderId ? p : nullptr;
}

std::vector<Order*> TradingEngine::exitsOf(Account& a, const Order& main)
{
    // Only open exits ever matter to their main.
    std::vector<Order*> out;
    for (Order* o : a.live) {
        if (o->open() && o->isExit() && o->bracketOrderId == main.orderId)
            out.push_back(o);
    }
    return out;
}

void TradingEngine::activateExits(Account& a, const Order& main)
{
    for (Order* exit : exitsOf(a, main))
        activate(a, *exit, main);
}

void TradingEngine::activate(Account& a, Order& exit, const Order& main)
{
    if (!exit.open() || exit.active)
        return;
    exit.active = true;
    exit.status = status::Submitted;
    exit.statusTime = timeNow();
    // An exit never covers more than the main bought or sold.
    exit.remaining = std::min(exit.remaining, main.filled - exit.filled);
    if (exit.remaining <= 0) {
        exit.remaining = 0;
        cancel(a, exit);
        return;
    }
    double newLimit = 0;
    if ((exit.type == OrderType::Limit || exit.type == OrderType::Stop) && exit.limit1 <= 0) {
        // A distance from the main's average fill price: a take-profit lies on the winning
        // side of it, a stop-loss on the losing side.
        const double distance = std::fabs(exit.limit1);
        const bool towardsProfit = exit.type == OrderType::Limit;
        const bool above = towardsProfit != exit.buy; // sell exits take profit above
        double limit = roundToTick(exit.instrument, above ? main.averagePrice + distance : main.averagePrice - distance);
        if (limit <= 0)
            limit = m_specs[static_cast<size_t>(exit.instrument)].tickSize;
        exit.limit1 = newLimit = limit;
    }
    changed(exit);
    sendStatus(a, exit, newLimit);
    tryFill(exit);
    if (exit.open() && exit.type != OrderType::MarketOnClose)
        addWorking(&exit);
}

void TradingEngine::onExitFilled(Account& a, const Order& exit, qint32 quantity)
{
    // One cancels the others: what one exit closed, the others need not close any more.
    Order* main = parentOf(a, exit);
    if (!main)
        return;
    for (Order* other : exitsOf(a, *main)) {
        if (other == &exit || !other->open())
            continue;
        other->remaining = exit.remaining == 0 ? 0 : std::max(0, other->remaining - quantity);
        if (other->remaining == 0) {
            cancel(a, *other);
        } else {
            changed(*other);
            sendStatus(a, *other);
        }
    }
}

// ---- the day ---------------------------------------------------------------------------

void TradingEngine::dailyClose()
{
    const qint32 day = m_tradingDay;
    // Market-on-close orders trade at the last price, in full.
    for (auto& [id, a] : m_accounts) {
        for (size_t i = 0; i < a->orders.size(); ++i) {
            Order& o = *a->orders[i];
            if (!o.open() || !o.active || o.type != OrderType::MarketOnClose)
                continue;
            const PriceState& q = m_quotes[static_cast<size_t>(o.instrument)];
            const double price = q.last > 0 ? q.last : (q.bid + q.ask) / 2;
            qint32 quantity = o.remaining;
            if (o.isExit()) {
                const qint32 pos = a->positions[static_cast<size_t>(o.instrument)].quantity;
                quantity = std::min(quantity, o.buy ? std::max(0, -pos) : std::max(0, pos));
            }
            if (quantity > 0 && price > 0)
                fill(o, quantity, price);
        }
    }
    // Orders are valid for the day: what is still open ends now, exits first so that no
    // main's end activates them again.
    for (auto& [id, a] : m_accounts) {
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < a->orders.size(); ++i) {
                Order& o = *a->orders[i];
                if (o.open() && o.isExit() == (pass == 0))
                    cancel(*a, o);
            }
        }
    }
    for (auto& list : m_working)
        list.clear();
    // Every account books its day: positions are valued at the last price, which becomes
    // their new cost, and the day's result goes into the base value.
    for (auto& [id, a] : m_accounts) {
        const double result = todayResult(*a);
        bool holds = false;
        for (const Position& p : a->positions)
            holds = holds || p.quantity != 0;
        if (a->tradedToday || holds || result != 0) {
            DayBook b;
            b.participant = id;
            b.day = day;
            b.result = result;
            b.baseBefore = a->info.baseValue;
            b.baseAfter = a->info.baseValue + result;
            b.margin = totalMargin(*a);
            b.positions = positionText(*a);
            if (m_store)
                m_store->saveDayBook(b);
        }
        a->info.baseValue += result;
        a->realisedToday = a->commissionToday = 0;
        for (size_t i = 0; i < a->positions.size(); ++i) {
            Position& p = a->positions[i];
            if (p.quantity == 0)
                continue;
            p.cost = value(*a, static_cast<int>(i));
            if (m_store)
                m_store->savePosition(id, static_cast<int>(i), p);
        }
        a->tradedToday = false;
        a->info.dayPlace = 0;
        a->executions.clear();
        a->orders.clear();
        a->byUserId.clear();
        a->byOrderId.clear();
        a->live.clear();
        a->sentResult = 0;
        saveAccount(*a);
    }
    m_tradingDay = std::max(calendarDay(), day + 1);
    if (m_store)
        m_store->saveTradingDay(m_tradingDay);
    m_ordersToday = m_fillsToday = 0;
    for (auto& [id, a] : m_accounts) {
        m_outbox.toParticipant(id, accountMessage(id));
        m_outbox.toParticipant(id, positionsMessage(id));
        m_outbox.toParticipant(id, allOrdersMessage(id));
        m_outbox.toParticipant(id, allExecutionsMessage(id));
    }
    updateRankings();
    logLine(QStringLiteral("daily close of %1 booked; next trading day %2")
                .arg(dateOfDay(day).toString(Qt::ISODate), dateOfDay(m_tradingDay).toString(Qt::ISODate)));
}

std::vector<QByteArray> TradingEngine::updateRankings()
{
    for (auto& list : m_working)
        std::erase_if(list, [](const Order* o) { return !o->open(); });

    struct Entry {
        Account* a;
        double key;
    };
    std::vector<Entry> total, today;
    for (auto& [id, a] : m_accounts) {
        const double result = todayResult(*a);
        bool holds = false;
        for (const Position& p : a->positions)
            holds = holds || p.quantity != 0;
        if (a->traded)
            total.push_back({a.get(), a->info.baseValue + result});
        if (a->tradedToday || holds)
            today.push_back({a.get(), result});
    }
    // Ties go to the older participant, so places never flicker between equals.
    const auto order = [](const Entry& x, const Entry& y) {
        return x.key != y.key ? x.key > y.key : x.a->info.id < y.a->info.id;
    };
    std::sort(total.begin(), total.end(), order);
    std::sort(today.begin(), today.end(), order);
    std::unordered_map<Account*, std::pair<qint16, qint16>> places;
    for (size_t i = 0; i < total.size(); ++i)
        places[total[i].a].first = static_cast<qint16>(std::min<size_t>(i + 1, kLastPlace + 1));
    for (size_t i = 0; i < today.size(); ++i)
        places[today[i].a].second = static_cast<qint16>(std::min<size_t>(i + 1, kLastPlace + 1));
    m_rankedTotal = static_cast<int>(total.size());
    m_rankedToday = static_cast<int>(today.size());
    for (auto& [id, a] : m_accounts) {
        const auto it = places.find(a.get());
        const qint16 t = it == places.end() ? 0 : it->second.first;
        const qint16 d = it == places.end() ? 0 : it->second.second;
        if (t != a->info.totalPlace || d != a->info.dayPlace) {
            a->info.totalPlace = t;
            a->info.dayPlace = d;
            saveAccount(*a);
            m_outbox.toParticipant(id, placesMessage(id));
        }
        bool holds = false;
        for (const Position& p : a->positions)
            holds = holds || p.quantity != 0;
        if (holds && std::fabs(todayResult(*a) - a->sentResult) >= 0.005)
            sendPositions(*a);
    }
    std::vector<QByteArray> gv;
    if (today.empty())
        return gv;
    const auto entry = [](const Entry& e) { return e.a->info.name + ' ' + (e.key >= 0 ? "+" : "") + plain(e.key); };
    QByteArray winners = "Gewinner:";
    QByteArray losers = "Verlierer:";
    for (size_t i = 0; i < today.size() && i < 3; ++i) {
        if (today[i].key > 0)
            winners += ' ' + entry(today[i]);
        const Entry& l = today[today.size() - 1 - i];
        if (l.key < 0)
            losers += ' ' + entry(l);
    }
    gv.push_back(winners.endsWith(':') ? winners + " -" : winners);
    gv.push_back(losers.endsWith(':') ? losers + " -" : losers);
    return gv;
}

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
