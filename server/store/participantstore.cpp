#include "participantstore.h"

#include "dates.h"
#include "gamedatabase.h"
#include "passwordhash.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace korvi::server {

namespace {

constexpr int kSchemaVersion = 1;
constexpr double kStartCapital = 100000;

QString sqlError(const QSqlQuery& q) { return q.lastError().text(); }

// Reads the participant columns (kColumns) starting at column `at`.
Participant readRow(const QSqlQuery& q, int at = 0)
{
    const auto v = [&](int i) { return q.value(at + i); };
    Participant p;
    p.id = v(0).toLongLong();
    p.name = v(1).toString().toLatin1();
    p.shortId = v(2).toString().toLatin1();
    p.level = v(3).toInt();
    p.blocked = v(4).toInt() != 0;
    p.accountStart = v(5).toString().toLatin1();
    p.accountText = v(6).toString().toLatin1();
    p.accountFigure3 = v(7).toDouble();
    p.baseValue = v(8).toDouble();
    p.todayResult = v(9).toDouble();
    p.totalMargin = v(10).toDouble();
    p.totalPlace = static_cast<qint16>(v(11).toInt());
    p.dayPlace = static_cast<qint16>(v(12).toInt());
    p.lastOrderId = v(13).toInt();
    return p;
}

const char* kColumns = "id, name, short_id, level, blocked, account_start, account_text, account_figure3, "
                       "base_value, today_result, total_margin, total_place, day_place, last_order_id";

} // namespace

ParticipantStore::ParticipantStore()
    : m_connection(QStringLiteral("participants-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

ParticipantStore::~ParticipantStore() { closeGameDatabase(m_connection); }

namespace {

// Runs the statements in turn; false with `error` at the first that fails.
bool execAll(QSqlQuery& q, const QStringList& statements, QString& error)
{
    for (const QString& statement : statements) {
        if (!q.exec(statement)) {
            error = sqlError(q);
            return false;
        }
    }
    return true;
}

} // namespace

bool ParticipantStore::open(const QString& folder, QString& error)
{
    // Participants change seldom: every change goes to the disk at once.
    if (!openGameDatabase(folder, m_connection, true, error))
        return false;
    m_dummyHash = hashPassword("not a password", m_hashIterations);
    if (!createSchema(error))
        return false;
    // Without the count (an older store on a folder this process may only read) the change
    // count reads as unknown and a running server looks at all participants, as it used to.
    QString ignored;
    ensureChangeCount(ignored);
    return true;
}

bool ParticipantStore::ensureChangeCount(QString& error)
{
    // Kept by the database itself, so every writer (also an older program) moves it. Made
    // only where it is missing, so a store that is complete is not written to.
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name IN ('participant_changes', 'participant_added',"
                              " 'participant_removed', 'participant_credentials')"))
        && q.next() && q.value(0).toInt() == 4)
        return true;
    q.finish();
    const QString bump = QStringLiteral(" BEGIN UPDATE participant_changes SET count = count + 1 WHERE id = 1; END");
    const QStringList statements = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS participant_changes (id INTEGER PRIMARY KEY CHECK (id = 1), count INTEGER NOT NULL)"),
        QStringLiteral("INSERT OR IGNORE INTO participant_changes (id, count) VALUES (1, 0)"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS participant_added AFTER INSERT ON participants") + bump,
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS participant_removed AFTER DELETE ON participants") + bump,
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS participant_credentials AFTER UPDATE OF name, password, blocked, level ON participants")
            + bump,
    };
    return inTransaction(error, [&] { return execAll(q, statements, error); });
}

qint64 ParticipantStore::changeCount() const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (q.exec(QStringLiteral("SELECT count FROM participant_changes WHERE id = 1")) && q.next())
        return q.value(0).toLongLong();
    return -1;
}

