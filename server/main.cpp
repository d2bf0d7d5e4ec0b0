#include "admin.h"
#include "backup.h"
#include "gameserver.h"
#include "instrumentconfig.h"
#include "options.h"
#include "participantstore.h"
#include "serverlog.h"
#include "shutdownsignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <cstdio>
#include <sys/resource.h>

using namespace korvi::server;

namespace {

// Each participant is a file descriptor; the usual soft limit of 1024 is too few.
void raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void print(FILE* to, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), to);
    std::fflush(to);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServerOptions options;
    QString text;
    switch (parseOptions(app.arguments().mid(1), options, text)) {
    case ParseResult::Help:
        print(stdout, text.toLocal8Bit());
        return 0;
    case ParseResult::Error:
        print(stderr, "korvi-server: " + text.toLocal8Bit() + "\nTry korvi-server --help.\n");
        return 2;
    case ParseResult::Run:
        break;
    }
    setLogEnabled(!options.quiet);

    // Backups and restores work on the database file, not through the participant store.
    if (options.command.size() == 2 &&
        (options.command[0] == QLatin1String("backup") || options.command[0] == QLatin1String("restore"))) {
        QString error;
        const bool backup = options.command[0] == QLatin1String("backup");
        const bool ok = backup ? backupGameData(options.dataDir, options.command[1], error)
                               : restoreGameData(options.command[1], options.dataDir, error);
        if (!ok) {
            print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
            return 1;
        }
        print(stdout, (backup ? "backup written to " : "restored from ") + options.command[1].toLocal8Bit() + '\n');
        return 0;
    }

    ParticipantStore store;
    store.setHashIterations(options.hashIterations);
    QString error;
    if (!store.open(options.dataDir, error)) {
        print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
        return 1;
    }
    if (!options.command.isEmpty()) {
        QByteArray out, err;
        const int code = runAdminCommand(options.command, store, out, err, options.force);
        print(stdout, out);
        print(stderr, err);
        return code;
    }
    if (store.count() == 0)
        logLine(QStringLiteral("no participant yet; add one with: korvi-server --data %1 user add NAME PASSWORD").arg(options.dataDir));

    const QString instrumentPath = options.instruments.isEmpty() ? defaultInstrumentConfigPath() : options.instruments;
    std::vector<InstrumentSpec> definitions = loadInstrumentConfig(instrumentPath, error);
    if (!error.isEmpty()) {
        print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
        return 1;
    }

    // One server per data folder; a restore waits for it to stop.
    QLockFile lock(dataLockPath(options.dataDir));
    if (!lock.tryLock(0)) {
        print(stderr, "korvi-server: another korvi-server uses " + options.dataDir.toLocal8Bit() + '\n');
        return 1;
    }
    std::unique_ptr<ScheduledBackups> backups;
    if (options.backupEveryMinutes > 0)
        backups = std::make_unique<ScheduledBackups>(
            options.dataDir,
            options.backupDir.isEmpty() ? QDir(options.dataDir).filePath(QStringLiteral("backups")) : options.backupDir,
            options.backupEveryMinutes);

    raiseDescriptorLimit();
    GameServer server(options, std::move(definitions), store);
    if (!server.start(error)) {
        print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
        return 1;
    }
    // Tests and scripts read the ports from this one line.
    print(stdout, "listening " + QByteArray::number(server.tcpPort()) + ' ' + QByteArray::number(server.httpPort()) + '\n');

    ShutdownSignals signals_;
    QObject::connect(&signals_, &ShutdownSignals::requested, &app, [&](int signalNumber) {
        logLine(QStringLiteral("signal %1: stopping").arg(signalNumber));
        server.stop();
        app.quit();
    });
    const int code = app.exec();
    logLine(QStringLiteral("stopped"));
    return code;
}
