// The trading engine: the daily close and the rankings.
#include "engineshared.h"
#include "serverlog.h"
#include "tradestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvi::server {

// ---- the day ---------------------------------------------------------------------------

void TradingEngine::dailyClose()
{
    const qint32 day = m_tradingDay;
    // Exits still waiting for their main end first: a main that fills at the close would
    // otherwise start them trading after the market closed.
    for (auto& [id, a] : m_accounts) {
        for (size_t i = 0; i < a->orders.size(); ++i) {
            Order& o = *a->orders[i];
            if (o.open() && o.isExit() && !o.active)
                cancel(*a, o);
        }
    }
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
                const Order* main = parentOf(*a, o);
                quantity = std::min({quantity, main ? openInGroup(*a, *main) : 0, closable(*a, o)});
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
        a->exits.clear();
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

} // namespace korvi::server
