// The trading engine: accounts, restoring from the store and adding participants.
#include "engineshared.h"
#include "orderrequest.h"
#include "serverlog.h"
#include "tradestore.h"

#include <QElapsedTimer>
#include <algorithm>
#include <memory>
#include <cmath>
#include <limits>

namespace korvi::server {

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
    if (!m_options.steadyClock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_options.steadyClock = [timer] { return timer->elapsed(); };
    }
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
        track(*a, p);
        if (p->day == m_tradingDay) {
            ++m_ordersToday;
            a->allowance.accepted(m_tradingDay);
        }
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

} // namespace korvi::server
