#pragma once

#include <QDateTime>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

namespace korvi::server {

// The game's database file inside a data folder.
QString gameDatabasePath(const QString& dataDir);

// Writes a consistent copy of the game data in `dataDir` to `target` while a server may be
// running and trading (SQLite's "VACUUM INTO" reads one snapshot of the database). The copy
// appears under its name only when complete; an existing `target` is refused.
bool backupGameData(const QString& dataDir, const QString& target, QString& error);

// Puts a backup in place as the game data of `dataDir`, which no server may be using: the
// backup is checked first (a readable game database), the data it replaces is kept beside
// it as "korvi.sqlite.before-restore".
bool restoreGameData(const QString& backup, const QString& dataDir, QString& error);

// The lock a running server holds on its data folder, so that a restore (or a second
// server) cannot pull the data away under it.
QString dataLockPath(const QString& dataDir);

// Backs the game data up every few minutes on a worker thread, so that prices never wait
// for it, into "korvi-YYYYMMDD-HHMMSS.sqlite" files of one folder, keeping the newest few.
// The files are named by `clock`'s local time.
class ScheduledBackups {
public:
    static constexpr int kKept = 7;
    using Clock = std::function<QDateTime()>;
    ScheduledBackups(QString dataDir, QString folder, int everyMinutes,
                     Clock clock = [] { return QDateTime::currentDateTime(); });
    // Waits for a backup still being written.
    ~ScheduledBackups();

    // One backup now, as the schedule takes them; none while the last one is still written.
    void run();

private:
    QString m_dataDir;
    QString m_folder;
    Clock m_clock;
    QTimer m_timer;
    std::shared_ptr<std::atomic<bool>> m_running = std::make_shared<std::atomic<bool>>(false);
};

} // namespace korvi::server
