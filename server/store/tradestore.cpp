#include "tradestore.h"

#include "gamedatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace korvi::server {

namespace {

constexpr int kTradeSchemaVersion = 1;

const char* kOrderColumns =
    "seq, participant, order_id, user_order_id, instrument, buy, type, quantity, limit1, limit2, status, filled,"
    " remaining, average_price, order_time, status_time, role, parent_user_id, bracket_order_id, active,"
    " triggered, day";
const char* kExecutionColumns =
    "seq, participant, execution_id, order_id, user_order_id, instrument, buy, type, quantity, price, sum,"
    " commission, profit, time, day";

// Never a null string: the columns are NOT NULL and an empty text is a value.
QString text(const QByteArray& b) { return b.isEmpty() ? QStringLiteral("") : QString::fromLatin1(b); }
QByteArray bytes(const QVariant& v) { return v.toString().toLatin1(); }

Order readOrder(const QSqlQuery& q)
{
    Order o;
    o.seq = q.value(0).toLongLong();
    o.participant = q.value(1).toLongLong();
    o.orderId = bytes(q.value(2));
    o.userOrderId = q.value(3).toInt();
    o.instrument = q.value(4).toInt();
    o.buy = q.value(5).toInt() != 0;
    o.type = static_cast<OrderType>(q.value(6).toInt());
    o.quantity = q.value(7).toInt();
    o.limit1 = q.value(8).toDouble();
    o.limit2 = q.value(9).toDouble();
    o.status = static_cast<qint16>(q.value(10).toInt());
    o.filled = q.value(11).toInt();
    o.remaining = q.value(12).toInt();
    o.averagePrice = q.value(13).toDouble();
    o.orderTime = bytes(q.value(14));
    o.statusTime = bytes(q.value(15));
    o.role = static_cast<qint16>(q.value(16).toInt());
    o.parentUserId = q.value(17).toInt();
    o.bracketOrderId = bytes(q.value(18));
    o.active = q.value(19).toInt() != 0;
    o.triggered = q.value(20).toInt() != 0;
    o.day = q.value(21).toInt();
    return o;
}

Execution readExecution(const QSqlQuery& q)
{
    Execution e;
    e.seq = q.value(0).toLongLong();
    e.participant = q.value(1).toLongLong();
    e.executionId = bytes(q.value(2));
    e.orderId = bytes(q.value(3));
    e.userOrderId = q.value(4).toInt();
    e.instrument = q.value(5).toInt();
    e.buy = q.value(6).toInt() != 0;
    e.type = static_cast<OrderType>(q.value(7).toInt());
    e.quantity = q.value(8).toInt();
    e.price = q.value(9).toDouble();
    e.sum = q.value(10).toDouble();
    e.commission = q.value(11).toDouble();
    e.profit = q.value(12).toDouble();
    e.time = bytes(q.value(13));
    e.day = q.value(14).toInt();
    return e;
}

qint64 positionKey(qint64 participant, int instrument) { return participant * 65536 + instrument; }

} // namespace

struct TradeStore::Statements {
    explicit Statements(const QSqlDatabase& db) : order(db), execution(db), position(db), account(db) {}
    QSqlQuery order;
    QSqlQuery execution;
    QSqlQuery position;
    QSqlQuery account;
};