bool ParticipantStore::createSchema(QString& error)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL)"))) {
        error = sqlError(q);
        db.rollback();
        return false;
    }
    q.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema'"));
    if (q.next()) {
        db.commit();
        if (q.value(0).toInt() > kSchemaVersion) {
            error = QStringLiteral("the database was written by a newer server");
            return false;
        }
        m_createdNow = false;
        return true;
    }
    const QStringList statements = {
        QStringLiteral("CREATE TABLE participants ("
                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                       " password TEXT NOT NULL,"
                       " short_id TEXT NOT NULL UNIQUE DEFAULT '',"
                       " level INTEGER NOT NULL DEFAULT 1,"
                       " blocked INTEGER NOT NULL DEFAULT 0,"
                       " account_start TEXT NOT NULL,"
                       " account_text TEXT NOT NULL DEFAULT '',"
                       " account_figure3 REAL NOT NULL DEFAULT 0,"
                       " base_value REAL NOT NULL,"
                       " today_result REAL NOT NULL DEFAULT 0,"
                       " total_margin REAL NOT NULL DEFAULT 0,"
                       " total_place INTEGER NOT NULL DEFAULT 0,"
                       " day_place INTEGER NOT NULL DEFAULT 0,"
                       " last_order_id INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("INSERT INTO meta (key, value) VALUES ('schema', '%1')").arg(kSchemaVersion),
    };
    if (!execAll(q, statements, error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = db.lastError().text();
        return false;
    }
    m_createdNow = true;
    return true;
}

bool ParticipantStore::validName(const QByteArray& name, QString& error)
{
    if (name.isEmpty() || name.size() > 30) {
        error = QStringLiteral("a name has 1 to 30 characters");
        return false;
    }
    if (name != name.trimmed()) {
        error = QStringLiteral("a name must not begin or end with a blank");
        return false;
    }
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ';' || c == '%') {
            error = QStringLiteral("a name must not contain ';', '%' or control characters");
            return false;
        }
    }
    return true;
}

bool ParticipantStore::validPassword(const QByteArray& password, QString& error)
{
    if (password.isEmpty() || password.size() > 60) {
        error = QStringLiteral("a password has 1 to 60 characters");
        return false;
    }
    for (char c : password) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            error = QStringLiteral("a password must not contain control characters");
            return false;
        }
    }
    return true;
}

bool ParticipantStore::insert(const QByteArray& name, const QByteArray& password, QString& error)
{
    if (!validName(name, error) || !validPassword(password, error))
        return false;
    return insertHashed(name, hashPassword(password, m_hashIterations), error);
}

bool ParticipantStore::insertHashed(const QByteArray& name, const QByteArray& hash, QString& error)
{
    if (!validName(name, error))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO participants (name, password, account_start, base_value)"
                             " VALUES (?, ?, ?, ?)"));
    q.addBindValue(QString::fromLatin1(name));
    q.addBindValue(QString::fromLatin1(hash));
    q.addBindValue(QString::fromLatin1(DatumText(dayNumber(QDate::currentDate()))));
    q.addBindValue(kStartCapital);
    if (!q.exec()) {
        error = q.lastError().nativeErrorCode() == QLatin1String("2067") || sqlError(q).contains(QLatin1String("UNIQUE"))
                    ? QStringLiteral("participant %1 exists already").arg(QString::fromLatin1(name))
                    : sqlError(q);
        return false;
    }
    // The short id follows from the row number: "U" and five digits, unique for ever.
    const qint64 id = q.lastInsertId().toLongLong();
    const QByteArray shortId = "U" + QByteArray::number(id).rightJustified(5, '0');
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE participants SET short_id = ? WHERE id = ?"));
    u.addBindValue(QString::fromLatin1(shortId));
    u.addBindValue(id);
    if (!u.exec()) {
        error = sqlError(u);
        return false;
    }
    return true;
}

bool ParticipantStore::add(const QByteArray& name, const QByteArray& password, QString& error)
{
    return addMany({{name, password}}, error);
}

