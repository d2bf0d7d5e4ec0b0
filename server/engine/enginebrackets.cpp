// The trading engine: bracket exits, activated when their main order fills; one cancels the other.
#include "engineshared.h"
#include "serverlog.h"
#include "tradestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvi::server {

// ---- brackets --------------------------------------------------------------------------

Order* TradingEngine::parentOf(Account& a, const Order& exit)
{
    Order* p = a.byUserId.value(exit.parentUserId, nullptr);
    return p && p->orderId == exit.bracketOrderId ? p : nullptr;
}

std::vector<Order*> TradingEngine::exitsOf(Account& a, const QByteArray& mainId)
{
    std::vector<Order*> out;
    for (Order* o : a.exits.value(mainId)) {
        if (o->open())
            out.push_back(o);
    }
    return out;
}

void TradingEngine::activateExits(Account& a, const Order& main)
{
    for (Order* exit : exitsOf(a, main.orderId))
        activate(a, *exit, main);
}

void TradingEngine::activate(Account& a, Order& exit, const Order& main)
{
    if (!exit.open() || exit.active)
        return;
    exit.active = true;
    exit.status = status::Submitted;
    exit.statusTime = timeNow();
    // An exit covers what the main filled and its siblings have not closed yet, and never
    // more than the participant holds on the side it closes.
    exit.remaining = std::min({exit.remaining, openInGroup(a, main), closable(a, exit)});
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

qint32 TradingEngine::openInGroup(Account& a, const Order& main)
{
    // The exits of one main are alternatives for the same pieces: together they close at
    // most what the main filled.
    qint64 closed = 0;
    for (const Order* x : a.exits.value(main.orderId))
        closed += x->filled;
    return static_cast<qint32>(std::max<qint64>(0, main.filled - closed));
}

qint32 TradingEngine::closable(const Account& a, const Order& exit) const
{
    const qint32 pos = a.positions[static_cast<size_t>(exit.instrument)].quantity;
    return exit.buy ? std::max(0, -pos) : std::max(0, pos);
}

void TradingEngine::endStrandedExits(Account& a, int instrument)
{
    // An active exit with nothing left to close on its side would open a new position or
    // close one it does not belong to later; it ends now.
    std::vector<Order*> stranded;
    for (Order* o : a.live) {
        if (o->open() && o->isExit() && o->active && o->instrument == instrument && closable(a, *o) == 0)
            stranded.push_back(o);
    }
    for (Order* o : stranded)
        cancel(a, *o);
}

void TradingEngine::bracketQuery(qint64 participant, QByteArrayView body)
{
    Account* a = account(participant);
    if (!a)
        return;
    QByteArray why;
    Order* o = referenced(*a, body, why);
    if (!o) {
        logRepeated(QStringLiteral("bracket query %1").arg(participant),
                    QStringLiteral("participant %1: bracket query for an unknown order ignored").arg(participant));
        return;
    }
    if (o->role == role::Main) {
        if (a->exits.value(o->orderId).empty()) {
            o->role = role::Plain;
            o->bracketOrderId.clear();
            changed(*o);
        }
    }
    sendOrder(*a, *o);
}

void TradingEngine::onExitFilled(Account& a, const Order& exit)
{
    // One cancels the others: what one exit closed, the others need not close any more.
    Order* main = parentOf(a, exit);
    const qint32 open = main ? openInGroup(a, *main) : 0;
    for (Order* other : exitsOf(a, exit.bracketOrderId)) {
        if (other == &exit || !other->open())
            continue;
        other->remaining = std::min(other->remaining, open);
        if (other->remaining == 0) {
            cancel(a, *other);
        } else {
            changed(*other);
            sendStatus(a, *other);
        }
    }
}

} // namespace korvi::server
