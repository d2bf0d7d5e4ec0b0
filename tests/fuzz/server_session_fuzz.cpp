// Feeds arbitrary bytes into one connection of the game server, before the login and
// (when the first byte is odd) after a good login: framing, the login conversation, every
// request and the trading engine behind it. The connection's other end is a socket pair,
// so what the server answers really goes out and is thrown away.

#include "framing.h"
#include "gameserver.h"
#include "instrumentconfig.h"
#include "participantstore.h"
#include "serverlog.h"
#include "session.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvi::server;

namespace {

// Everything a run's orders and fills pile up in the engine and its records goes with
// the server, which is made anew after this many runs.
constexpr int kRunsPerServer = 2000;

struct World {
    QTemporaryDir dir;
    ParticipantStore store;
    std::unique_ptr<GameServer> server;

    World()
    {
        ServerOptions options;
        options.port = 0;
        options.httpPort = 0;
        options.dataDir = dir.path();
        options.seed = 1;
        options.rate = 0;
        options.closeTime.reset();
        options.hashIterations = kMinIterations;
        options.testControl = true;
        store.setHashIterations(kMinIterations);
        QString error;
        if (!store.open(dir.path(), error))
            qFatal("store: %s", qPrintable(error));
        std::vector<InstrumentSpec> definitions = loadInstrumentConfig(defaultInstrumentConfigPath(), error);
        if (!error.isEmpty())
            qFatal("instruments: %s", qPrintable(error));
        server = std::make_unique<GameServer>(options, std::move(definitions), store);
        if (!server->start(error))
            qFatal("server: %s", qPrintable(error));
    }
};

struct Harness {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    std::unique_ptr<World> world;
    int runs = 0;
};

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void drain(int fd)
{
    char sink[65536];
    while (::read(fd, sink, sizeof sink) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = [] {
        setLogEnabled(false);
        return new Harness;
    }();
    if (!h->world || ++h->runs % kRunsPerServer == 0) {
        h->world.reset();
        settle();
        h->world = std::make_unique<World>();
    }
    GameServer& server = *h->world->server;
    // Earlier runs' failed logins must not slow this one down.
    server.guard() = LoginGuard();

    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
        return 0;
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(fds[0])) {
        delete socket;
        ::close(fds[0]);
        ::close(fds[1]);
        return 0;
    }
    Session* session = server.adopt(socket);
    if (!session) {
        ::close(fds[1]);
        return 0;
    }
    QPointer<Session> alive(session);
    const auto* bytes = reinterpret_cast<const char*>(data);
    if (size > 0 && (data[0] & 1) != 0) {
        session->receive(korvi::frame("TTUSER=demo") + korvi::frame("@U=demo%demo"));
        for (int i = 0; i < 100 && alive && !alive->playing(); ++i) {
            server.passwords().waitForDone();
            QCoreApplication::processEvents();
        }
        ++bytes;
        --size;
    }
    // Two arrivals, so frames cut across arrivals are covered too.
    const size_t half = size / 2;
    if (alive)
        alive->receive(QByteArrayView(bytes, static_cast<qsizetype>(half)));
    drain(fds[1]);
    if (alive)
        alive->receive(QByteArrayView(bytes + half, static_cast<qsizetype>(size - half)));
    settle();
    drain(fds[1]);
    if (alive)
        alive->abort(QStringLiteral("run over"));
    settle();
    ::close(fds[1]);
    return 0;
}