bool ParticipantStore::addMany(const std::vector<std::pair<QByteArray, QByteArray>>& namesAndPasswords, QString& error)
{
    return inTransaction(error, [&] {
        for (const auto& [name, password] : namesAndPasswords) {
            if (!insert(name, password, error))
                return false;
        }
        return true;
    });
}

bool ParticipantStore::addHashed(const std::vector<std::pair<QByteArray, QByteArray>>& namesAndHashes, QString& error)
{
    return inTransaction(error, [&] {
        for (const auto& [name, hash] : namesAndHashes) {
            if (!insertHashed(name, hash, error))
                return false;
        }
        return true;
    });
}

// Runs `work` in one transaction: committed when it succeeds, rolled back when it fails.
bool ParticipantStore::inTransaction(QString& error, const std::function<bool()>& work)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.transaction()) {
        error = db.lastError().text();
        return false;
    }
    if (!work()) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = db.lastError().text();
        return false;
    }
    return true;
}

bool ParticipantStore::setPassword(const QByteArray& name, const QByteArray& password, QString& error)
{
    if (!validPassword(password, error))
        return false;
    return updateByName(QStringLiteral("password"), QString::fromLatin1(hashPassword(password, m_hashIterations)), name,
                        error);
}

bool ParticipantStore::remove(const QByteArray& name, bool force, QString& error)
{
    const std::optional<Participant> p = find(name);
    if (!p) {
        error = QStringLiteral("no participant %1").arg(QString::fromLatin1(name));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    QSqlQuery q(db);
    // The trading tables exist once a server has run on this data.
    QStringList tables;
    if (q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        while (q.next())
            tables << q.value(0).toString();
    }
    auto count = [&](const QString& sql) {
        QSqlQuery c(db);
        c.prepare(sql);
        c.addBindValue(p->id);
        return c.exec() && c.next() ? c.value(0).toLongLong() : 0;
    };
    if (!force) {
        // Status 1 to 4: the order is still working (pending, pre-submitted or submitted).
        const qint64 open = tables.contains(QStringLiteral("orders"))
                                ? count(QStringLiteral("SELECT COUNT(*) FROM orders WHERE participant = ? AND status BETWEEN 1 AND 4"))
                                : 0;
        const qint64 held = tables.contains(QStringLiteral("positions"))
                                ? count(QStringLiteral("SELECT COUNT(*) FROM positions WHERE participant = ? AND quantity <> 0"))
                                : 0;
        if (open > 0 || held > 0) {
            error = QStringLiteral("%1 has %2 open orders and %3 open positions; close them first or use --force")
                        .arg(QString::fromLatin1(name))
                        .arg(open)
                        .arg(held);
            return false;
        }
    }
    return inTransaction(error, [&] {
        for (const QString& table : {QStringLiteral("orders"), QStringLiteral("executions"), QStringLiteral("positions"),
                                     QStringLiteral("day_books"), QStringLiteral("participants")}) {
            if (!tables.contains(table))
                continue;
            QSqlQuery d(db);
            d.prepare(table == QLatin1String("participants")
                          ? QStringLiteral("DELETE FROM participants WHERE id = ?")
                          : QStringLiteral("DELETE FROM %1 WHERE participant = ?").arg(table));
            d.addBindValue(p->id);
            if (!d.exec()) {
                error = sqlError(d);
                return false;
            }
        }
        return true;
    });
}

bool ParticipantStore::setBlocked(const QByteArray& name, bool blocked, QString& error)
{
    return updateByName(QStringLiteral("blocked"), blocked ? 1 : 0, name, error);
}

bool ParticipantStore::setLevel(const QByteArray& name, int level, QString& error)
{
    if (level < 0 || level > kMaxLevel) {
        error = QStringLiteral("a level is a number from 0 to %1").arg(kMaxLevel);
        return false;
    }
    return updateByName(QStringLiteral("level"), level, name, error);
}

// Sets one column of the participant called `name`; an unknown name is an error.
bool ParticipantStore::updateByName(const QString& column, const QVariant& value, const QByteArray& name, QString& error)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("UPDATE participants SET %1 = ? WHERE name = ?").arg(column));
    q.addBindValue(value);
    q.addBindValue(QString::fromLatin1(name));
    if (!q.exec()) {
        error = sqlError(q);
        return false;
    }
    if (q.numRowsAffected() != 1) {
        error = QStringLiteral("no participant %1").arg(QString::fromLatin1(name));
        return false;
    }
    return true;
}