TradeStore::TradeStore()
    : m_connection(QStringLiteral("trades-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TradeStore::~TradeStore()
{
    m_statements.reset();
    closeGameDatabase(m_connection);
}

bool TradeStore::open(const QString& folder, QString& error)
{
    // A commit is kept once the process has handed it to the system, so a killed server
    // keeps it; only a power cut may lose the last batches. A disk flush per batch would
    // cap the order rate at the disk's flush rate.
    return openGameDatabase(folder, m_connection, false, error) && createSchema(error);
}

bool TradeStore::createSchema(QString& error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS trade_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS orders (seq INTEGER PRIMARY KEY, participant INTEGER NOT NULL,"
                       " order_id TEXT NOT NULL, user_order_id INTEGER NOT NULL, instrument INTEGER NOT NULL,"
                       " buy INTEGER NOT NULL, type INTEGER NOT NULL, quantity INTEGER NOT NULL, limit1 REAL NOT NULL,"
                       " limit2 REAL NOT NULL, status INTEGER NOT NULL, filled INTEGER NOT NULL,"
                       " remaining INTEGER NOT NULL, average_price REAL NOT NULL, order_time TEXT NOT NULL,"
                       " status_time TEXT NOT NULL, role INTEGER NOT NULL, parent_user_id INTEGER NOT NULL,"
                       " bracket_order_id TEXT NOT NULL, active INTEGER NOT NULL, triggered INTEGER NOT NULL,"
                       " day INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS orders_open ON orders (status)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS orders_day ON orders (participant, day)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS executions (seq INTEGER PRIMARY KEY, participant INTEGER NOT NULL,"
                       " execution_id TEXT NOT NULL, order_id TEXT NOT NULL, user_order_id INTEGER NOT NULL,"
                       " instrument INTEGER NOT NULL, buy INTEGER NOT NULL, type INTEGER NOT NULL,"
                       " quantity INTEGER NOT NULL, price REAL NOT NULL, sum REAL NOT NULL, commission REAL NOT NULL,"
                       " profit REAL NOT NULL, time TEXT NOT NULL, day INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS executions_day ON executions (participant, day)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS executions_day_only ON executions (day)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS positions (participant INTEGER NOT NULL, instrument INTEGER NOT NULL,"
                       " quantity INTEGER NOT NULL, cost REAL NOT NULL, PRIMARY KEY (participant, instrument))"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS quotes (ticker TEXT PRIMARY KEY, last REAL NOT NULL, bid REAL NOT NULL,"
                       " ask REAL NOT NULL, bid_size INTEGER NOT NULL, ask_size INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS day_books (participant INTEGER NOT NULL, day INTEGER NOT NULL,"
                       " result REAL NOT NULL, base_before REAL NOT NULL, base_after REAL NOT NULL,"
                       " margin REAL NOT NULL, positions TEXT NOT NULL, PRIMARY KEY (participant, day))"),
    };
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    for (const QString& s : statements) {
        if (!q.exec(s)) {
            error = q.lastError().text();
            db.rollback();
            return false;
        }
    }
    q.exec(QStringLiteral("SELECT value FROM trade_meta WHERE key = 'schema'"));
    if (q.next()) {
        if (q.value(0).toInt() > kTradeSchemaVersion) {
            db.rollback();
            error = QStringLiteral("the trading tables were written by a newer server");
            return false;
        }
    } else if (!q.exec(QStringLiteral("INSERT INTO trade_meta (key, value) VALUES ('schema', '%1')").arg(kTradeSchemaVersion))) {
        error = q.lastError().text();
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = db.lastError().text();
        return false;
    }
    return true;
}

bool TradeStore::prepare(QString& error)
{
    auto s = std::make_unique<Statements>(QSqlDatabase::database(m_connection));
    const bool ok =
        s->order.prepare(QStringLiteral("INSERT OR REPLACE INTO orders (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                             .arg(QLatin1String(kOrderColumns)))
        && s->execution.prepare(QStringLiteral("INSERT OR REPLACE INTO executions (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                                    .arg(QLatin1String(kExecutionColumns)))
        && s->position.prepare(QStringLiteral("INSERT OR REPLACE INTO positions (participant, instrument, quantity, cost)"
                                              " VALUES (?,?,?,?)"))
        && s->account.prepare(QStringLiteral("UPDATE participants SET base_value = ?, today_result = ?, total_margin = ?,"
                                             " total_place = ?, day_place = ?, last_order_id = ? WHERE id = ?"));
    if (!ok) {
        error = QSqlDatabase::database(m_connection).lastError().text();
        return false;
    }
    m_statements = std::move(s);
    return true;
}

bool TradeStore::load(Snapshot& out, QString& error)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.setForwardOnly(true);
    const auto run = [&](const QString& sql) {
        if (!q.exec(sql)) {
            error = q.lastError().text();
            return false;
        }
        return true;
    };
    if (!run(QStringLiteral("SELECT value FROM trade_meta WHERE key = 'trading_day'")))
        return false;
    out.tradingDay = q.next() ? q.value(0).toInt() : 0;
    if (!run(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM orders")))
        return false;
    out.nextOrderSeq = q.next() ? q.value(0).toLongLong() + 1 : 1;
    if (!run(QStringLiteral("SELECT COALESCE(MAX(seq), 0) FROM executions")))
        return false;
    out.nextExecutionSeq = q.next() ? q.value(0).toLongLong() + 1 : 1;
    if (!run(QStringLiteral("SELECT %1 FROM orders WHERE status NOT IN (5, 6) OR day = %2 ORDER BY seq")
                 .arg(QLatin1String(kOrderColumns)).arg(out.tradingDay)))
        return false;
    while (q.next())
        out.orders.push_back(readOrder(q));
    if (!run(QStringLiteral("SELECT %1 FROM executions WHERE day = %2 ORDER BY seq")
                 .arg(QLatin1String(kExecutionColumns)).arg(out.tradingDay)))
        return false;
    while (q.next())
        out.executions.push_back(readExecution(q));
    if (!run(QStringLiteral("SELECT participant, instrument, quantity, cost FROM positions WHERE quantity <> 0")))
        return false;
    while (q.next())
        out.positions.push_back({q.value(0).toLongLong(), q.value(1).toInt(), Position{q.value(2).toInt(), q.value(3).toDouble()}});
    if (!run(QStringLiteral("SELECT DISTINCT participant FROM executions")))
        return false;
    while (q.next())
        out.traded.push_back(q.value(0).toLongLong());
    return true;
}

void TradeStore::saveOrder(const Order& order) { m_orders.insert_or_assign(order.seq, order); }
void TradeStore::saveExecution(const Execution& execution) { m_executions.push_back(execution); }

void TradeStore::savePosition(qint64 participant, int instrument, const Position& position)
{
    m_positions.insert_or_assign(positionKey(participant, instrument), PositionRow{participant, instrument, position});
}

void TradeStore::saveAccount(qint64 participant, const AccountRow& account)
{
    m_accounts.insert_or_assign(participant, account);
}

void TradeStore::saveDayBook(const DayBook& book) { m_dayBooks.push_back(book); }
void TradeStore::saveTradingDay(qint32 day) { m_tradingDay = day; }

void TradeStore::saveQuote(const QByteArray& ticker, const PriceState& quote) { m_quotes.insert(ticker, quote); }

bool TradeStore::loadQuotes(QHash<QByteArray, PriceState>& out, QString& error) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT ticker, last, bid, ask, bid_size, ask_size FROM quotes"))) {
        error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        out.insert(q.value(0).toString().toLatin1(),
                             PriceState{q.value(1).toDouble(), q.value(2).toDouble(), q.value(3).toDouble(),
                                        q.value(4).toInt(), q.value(5).toInt()});
    }
    return true;
}

bool TradeStore::pending() const
{
    return !m_orders.empty() || !m_executions.empty() || !m_positions.empty() || !m_accounts.empty()
           || !m_dayBooks.empty() || m_tradingDay || !m_quotes.isEmpty();
}

bool TradeStore::commit(QString& error)
{
    if (!pending())
        return true;
    if (!m_statements && !prepare(error))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    const auto fail = [&](const QSqlQuery& q) {
        error = q.lastError().text();
        db.rollback();
        return false;
    };
    {
        QSqlQuery& q = m_statements->order;
        for (const auto& [seq, o] : m_orders) {
            int i = 0;
            for (const QVariant& v : {QVariant(o.seq), QVariant(o.participant), QVariant(text(o.orderId)),
                                      QVariant(o.userOrderId), QVariant(o.instrument), QVariant(o.buy ? 1 : 0),
                                      QVariant(static_cast<int>(o.type)), QVariant(o.quantity), QVariant(o.limit1),
                                      QVariant(o.limit2), QVariant(static_cast<int>(o.status)), QVariant(o.filled),
                                      QVariant(o.remaining), QVariant(o.averagePrice), QVariant(text(o.orderTime)),
                                      QVariant(text(o.statusTime)), QVariant(static_cast<int>(o.role)),
                                      QVariant(o.parentUserId), QVariant(text(o.bracketOrderId)),
                                      QVariant(o.active ? 1 : 0), QVariant(o.triggered ? 1 : 0), QVariant(o.day)})
                q.bindValue(i++, v);
            if (!q.exec())
                return fail(q);
        }
    }
    {
        QSqlQuery& q = m_statements->execution;
        for (const Execution& e : m_executions) {
            int i = 0;
            for (const QVariant& v : {QVariant(e.seq), QVariant(e.participant), QVariant(text(e.executionId)),
                                      QVariant(text(e.orderId)), QVariant(e.userOrderId), QVariant(e.instrument),
                                      QVariant(e.buy ? 1 : 0), QVariant(static_cast<int>(e.type)), QVariant(e.quantity),
                                      QVariant(e.price), QVariant(e.sum), QVariant(e.commission), QVariant(e.profit),
                                      QVariant(text(e.time)), QVariant(e.day)})
                q.bindValue(i++, v);
            if (!q.exec())
                return fail(q);
        }
    }
    {
        QSqlQuery& q = m_statements->position;
        for (const auto& [key, p] : m_positions) {
            q.bindValue(0, p.participant);
            q.bindValue(1, p.instrument);
            q.bindValue(2, p.position.quantity);
            q.bindValue(3, p.position.cost);
            if (!q.exec())
                return fail(q);
        }
    }
    {
        QSqlQuery& q = m_statements->account;
        for (const auto& [id, a] : m_accounts) {
            q.bindValue(0, a.baseValue);
            q.bindValue(1, a.todayResult);
            q.bindValue(2, a.totalMargin);
            q.bindValue(3, a.totalPlace);
            q.bindValue(4, a.dayPlace);
            q.bindValue(5, a.lastOrderId);
            q.bindValue(6, id);
            if (!q.exec())
                return fail(q);
        }
    }
    QSqlQuery q(db);
    if (!m_dayBooks.empty()) {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO day_books (participant, day, result, base_before, base_after,"
                                 " margin, positions) VALUES (?,?,?,?,?,?,?)"));
        for (const DayBook& b : m_dayBooks) {
            q.bindValue(0, b.participant);
            q.bindValue(1, b.day);
            q.bindValue(2, b.result);
            q.bindValue(3, b.baseBefore);
            q.bindValue(4, b.baseAfter);
            q.bindValue(5, b.margin);
            q.bindValue(6, text(b.positions));
            if (!q.exec())
                return fail(q);
        }
    }
    if (m_tradingDay) {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO trade_meta (key, value) VALUES ('trading_day', ?)"));
        q.bindValue(0, QString::number(*m_tradingDay));
        if (!q.exec())
            return fail(q);
    }
    if (!m_quotes.isEmpty()) {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO quotes (ticker, last, bid, ask, bid_size, ask_size)"
                                 " VALUES (?,?,?,?,?,?)"));
        for (auto it = m_quotes.cbegin(); it != m_quotes.cend(); ++it) {
            const PriceState& quote = it.value();
            q.bindValue(0, QString::fromLatin1(it.key()));
            q.bindValue(1, quote.last);
            q.bindValue(2, quote.bid);
            q.bindValue(3, quote.ask);
            q.bindValue(4, quote.bidSize);
            q.bindValue(5, quote.askSize);
            if (!q.exec())
                return fail(q);
        }
    }
    if (!db.commit()) {
        error = db.lastError().text();
        db.rollback();
        return false;
    }
    m_quotes.clear();
    m_orders.clear();
    m_executions.clear();
    m_positions.clear();
    m_accounts.clear();
    m_dayBooks.clear();
    m_tradingDay.reset();
    return true;
}

std::vector<Order> TradeStore::ordersOfDay(qint64 participant, qint32 day) const
{
    std::vector<Order> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM orders WHERE participant = ? AND day = ? ORDER BY seq").arg(QLatin1String(kOrderColumns)));
    q.addBindValue(participant);
    q.addBindValue(day);
    if (q.exec()) {
        while (q.next())
            out.push_back(readOrder(q));
    }
    return out;
}

std::vector<Execution> TradeStore::executionsOfDay(qint64 participant, qint32 day) const
{
    std::vector<Execution> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM executions WHERE participant = ? AND day = ? ORDER BY seq")
                  .arg(QLatin1String(kExecutionColumns)));
    q.addBindValue(participant);
    q.addBindValue(day);
    if (q.exec()) {
        while (q.next())
            out.push_back(readExecution(q));
    }
    return out;
}

std::optional<DayBook> TradeStore::dayBook(qint64 participant, qint32 day) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT result, base_before, base_after, margin, positions FROM day_books"
                             " WHERE participant = ? AND day = ?"));
    q.addBindValue(participant);
    q.addBindValue(day);
    if (!q.exec() || !q.next())
        return std::nullopt;
    DayBook b;
    b.participant = participant;
    b.day = day;
    b.result = q.value(0).toDouble();
    b.baseBefore = q.value(1).toDouble();
    b.baseAfter = q.value(2).toDouble();
    b.margin = q.value(3).toDouble();
    b.positions = bytes(q.value(4));
    return b;
}

} // namespace korvi::server
