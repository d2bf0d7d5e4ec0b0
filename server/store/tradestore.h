#pragma once

#include "pricesimulator.h"
#include "trading.h"

#include <QHash>
#include <QString>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace korvi::server {

// The trading records in the game's SQLite database: orders, fills, positions, the
// account figures of the participants and the booked days. Changes are collected as they
// happen and written together by commit(), one transaction for everything that happened
// since the last one, so a fast stream of orders costs one disk flush per batch and a
// killed server finds either all of a batch or none of it. The caller sends nothing about
// a change before the commit that holds it.
class TradeStore {
public:
    using AccountRow = AccountFigures;
    struct PositionRow {
        qint64 participant = 0;
        int instrument = 0;
        Position position;
    };
    // What a restart needs.
    struct Snapshot {
        qint32 tradingDay = 0;                // 0: never traded
        qint64 nextOrderSeq = 1;
        qint64 nextExecutionSeq = 1;
        std::vector<Order> orders;            // the open ones and all of the trading day
        std::vector<Execution> executions;    // of the trading day
        std::vector<PositionRow> positions;
        std::vector<qint64> traded;           // participants with any fill ever
    };

    TradeStore();
    ~TradeStore();
    TradeStore(const TradeStore&) = delete;
    TradeStore& operator=(const TradeStore&) = delete;

    // Opens the database in `folder` (the participants' database) and adds the trading
    // tables when they are missing.
    bool open(const QString& folder, QString& error);
    bool load(Snapshot& out, QString& error);

    void saveOrder(const Order& order);
    void saveExecution(const Execution& execution);
    void savePosition(qint64 participant, int instrument, const Position& position);
    void saveAccount(qint64 participant, const AccountRow& account);
    void saveDayBook(const DayBook& book);
    void saveTradingDay(qint32 day);
    // The last quote of an instrument, by ticker, so a restarted market goes on from there
    // and positions keep their value.
    void saveQuote(const QByteArray& ticker, const PriceState& quote);
    bool loadQuotes(QHash<QByteArray, PriceState>& out, QString& error) const;

    bool pending() const;
    // Writes everything collected. On failure nothing is lost: the changes stay collected
    // and the next commit tries again.
    bool commit(QString& error);

    std::vector<Order> ordersOfDay(qint64 participant, qint32 day) const;
    std::vector<Execution> executionsOfDay(qint64 participant, qint32 day) const;
    std::optional<DayBook> dayBook(qint64 participant, qint32 day) const;

private:
    struct Statements;
    bool createSchema(QString& error);
    bool prepare(QString& error);

    QString m_connection;
    std::unique_ptr<Statements> m_statements; // prepared once, used by every commit
    std::unordered_map<qint64, Order> m_orders;               // by seq
    std::vector<Execution> m_executions;
    std::unordered_map<qint64, PositionRow> m_positions;      // by participant and instrument
    std::unordered_map<qint64, AccountRow> m_accounts;        // by participant
    std::vector<DayBook> m_dayBooks;
    std::optional<qint32> m_tradingDay;
    QHash<QByteArray, PriceState> m_quotes;      // by ticker
};

} // namespace korvi::server