bool ParticipantStore::setLastOrderId(qint64 id, qint32 lastOrderId, QString& error)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("UPDATE participants SET last_order_id = ? WHERE id = ?"));
    q.addBindValue(lastOrderId);
    q.addBindValue(id);
    if (!q.exec()) {
        error = sqlError(q);
        return false;
    }
    return true;
}

std::optional<Participant> ParticipantStore::find(const QByteArray& name) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT %1 FROM participants WHERE name = ?").arg(QLatin1String(kColumns)));
    q.addBindValue(QString::fromLatin1(name));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readRow(q);
}

qint64 ParticipantStore::count() const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM participants")) && q.next() ? q.value(0).toLongLong() : 0;
}

std::vector<Participant> ParticipantStore::list() const
{
    std::vector<Participant> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (!q.exec(QStringLiteral("SELECT %1 FROM participants ORDER BY id").arg(QLatin1String(kColumns))))
        return out;
    while (q.next())
        out.push_back(readRow(q));
    return out;
}

QSet<qint64> ParticipantStore::blockedIds() const
{
    QSet<qint64> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (q.exec(QStringLiteral("SELECT id FROM participants WHERE blocked <> 0"))) {
        while (q.next())
            out.insert(q.value(0).toLongLong());
    }
    return out;
}

QHash<QByteArray, QByteArray> ParticipantStore::passwordHashes() const
{
    QHash<QByteArray, QByteArray> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (q.exec(QStringLiteral("SELECT name, password FROM participants"))) {
        while (q.next())
            out.insert(q.value(0).toString().toLatin1(), q.value(1).toString().toLatin1());
    }
    return out;
}

std::optional<QByteArray> ParticipantStore::passwordHash(const QByteArray& name) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT password FROM participants WHERE name = ?"));
    q.addBindValue(QString::fromLatin1(name));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toString().toLatin1();
}

bool ParticipantStore::setPasswordHash(qint64 id, const QByteArray& hash, QString& error)
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("UPDATE participants SET password = ? WHERE id = ?"));
    q.addBindValue(QString::fromLatin1(hash));
    q.addBindValue(id);
    if (!q.exec()) {
        error = sqlError(q);
        return false;
    }
    return true;
}

QHash<qint64, int> ParticipantStore::levels() const
{
    QHash<qint64, int> out;
    QSqlQuery q(QSqlDatabase::database(m_connection));
    if (q.exec(QStringLiteral("SELECT id, level FROM participants"))) {
        while (q.next())
            out.insert(q.value(0).toLongLong(), q.value(1).toInt());
    }
    return out;
}

ParticipantStore::Login ParticipantStore::checkLogin(const QByteArray& name, const QByteArray& password,
                                                     Participant& out) const
{
    QSqlQuery q(QSqlDatabase::database(m_connection));
    q.prepare(QStringLiteral("SELECT password, %1 FROM participants WHERE name = ?").arg(QLatin1String(kColumns)));
    q.addBindValue(QString::fromLatin1(name));
    if (!q.exec() || !q.next()) {
        verifyPassword(password, m_dummyHash);
        return Login::WrongPassword;
    }
    const QByteArray stored = q.value(0).toString().toLatin1();
    if (!verifyPassword(password, stored))
        return Login::WrongPassword;
    out = readRow(q, 1);
    return out.blocked ? Login::Blocked : Login::Ok;
}

} // namespace korvi::server
