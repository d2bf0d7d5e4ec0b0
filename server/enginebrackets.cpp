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
        const bool hasExits = std::any_of(a->orders.begin(), a->orders.end(), [&](const auto& x) {
            return x->isExit() && x->bracketOrderId == o->orderId;
        });
        if (!hasExits) {
            o->role = role::Plain;
            o->bracketOrderId.clear();
            changed(*o);
        }
    }
    sendOrder(*a, *o);
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

} // namespace korvi::server
