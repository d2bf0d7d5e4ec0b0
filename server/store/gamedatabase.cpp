#include "gamedatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace korvi::server {

bool openGameDatabase(const QString& folder, const QString& connection, bool fullSync, QString& error)
{
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create data folder %1").arg(folder);
        return false;
    }
    const QString path = QDir(folder).filePath(QStringLiteral("korvi.sqlite"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        error = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text());
        return false;
    }
    // The write-ahead log keeps readers and the administration commands from blocking
    // each other.
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(fullSync ? QStringLiteral("PRAGMA synchronous=FULL") : QStringLiteral("PRAGMA synchronous=NORMAL"));
    return true;
}

void closeGameDatabase(const QString& connection)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace korvi::server
