// Feeds arbitrary bytes into the game server's handling of one connection: framing, the
// login conversation, every request and the trading engine behind it.
//
// When the first byte is odd the bytes go to one logged-in session that lives on from run
// to run, as a real participant's connection does; its other end is a socket pair whose
// answers are read and thrown away. Otherwise they go to a new session that has not logged
// in yet, on a connection that is already closed: everything it would send is skipped,
// which costs no system calls (its sending is what the logged-in session covers). The server
// commits, sends and runs its timers only every few runs, and is made anew (in a new
// folder of one temporary directory) after many, so the orders and fills of earlier runs
// do not slow the later ones down.

#include "framing.h"
#include "gameserver.h"
#include "instrumentconfig.h"
#include "participantstore.h"
#include "serverlog.h"
#include "session.h"
#include "memorydir.h"
#include "transport.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvi::server;

namespace {

// Runs between two commits (and turns of the event loop).
constexpr int kRunsPerCommit = 64;
// Runs before the server is made anew.
constexpr int kRunsPerServer = 20'000;

// A connection whose other end the harness holds.
struct Line {
    QPointer<Session> session;
    int peer = -1;

    ~Line()
    {
        if (session)
            session->abort(QStringLiteral("run over"));
        if (peer >= 0)
            ::close(peer);
    }
};

void drain(int fd)
{
    char sink[65536];
    while (::read(fd, sink, sizeof sink) > 0) {
    }
}

struct World {
    ParticipantStore store;
    std::unique_ptr<GameServer> server;
    std::unique_ptr<Line> playing;

    explicit World(const QString& folder)
    {
        ServerOptions options;
        options.port = 0;
        options.httpPort = 0;
        options.dataDir = folder;
        options.seed = 1;
        options.rate = 0;
        options.closeTime.reset();
        options.hashIterations = kMinIterations;
        options.testControl = true;
        options.maxWaiting = 1'000'000;
        options.maxWaitingPerAddress = 1'000'000;
        // One participant places orders run after run, far beyond a person's pace: without
        // lifting the order limits, nearly every order after the first few hundred would be
        // refused before it reaches the engine.
        options.orderLimits.perSecond = 1e9;
        options.orderLimits.burst = 1'000'000'000;
        options.orderLimits.perDay = 1'000'000'000;
        store.setHashIterations(kMinIterations);
        QString error;
        if (!store.open(folder, error) || !store.add("demo", "demo", error))
            qFatal("store: %s", qPrintable(error));
        std::vector<InstrumentSpec> definitions = loadInstrumentConfig(defaultInstrumentConfigPath(), error);
        if (!error.isEmpty())
            qFatal("instruments: %s", qPrintable(error));
        server = std::make_unique<GameServer>(options, std::move(definitions), store);
        if (!server->start(error))
            qFatal("server: %s", qPrintable(error));
        noDelays();
    }
    ~World()
    {
        playing.reset();
        server.reset();
    }

    // Failed logins of earlier runs must not slow later ones down.
    void noDelays()
    {
        LoginGuard::Limits limits;
        limits.freeAttemptsPerName = limits.freeNamesPerAddress = 1 << 30;
        server->guard() = LoginGuard(limits);
    }

    // A connection whose socket never connected.
    std::unique_ptr<Line> unconnected()
    {
        auto line = std::make_unique<Line>();
        line->session = server->adopt(server->transport().closedConnection());
        return line->session ? std::move(line) : nullptr;
    }

    std::unique_ptr<Line> connect()
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
            return nullptr;
        QString error;
        std::shared_ptr<Connection> connection = server->transport().adoptDescriptor(fds[0], error);
        if (!connection) {
            ::close(fds[0]);
            ::close(fds[1]);
            return nullptr;
        }
        auto line = std::make_unique<Line>();
        line->peer = fds[1];
        line->session = server->adopt(std::move(connection));
        return line->session ? std::move(line) : nullptr;
    }

    // The logged-in connection, logged in anew when the last one was dropped.
    Session* loggedIn()
    {
        if (playing && playing->session && playing->session->playing())
            return playing->session;
        playing.reset();
        playing = connect();
        if (!playing)
            return nullptr;
        playing->session->receive(korvi::frame("TTUSER=demo") + korvi::frame("@U=demo%demo"));
        for (int i = 0; i < 100 && playing->session && !playing->session->playing(); ++i) {
            server->passwords().waitForDone();
            QCoreApplication::processEvents();
            server->transport().poll();
        }
        drain(playing->peer);
        return playing->session && playing->session->playing() ? playing->session.data() : nullptr;
    }
};

struct Harness {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    MemoryDir dir;
    std::unique_ptr<World> world;
    int runs = 0;
    int worlds = 0;
};

// Runs what the server queued for later: the turns that go on with a long input, then
// (with `all`) the timers that commit and the transport's turn that writes.
void settle(World& world, bool all)
{
    for (int i = 0; i < 40; ++i)
        QCoreApplication::sendPostedEvents();
    if (!all)
        return;
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        world.server->transport().poll();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void feed(Session* session, QByteArrayView bytes)
{
    // Two arrivals, so frames cut across arrivals are covered too; a frame left open is
    // closed, so the next run starts clean.
    const qsizetype half = bytes.size() / 2;
    QPointer<Session> alive(session);
    alive->receive(bytes.first(half));
    if (alive)
        alive->receive(bytes.sliced(half));
    if (alive)
        alive->receive(QByteArrayView(&korvi::FrameEnd, 1));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = [] {
        setLogEnabled(false);
        return new Harness;
    }();
    if (!h->world || ++h->runs % kRunsPerServer == 0) {
        if (h->world)
            settle(*h->world, true);
        h->world.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QString folder = h->dir.filePath(QString::number(h->worlds++));
        QDir(h->dir.filePath(QString::number(h->worlds - 2))).removeRecursively();
        h->world = std::make_unique<World>(folder);
    }
    World& world = *h->world;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (size > 0 && (data[0] & 1) != 0) {
        if (Session* session = world.loggedIn()) {
            feed(session, bytes.sliced(1));
            settle(world, h->runs % kRunsPerCommit == 0);
            if (world.playing)
                drain(world.playing->peer);
        }
        return 0;
    }
    {
        std::unique_ptr<Line> line = world.unconnected();
        if (!line)
            return 0;
        feed(line->session, bytes);
        settle(world, false);
    }
    if (h->runs % kRunsPerCommit == 0) {
        settle(world, true);
        world.noDelays();
    }
    return 0;
}
