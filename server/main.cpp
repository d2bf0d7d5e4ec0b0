#include "admin.h"
#include "gameserver.h"
#include "instrumentconfig.h"
#include "options.h"
#include "participantstore.h"
#include "serverlog.h"
#include "shutdownsignals.h"

#include <QCoreApplication>
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

    ParticipantStore store;
    store.setHashIterations(options.hashIterations);
    QString error;
    if (!store.open(options.dataDir, error)) {
        print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
        return 1;
    }
    if (!options.command.isEmpty()) {
        QByteArray out, err;
        const int code = runAdminCommand(options.command, store, out, err);
        print(stdout, out);
        print(stderr, err);
        return code;
    }
    if (store.createdNow())
        logLine(QStringLiteral("new data folder %1: participant demo with password demo created").arg(options.dataDir));

    const QString instrumentPath = options.instruments.isEmpty() ? defaultInstrumentConfigPath() : options.instruments;
    std::vector<InstrumentSpec> definitions = loadInstrumentConfig(instrumentPath, error);
    if (!error.isEmpty()) {
        print(stderr, "korvi-server: " + error.toLocal8Bit() + '\n');
        return 1;
    }

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
