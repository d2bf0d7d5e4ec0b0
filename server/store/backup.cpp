#include "backup.h"

#include "serverlog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMetaObject>
#include <QThreadPool>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace korvi::server {

namespace {

// A connection of its own for one piece of work, removed again when it ends.
class ScopedConnection {
public:
    ScopedConnection(const QString& path, bool readOnly)
        : m_name(QStringLiteral("backup-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }
    ~ScopedConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen())
                db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool open() const { return m_open; }
    QString error() const { return m_error; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
    QString m_error;
};

} // namespace

QString gameDatabasePath(const QString& dataDir) { return QDir(dataDir).filePath(QStringLiteral("korvi.sqlite")); }

QString dataLockPath(const QString& dataDir) { return QDir(dataDir).filePath(QStringLiteral("korvi-server.lock")); }

bool backupGameData(const QString& dataDir, const QString& target, QString& error)
{
    const QString source = gameDatabasePath(dataDir);
    if (!QFileInfo(source).isFile()) {
        error = QStringLiteral("no game data in %1").arg(dataDir);
        return false;
    }
    if (QFileInfo::exists(target)) {
        error = QStringLiteral("%1 exists already").arg(target);
        return false;
    }
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    {
        ScopedConnection c(source, false);
        if (!c.open()) {
            error = c.error();
            return false;
        }
        QSqlQuery q(c.db());
        q.prepare(QStringLiteral("VACUUM INTO ?"));
        q.addBindValue(partial);
        if (!q.exec()) {
            error = q.lastError().text();
            QFile::remove(partial);
            return false;
        }
    }
    if (!QFile::rename(partial, target)) {
        error = QStringLiteral("cannot put the backup in place as %1").arg(target);
        QFile::remove(partial);
        return false;
    }
    return true;
}

bool restoreGameData(const QString& backup, const QString& dataDir, QString& error)
{
    if (!QFileInfo(backup).isFile()) {
        error = QStringLiteral("no backup %1").arg(backup);
        return false;
    }
    if (!QDir().mkpath(dataDir)) {
        error = QStringLiteral("cannot create data folder %1").arg(dataDir);
        return false;
    }
    QLockFile lock(dataLockPath(dataDir));
    if (!lock.tryLock(0)) {
        error = QStringLiteral("a korvi-server is using %1; stop it before restoring").arg(dataDir);
        return false;
    }
    {
        ScopedConnection c(backup, true);
        QSqlQuery q(c.db());
        if (!c.open() || !q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
            q.value(0).toString() != QLatin1String("ok") ||
            !q.exec(QStringLiteral("SELECT COUNT(*) FROM participants")) || !q.next()) {
            error = QStringLiteral("%1 is no readable game backup%2")
                        .arg(backup, c.open() ? QStringLiteral(": ") + q.lastError().text() : QString());
            return false;
        }
    }
    const QString live = gameDatabasePath(dataDir);
    const QString incoming = live + QStringLiteral(".restore");
    QFile::remove(incoming);
    if (!QFile::copy(backup, incoming)) {
        error = QStringLiteral("cannot copy %1 into %2").arg(backup, dataDir);
        return false;
    }
    // The data replaced is kept with its write-ahead log, which may hold its last commits.
    const QString previous = live + QStringLiteral(".before-restore");
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString from = live + QLatin1String(suffix);
        const QString to = previous + QLatin1String(suffix);
        QFile::remove(to);
        if (QFileInfo::exists(from) && !QFile::rename(from, to)) {
            error = QStringLiteral("cannot keep the current data as %1").arg(to);
            QFile::remove(incoming);
            return false;
        }
    }
    if (!QFile::rename(incoming, live)) {
        error = QStringLiteral("cannot put the backup in place in %1").arg(dataDir);
        return false;
    }
    return true;
}

ScheduledBackups::ScheduledBackups(QString dataDir, QString folder, int everyMinutes, Clock clock)
    : m_dataDir(std::move(dataDir)), m_folder(std::move(folder)), m_clock(std::move(clock))
{
    m_timer.setInterval(everyMinutes * 60 * 1000);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { run(); });
    m_timer.start();
}

ScheduledBackups::~ScheduledBackups() { QThreadPool::globalInstance()->waitForDone(); }

void ScheduledBackups::run()
{
    // A backup still being written is not overtaken by the next one.
    if (m_running->exchange(true))
        return;
    const QString dataDir = m_dataDir;
    const QString folder = m_folder;
    const QString target = QDir(folder).filePath(
        QStringLiteral("korvi-%1.sqlite").arg(m_clock().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    auto running = m_running;
    QThreadPool::globalInstance()->start([dataDir, folder, target, running] {
        QString error;
        const bool ok = QDir().mkpath(folder) && backupGameData(dataDir, target, error);
        if (ok) {
            QDir dir(folder);
            const QStringList old = dir.entryList({QStringLiteral("korvi-*.sqlite")}, QDir::Files, QDir::Name | QDir::Reversed);
            for (qsizetype i = kKept; i < old.size(); ++i)
                dir.remove(old[i]);
        }
        const QString line = ok ? QStringLiteral("backup written: %1").arg(target)
                                : QStringLiteral("backup failed: %1 %2").arg(target, error);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [line] { logLine(line); });
        running->store(false);
    });
}

} // namespace korvi::server
