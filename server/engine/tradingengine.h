#pragma once

#include "instrumentconfig.h"
#include "messages.h"
#include "orderallowance.h"
#include "participantstore.h"
#include "pricesimulator.h"
#include "trading.h"

#include <QDateTime>
#include <QHash>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace korvi::server {

class TradeStore;

// Where the engine's messages go: to every connection of one participant.
class TradeOutbox {
public:
    virtual ~TradeOutbox() = default;
    virtual void toParticipant(qint64 participant, QByteArray message) = 0;
    // Every fill of the game, for the anonymous trades feed.
    virtual void executed(const Execution&) {}
};

struct EngineOptions {
    // Limit and stop orders fill at once at their own price, market orders in full; for
    // tests that must not wait for the market.
    bool instantFills = false;
    // Open orders one participant may have at once; a further order is refused.
    int maxOpenOrders = kMaxOpenOrders;
    // Order rate and orders per trading day of one participant.
    OrderLimitSettings orderLimits = kDefaultOrderLimits;
    // Milliseconds of a steady clock, for the order rate; empty: the system's.
    std::function<qint64()> steadyClock = {};
};

// The trading game: every participant's orders, fills, positions and account, matched
// against the simulated market's quotes. Orders trade against the quote alone (the
// simulated market is the counterparty); each fill takes at most the size quoted on the
// side it meets, and what is left waits for the next quote. All changes are handed to the
// store as they happen; the caller commits the store before it passes the messages on.
class TradingEngine {
public:
    using Options = EngineOptions;
    using Clock = std::function<QDateTime()>;

    TradingEngine(const std::vector<InstrumentSpec>& definitions, std::vector<PriceState> quotes, TradeStore* store,
                  TradeOutbox& outbox, Options options = {}, Clock clock = {});
    ~TradingEngine();
    TradingEngine(const TradingEngine&) = delete;
    TradingEngine& operator=(const TradingEngine&) = delete;

    // Restores the state the store holds and makes sure every participant has an account.
    // Books a daily close that was missed while the server was down.
    bool restore(const std::vector<Participant>& participants, QString& error);
    // Makes sure a participant added while the server runs has an account.
    void addParticipant(const Participant& participant);

    // The participant's requests; the answers go to the outbox.
    void placeOrder(qint64 participant, QByteArrayView body);
    void cancelOrder(qint64 participant, QByteArrayView body);
    void makeBracketMain(qint64 participant, QByteArrayView body);
    // "@BR?=": the participant dropped the exits it had prepared for an order. The order is
    // reported again ("@OO"); a main that never got an exit is a plain order again, so the
    // participant can attach a new bracket to it.
    void bracketQuery(qint64 participant, QByteArrayView body);

    // A new quote of one instrument (0-based): working orders of it may fill.
    void onQuote(int instrument, const PriceState& quote);
    // Fills the market-on-close orders at the last price, ends the day's open orders,
    // books every account's day and starts the next trading day.
    void dailyClose();
    qint32 tradingDay() const { return m_tradingDay; }

    // Places among all participants; sends "@SUP" to those whose places changed and
    // "@SUD" to holders of positions whose result moved. Returns the winners and losers.
    std::vector<QByteArray> updateRankings();

    // Messages of the login and of the request buttons.
    std::vector<QByteArray> loginMessages(qint64 participant) const;
    QByteArray allOrdersMessage(qint64 participant) const;
    QByteArray openOrdersMessage(qint64 participant) const;
    QByteArray allExecutionsMessage(qint64 participant) const;
    QByteArray accountMessage(qint64 participant) const;
    QByteArray positionsMessage(qint64 participant) const;
    QByteArray placesMessage(qint64 participant) const;
    QByteArray placeInfoMessage(qint64 participant) const;
    QByteArray statementMessage(qint64 participant, qint32 day) const;
    std::vector<QByteArray> systemInfoLines(int participantsOnline, QByteArrayView closeTime) const;

    // Figures for tests and the statistics.
    using Figures = AccountFigures;
    Figures figures(qint64 participant) const;
    Position position(qint64 participant, int instrument) const;
    const Order* findOrder(qint64 participant, qint32 userOrderId) const;
    qint64 ordersToday() const { return m_ordersToday; }
    qint64 fillsToday() const { return m_fillsToday; }

    // The statement lines of one day, without the file name.
    std::vector<QByteArray> statementLines(qint64 participant, qint32 day) const;

private:
    struct Account;

    Account* account(qint64 participant);
    const Account* account(qint64 participant) const;
    QByteArray timeNow() const;
    qint32 calendarDay() const;

    void reject(Account& a, qint32 userOrderId, QByteArrayView why);
    bool marginCovered(const Account& a, int instrument, qint32 quantity) const;
    void accept(Account& a, Order order);
    void addWorking(Order* o);
    void tryFill(Order& o);
    void fill(Order& o, qint32 quantity, double price);
    void activateExits(Account& a, const Order& main);
    void activate(Account& a, Order& exit, const Order& main);
    void onExitFilled(Account& a, const Order& exit);
    qint32 openInGroup(Account& a, const Order& main);
    qint32 closable(const Account& a, const Order& exit) const;
    void endStrandedExits(Account& a, int instrument);
    void track(Account& a, Order* o);
    void cancel(Account& a, Order& o);
    Order* parentOf(Account& a, const Order& exit);
    std::vector<Order*> exitsOf(Account& a, const QByteArray& mainId); // the open ones

    Order* referenced(Account& a, QByteArrayView body, QByteArray& why);
    void sendOrder(const Account& a, const Order& o);
    void sendStatus(const Account& a, const Order& o, double newLimit = 0);
    void sendPositions(Account& a);
    void changed(const Order& o);
    void saveAccount(const Account& a);

    double todayResult(const Account& a) const;
    double totalMargin(const Account& a) const;
    double value(const Account& a, int instrument) const;
    msg::OrderLine lineOf(const Order& o) const;
    msg::ExecutionLine lineOf(const Account& a, const Execution& e) const;
    msg::AccountLine accountLine(const Account& a) const;
    QByteArray positionText(const Account& a) const;
    double roundToTick(int instrument, double price) const;

    std::vector<InstrumentSpec> m_specs;
    std::vector<PriceState> m_quotes;
    TradeStore* m_store;
    TradeOutbox& m_outbox;
    Options m_options;
    Clock m_clock;
    mutable QDateTime m_timeOf;
    mutable QByteArray m_timeText;
    std::unordered_map<qint64, std::unique_ptr<Account>> m_accounts;
    // Per instrument: active orders that may fill on the next quote (not market-on-close).
    std::vector<std::vector<Order*>> m_working;
    qint64 m_nextOrderSeq = 1;
    qint64 m_nextExecutionSeq = 1;
    qint32 m_tradingDay = 0;
    qint64 m_ordersToday = 0;
    qint64 m_fillsToday = 0;
    int m_rankedTotal = 0;
    int m_rankedToday = 0;
};

} // namespace korvi::server
