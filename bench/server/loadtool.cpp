// korvi-load: starts a korvi-server on 127.0.0.1 with its own data folder, logs many
// participants in at once (while one participant already playing measures how late the
// prices come meanwhile), then keeps a number of them connected while the price stream
// runs, and reports what arrived; then the same participants trade market orders as fast
// as the server answers them, each keeping a number of orders in flight. Every phase is
// bounded in time; then they all enter the chat and each sends a number of lines per
// second, and the relay is measured (lines delivered, delay, the server's send queues).
// The server is stopped at the end.
//
// With --participants N it runs the scale measurement instead (scaleload.cpp): N
// participants on one epoll context, logged in at most --login-window at a time, then the
// stream, its delay and gaps per participant, the server's CPU per delivered price and
// memory per participant, and another participant's order round trip, printed as
// "key=value" lines. With --stall-probe N: N connections of one participant that stop
// reading after their greeting, and what the server keeps of them after --seconds.
//
// With --flood N it runs only the flood probe instead: one participant trades
// --flood-fills single pieces, stops reading and sends N "@RA" (every answer lists all of
// its orders), while another participant measures the gaps in its prices and the server's
// memory is sampled.
//
// With --order-probe N: one participant places a limit order and cancels it, N times,
// reading every answer (--in-flight at once); the server's memory and the data folder are
// measured before and after. With --switch-probe N: --connections listeners are in the
// chat while one participant sends N alternating "@CH=1"/"@CH=0" at once; what reaches
// the listeners is counted. With --users-probe N: --connections participants are in the
// chat while one of them sends N "@RCU" without reading; the server's CPU time and the
// price gaps of another participant are measured. Extra server options follow
// --server-options (one string, split at blanks), e.g. to lift the order limits.
//
//   korvi-load [--server PATH] [--logins N] [--connections N] [--rate R] [--seconds S]
//              [--order-seconds S] [--in-flight K] [--hash-iterations N]
//              [--chat-seconds S] [--chat-lines L] [--flood N] [--flood-fills F]
//              [--order-probe N] [--switch-probe N] [--users-probe N] [--server-options TEXT]
#include "framing.h"
#include "participantstore.h"
#include "passwordhash.h"
#include "scaleload.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <sys/resource.h>

using korvi::ReceiveBuffer;

namespace {

// One participant's connection, driven by socket events.
class Client : public QObject {
public:
    Client(QByteArray name, quint16 port, QObject* parent) : QObject(parent), m_name(std::move(name))
    {
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onRead(); });
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    }

    bool greeted() const { return m_greeted; }
    bool refused() const { return m_refused; }
    qint64 frames() const { return m_frames; }
    qint64 priceFrames() const { return m_priceFrames; }
    qint64 bytes() const { return m_bytes; }
    qint64 greetedAt() const { return m_greetedAt; }
    // Longest time between two price frames since the last reset, in milliseconds.
    qint64 longestPriceGap() const { return m_longestGap; }
    void resetCounts()
    {
        m_frames = m_priceFrames = m_bytes = 0;
        m_longestGap = 0;
        m_lastPriceAt = clock.elapsed();
    }
    qint64 ordersDone() const { return m_ordersDone; }
    qint64 ordersRefused() const { return m_ordersRefused; }
    // Sends `inFlight` market orders and a new one for every order that is answered in
    // full (filled, cancelled or refused), until stopOrders().
    void startOrders(int inFlight)
    {
        m_trading = true;
        for (int i = 0; i < inFlight; ++i)
            sendOrder();
    }
    void stopOrders() { m_trading = false; }
    // From now on each order is a limit order far from the market that is cancelled as
    // soon as it is reported; a round ends with the cancel (or a refusal).
    void cancelEachOrder() { m_cancelling = true; }
    qint64 chatNotices() const { return m_chatNotices; }
    qint64 userLists() const { return m_userLists; }
    void resetOrders() { m_ordersDone = m_ordersRefused = 0; }
    // The chat: enter, then send `perSecond` lines a second, the first after `offsetMs`.
    // Each line carries its sending time, so the receivers can tell the delay.
    void enterChat() { send("@CH=1"); }
    void startChat(int perSecond, int offsetMs)
    {
        m_chatTimer.setTimerType(Qt::PreciseTimer);
        m_chatTimer.setInterval(1000 / perSecond);
        connect(&m_chatTimer, &QTimer::timeout, this, [this] {
            ++m_chatSent;
            send("@C=t=" + QByteArray::number(clock.elapsed()) + " eine Zeile des Lasttests");
        });
        QTimer::singleShot(offsetMs, this, [this] { m_chatTimer.start(); });
    }
    void stopChat() { m_chatTimer.stop(); }
    void resetChat() { m_chatSent = m_chatReceived = m_chatDelaySum = m_chatDelayMax = m_chatWarnings = 0; }
    qint64 chatSent() const { return m_chatSent; }
    qint64 chatReceived() const { return m_chatReceived; }
    qint64 chatDelaySum() const { return m_chatDelaySum; }
    qint64 chatDelayMax() const { return m_chatDelayMax; }
    qint64 chatWarnings() const { return m_chatWarnings; }
    void close() { m_socket.abort(); }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // Reads nothing more; the system's buffers fill up and the server's queue grows.
    void stopReading()
    {
        m_reading = false;
        m_socket.setReadBufferSize(4096);
    }
    void sendRaw(const QByteArray& bytes) { m_socket.write(bytes); }

    static QElapsedTimer clock;

private:
    void onRead()
    {
        if (!m_reading)
            return;
        const QByteArray data = m_socket.readAll();
        m_bytes += data.size();
        m_buffer.append(data);
        QByteArrayView m;
        while (m_buffer.next(m)) {
            ++m_frames;
            if (m.startsWith('~') || m.startsWith('^') || m.startsWith("@KU=")) {
                ++m_priceFrames;
                const qint64 t = clock.elapsed();
                m_longestGap = std::max(m_longestGap, t - m_lastPriceAt);
                m_lastPriceAt = t;
            }
            else if (m_cancelling && m.startsWith("@OO=")) {
                const QList<QByteArray> f = m.sliced(4).toByteArray().split(';');
                if (f.size() > 8 && f[8].trimmed() != "5" && f[8].trimmed() != "6")
                    send("@CO=" + m_shortId + ';' + f[0].trimmed() + ';' + f[1].trimmed());
            } else if (m.startsWith("@OS=")) {
                // Field 3 is the status: 5 cancelled, 6 filled.
                const qsizetype a = m.indexOf(';');
                const qsizetype b = a < 0 ? -1 : m.indexOf(';', a + 1);
                const char status = b < 0 || b + 1 >= m.size() ? 0 : m[b + 1];
                if (status == '5' || status == '6')
                    orderAnswered();
            } else if (m.startsWith("@OR=")) {
                ++m_ordersRefused;
                orderAnswered();
            } else if (m.startsWith("@UD="))
                m_shortId = m.sliced(4).toByteArray();
            else if (m.startsWith("!;ID"))
                send("TTUSER=" + m_name);
            else if (m.startsWith("!;USER"))
                send("@U=" + m_name + "%load");
            else if (m == "@RV") {
                m_greeted = true;
                m_greetedAt = clock.elapsed();
            } else if (m.startsWith("@RC=")) {
                ++m_chatReceived;
                const qsizetype at = m.indexOf(":t=");
                if (at >= 0) {
                    const qint64 delay = clock.elapsed() - m.sliced(at + 3).toByteArray().split(' ').first().toLongLong();
                    m_chatDelaySum += delay;
                    m_chatDelayMax = std::max(m_chatDelayMax, delay);
                }
            } else if (m.startsWith("@CU1=") || m.startsWith("@CU0="))
                ++m_chatNotices;
            else if (m.startsWith("@SCU="))
                ++m_userLists;
            else if (m.startsWith("@MSG=Chat"))
                ++m_chatWarnings;
            else if (m.startsWith("@MSG="))
                m_refused = true;
        }
        m_buffer.compact();
    }
    void send(const QByteArray& text) { m_socket.write(korvi::frame(text)); }
    void orderAnswered()
    {
        ++m_ordersDone;
        if (m_trading)
            sendOrder();
    }
    void sendOrder()
    {
        // One piece at a time, buying and selling in turn over three instruments, so the
        // positions stay small and the margin is always covered.
        static constexpr const char* kInstruments[] = {"2", "3", "4"};
        ++m_orderNumber;
        if (m_cancelling) {
            send("@PO=" + m_shortId + ';' + QByteArray::number(m_orderNumber) + ";2;BUY ;LMT;1; 1; 0;0;0");
            return;
        }
        const QByteArray side = (m_orderNumber / 3) % 2 == 0 ? "BUY " : "SEL ";
        send("@PO=" + m_shortId + ';' + QByteArray::number(m_orderNumber) + ';' + kInstruments[m_orderNumber % 3] + ';'
             + side + ";MKT;1; 0; 0;0;0");
    }

    QByteArray m_name;
    QTcpSocket m_socket;
    ReceiveBuffer m_buffer{64 * 1024 * 1024};
    bool m_greeted = false;
    bool m_refused = false;
    bool m_reading = true;
    bool m_trading = false;
    bool m_cancelling = false;
    qint64 m_chatNotices = 0, m_userLists = 0;
    QByteArray m_shortId;
    qint32 m_orderNumber = 0;
    qint64 m_ordersDone = 0, m_ordersRefused = 0;
    qint64 m_frames = 0, m_priceFrames = 0, m_bytes = 0, m_greetedAt = 0;
    qint64 m_lastPriceAt = 0, m_longestGap = 0;
    QTimer m_chatTimer;
    qint64 m_chatSent = 0, m_chatReceived = 0, m_chatDelaySum = 0, m_chatDelayMax = 0, m_chatWarnings = 0;
};

QElapsedTimer Client::clock;

// Runs the event loop until `done` holds or the deadline passes.
template <typename F>
bool runUntil(F done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QByteArray nameOf(int i) { return "load" + QByteArray::number(i).rightJustified(5, '0'); }

// Resident memory of a process in MB, from /proc; -1 when it cannot be read.
double residentMb(qint64 pid, const char* field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The flood probe: see the head of this file.
void floodProbe(quint16 port, qint64 serverPid, int requests, int fills, int seconds)
{
    QObject group;
    auto* watcher = new Client(nameOf(0), port, &group);
    auto* flooder = new Client(nameOf(1), port, &group);
    if (!runUntil([&] { return watcher->greeted() && flooder->greeted(); }, 60000)) {
        std::fprintf(stderr, "flood: participants did not log in\n");
        return;
    }
    flooder->startOrders(50);
    runUntil([&] { return flooder->ordersDone() >= fills; }, 120000);
    flooder->stopOrders();
    runUntil([] { return false; }, 1000); // the last answers
    std::printf("flood: %lld fills traded (%lld refused); server %.1f MB\n", static_cast<long long>(flooder->ordersDone()),
                static_cast<long long>(flooder->ordersRefused()), residentMb(serverPid));
    flooder->stopReading();
    watcher->resetCounts();
    QByteArray burst;
    for (int i = 0; i < requests; ++i)
        burst += korvi::frame("@RA");
    flooder->sendRaw(burst);
    double largest = 0;
    QElapsedTimer window;
    window.start();
    qint64 droppedAfter = -1;
    while (window.elapsed() < seconds * 1000) {
        runUntil([] { return false; }, 100);
        largest = std::max(largest, residentMb(serverPid));
        if (droppedAfter < 0 && !flooder->connected())
            droppedAfter = window.elapsed();
    }
    std::printf("flood: %d \"@RA\" (%lld bytes) sent without reading; the flooder was %s\n", requests,
                static_cast<long long>(burst.size()),
                droppedAfter < 0 ? "still connected" : qPrintable(QStringLiteral("dropped after %1 ms").arg(droppedAfter)));
    std::printf("       server resident memory at most %.1f MB (sampled every 100 ms; peak %.1f MB); server %s\n", largest,
                residentMb(serverPid, "VmHWM:"), residentMb(serverPid) < 0 ? "gone" : "up");
    std::printf("       the other participant: %lld price frames in %d s, at most %lld ms apart\n",
                static_cast<long long>(watcher->priceFrames()), seconds, static_cast<long long>(watcher->longestPriceGap()));
}

// Bytes of all files in a folder and its subfolders.
qint64 folderBytes(const QString& path)
{
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

// CPU seconds (user and system) a process has used so far, from /proc.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return f.size() > 12 ? (f[11].toDouble() + f[12].toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK)) : -1;
}

// The order probe: see the head of this file.
void orderProbe(quint16 port, qint64 serverPid, const QString& dataDir, int rounds, int inFlight)
{
    QObject group;
    auto* trader = new Client(nameOf(1), port, &group);
    if (!runUntil([&] { return trader->greeted(); }, 60000)) {
        std::fprintf(stderr, "orders: the participant did not log in\n");
        return;
    }
    runUntil([] { return false; }, 500);
    const double rssBefore = residentMb(serverPid);
    const qint64 dataBefore = folderBytes(dataDir);
    trader->cancelEachOrder();
    QElapsedTimer took;
    took.start();
    trader->startOrders(inFlight);
    double largest = rssBefore;
    const bool all = runUntil([&] {
        largest = std::max(largest, residentMb(serverPid));
        return trader->ordersDone() >= rounds;
    }, 600000);
    trader->stopOrders();
    runUntil([] { return false; }, 2000); // the last answers and a commit
    std::printf("orders: %lld place-and-cancel rounds in %.1f s (%lld refused)%s\n",
                static_cast<long long>(trader->ordersDone()), took.elapsed() / 1000.0,
                static_cast<long long>(trader->ordersRefused()), all ? "" : " (timed out)");
    std::printf("        server resident memory %.1f MB before, %.1f MB after (at most %.1f MB sampled)\n", rssBefore,
                residentMb(serverPid), largest);
    std::printf("        data folder %.1f MB before, %.1f MB after\n", dataBefore / 1e6, folderBytes(dataDir) / 1e6);
}

// Participants 0 to `count` logged in under `group`: the first leads (switches, watches),
// the others listen. Empty when not all of them got in within `timeoutMs`.
std::vector<Client*> logInGroup(quint16 port, int count, QObject& group, qint64 timeoutMs)
{
    std::vector<Client*> clients;
    for (int i = 0; i <= count; ++i)
        clients.push_back(new Client(nameOf(i), port, &group));
    if (!runUntil([&] { return std::all_of(clients.begin(), clients.end(), [](Client* c) { return c->greeted(); }); }, timeoutMs))
        return {};
    return clients;
}

// The channel switch probe: see the head of this file.
void switchProbe(quint16 port, int listeners, int switches)
{
    QObject group;
    std::vector<Client*> others = logInGroup(port, listeners, group, 120000);
    if (others.empty()) {
        std::fprintf(stderr, "switches: participants did not log in\n");
        return;
    }
    Client* switcher = others.front();
    others.erase(others.begin());
    for (Client* c : others)
        c->enterChat();
    runUntil([] { return false; }, 5000); // the enter notices of the listeners themselves pass
    for (Client* c : others)
        c->resetCounts();
    std::vector<qint64> before;
    for (Client* c : others)
        before.push_back(c->chatNotices());
    QByteArray burst;
    for (int i = 0; i < switches; ++i)
        burst += korvi::frame(i % 2 == 0 ? "@CH=1" : "@CH=0");
    switcher->sendRaw(burst);
    QElapsedTimer window;
    window.start();
    runUntil([] { return false; }, 10000);
    qint64 most = 0, total = 0, gap = 0;
    for (size_t i = 0; i < others.size(); ++i) {
        const qint64 heard = others[i]->chatNotices() - before[i];
        total += heard;
        most = std::max(most, heard);
        gap = std::max(gap, others[i]->longestPriceGap());
    }
    std::printf("switches: %d \"@CH\" (%lld bytes) at once; %d listeners received %lld enter/leave notices in 10 s"
                " (at most %lld each); longest price gap of a listener %lld ms\n",
                switches, static_cast<long long>(burst.size()), listeners, static_cast<long long>(total),
                static_cast<long long>(most), static_cast<long long>(gap));
}

// The "@RCU" probe: see the head of this file.
void usersProbe(quint16 port, qint64 serverPid, int chatters, int requests)
{
    QObject group;
    std::vector<Client*> others = logInGroup(port, chatters, group, 300000);
    if (others.empty()) {
        std::fprintf(stderr, "users: participants did not log in\n");
        return;
    }
    Client* watcher = others.front();
    others.erase(others.begin());
    for (Client* c : others) {
        c->enterChat();
        runUntil([] { return false; }, 1); // spread out, so the chat budget is no matter
    }
    runUntil([] { return false; }, 8000); // every enter notice has gone out
    Client* flooder = others.front();
    flooder->stopReading();
    // The same window without the flood, for comparison.
    watcher->resetCounts();
    const double idleFrom = cpuSeconds(serverPid);
    runUntil([] { return false; }, 10000);
    const double idleCpu = cpuSeconds(serverPid) - idleFrom;
    const qint64 idleGap = watcher->longestPriceGap();
    watcher->resetCounts();
    QByteArray burst;
    for (int i = 0; i < requests; ++i)
        burst += korvi::frame("@RCU");
    const double cpuBefore = cpuSeconds(serverPid);
    flooder->sendRaw(burst);
    runUntil([] { return false; }, 10000);
    std::printf("users: %d in the chat, one sends %d \"@RCU\" (%lld bytes) without reading: server CPU %.2f s in 10 s"
                " (%.2f s in 10 s before); another participant's longest price gap %lld ms (%lld ms before); the flooder %s\n",
                chatters, requests, static_cast<long long>(burst.size()), cpuSeconds(serverPid) - cpuBefore, idleCpu,
                static_cast<long long>(watcher->longestPriceGap()), static_cast<long long>(idleGap),
                flooder->connected() ? "still connected" : "was dropped");
}

void raiseDescriptorLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption serverOpt("server", "korvi-server binary.", "PATH", QStringLiteral(KORVI_SERVER_PATH));
    const QCommandLineOption loginsOpt("logins", "Participants logging in at once (phase 1).", "N", "1000");
    const QCommandLineOption connectionsOpt("connections", "Participants receiving the stream (phase 2).", "N", "200");
    const QCommandLineOption rateOpt("rate", "Price messages per second of the server (default 1000; with --participants, the"
                                             " server's own default of 50).", "R");
    const QCommandLineOption secondsOpt("seconds", "Length of the stream measurement.", "S", "20");
    const QCommandLineOption orderSecondsOpt("order-seconds", "Length of the order measurement (0: none).", "S", "10");
    const QCommandLineOption inFlightOpt("in-flight", "Orders each participant keeps in flight.", "K", "10");
    const QCommandLineOption hashOpt("hash-iterations", "Password hash rounds of the server and its participants.", "N",
                                     QString::number(korvi::server::kDefaultIterations));
    const QCommandLineOption chatSecondsOpt("chat-seconds", "Length of the chat measurement (0: none).", "S", "10");
    const QCommandLineOption chatLinesOpt("chat-lines", "Chat lines each participant sends per second.", "L", "5");
    const QCommandLineOption floodOpt("flood", "Run only the flood probe with N \"@RA\" requests (0: the load phases).", "N", "0");
    const QCommandLineOption floodFillsOpt("flood-fills", "Fills of the flooding participant.", "F", "1000");
    const QCommandLineOption orderProbeOpt("order-probe", "Run only the order probe with N place-and-cancel rounds.", "N", "0");
    const QCommandLineOption switchProbeOpt("switch-probe", "Run only the channel switch probe with N switches.", "N", "0");
    const QCommandLineOption usersProbeOpt("users-probe", "Run only the \"@RCU\" probe with N requests.", "N", "0");
    const QCommandLineOption serverOptionsOpt("server-options", "Further options of the server, split at blanks.", "TEXT");
    const QCommandLineOption participantsOpt("participants", "Run the scale measurement with N participants (0: the load phases).", "N", "0");
    const QCommandLineOption loginWindowOpt("login-window", "Scale measurement: logins under way at once at most.", "N", "2000");
    const QCommandLineOption threadsOpt("load-threads", "Scale measurement: threads of the load generator.", "N", "2");
    const QCommandLineOption chatEnterOpt("chat-enter", "Scale measurement: every participant enters the chat and stays silent.");
    const QCommandLineOption stallOpt("stall-probe", "Run only the stall probe with N non-reading connections of one participant.", "N", "0");
    parser.addOptions({serverOpt, loginsOpt, connectionsOpt, rateOpt, secondsOpt, orderSecondsOpt, inFlightOpt, hashOpt,
                       chatSecondsOpt, chatLinesOpt, floodOpt, floodFillsOpt, orderProbeOpt, switchProbeOpt, usersProbeOpt,
                       serverOptionsOpt, participantsOpt, loginWindowOpt, stallOpt, threadsOpt, chatEnterOpt});
    parser.process(app);
    const int logins = std::clamp(parser.value(loginsOpt).toInt(), 0, 10000);
    const int connections = std::clamp(parser.value(connectionsOpt).toInt(), 1, 10000);
    // The scale run measures the server as it is shipped, so it keeps the server's rate
    // unless told otherwise; the other probes push prices hard on purpose.
    const double rate = parser.isSet(rateOpt) ? parser.value(rateOpt).toDouble()
                                              : (parser.value(participantsOpt).toInt() > 0 ? 50.0 : 1000.0);
    const int seconds = std::clamp(parser.value(secondsOpt).toInt(), 1, 600);
    const int orderSeconds = std::clamp(parser.value(orderSecondsOpt).toInt(), 0, 600);
    const int inFlight = std::clamp(parser.value(inFlightOpt).toInt(), 1, 1000);
    const int hashIterations = std::clamp(parser.value(hashOpt).toInt(), korvi::server::kMinIterations, 10'000'000);
    const int chatSeconds = std::clamp(parser.value(chatSecondsOpt).toInt(), 0, 600);
    const int chatLines = std::clamp(parser.value(chatLinesOpt).toInt(), 1, 100);
    const int flood = std::clamp(parser.value(floodOpt).toInt(), 0, 10'000'000);
    const int floodFills = std::clamp(parser.value(floodFillsOpt).toInt(), 0, 100'000);
    const int orderRounds = std::clamp(parser.value(orderProbeOpt).toInt(), 0, 10'000'000);
    const int switchCount = std::clamp(parser.value(switchProbeOpt).toInt(), 0, 10'000'000);
    const int userRequests = std::clamp(parser.value(usersProbeOpt).toInt(), 0, 10'000'000);
    const int scaleParticipants = std::clamp(parser.value(participantsOpt).toInt(), 0, 19'000);
    const int loginWindow = std::clamp(parser.value(loginWindowOpt).toInt(), 1, 19'000);
    const int stallConnections = std::clamp(parser.value(stallOpt).toInt(), 0, 10'000);
    raiseDescriptorLimit();
    Client::clock.start();

    QTemporaryDir dir;
    {
        // Participants are added with cheap hashes, then all get one hash of the real
        // strength, so preparing them does not take as long as the logins measured.
        korvi::server::ParticipantStore store;
        store.setHashIterations(korvi::server::kMinIterations);
        QString error;
        std::vector<std::pair<QByteArray, QByteArray>> participants;
        const int wanted = scaleParticipants > 0 ? scaleParticipants : stallConnections > 0 ? 1 : std::max(logins, connections);
        for (int i = 0; i <= wanted; ++i)
            participants.emplace_back(nameOf(i), "load");
        if (!store.open(dir.path(), error) || !store.addMany(participants, error)) {
            std::fprintf(stderr, "cannot prepare participants: %s\n", qPrintable(error));
            return 1;
        }
        if (hashIterations == korvi::server::kMinIterations)
            participants.clear(); // hashed with these rounds already
        const QByteArray strong = korvi::server::hashPassword("load", hashIterations);
        for (const auto& p : participants.empty() ? std::vector<korvi::server::Participant>{} : store.list()) {
            if (!store.setPasswordHash(p.id, strong, error)) {
                std::fprintf(stderr, "cannot prepare participants: %s\n", qPrintable(error));
                return 1;
            }
        }
    }

    QProcess server;
    // The server's log stays in the data folder (gone at the end) unless it is asked for.
    const QString logPath = qEnvironmentVariableIsSet("KORVI_LOAD_SERVER_LOG") ? qEnvironmentVariable("KORVI_LOAD_SERVER_LOG")
                                                                               : dir.filePath(QStringLiteral("server.log"));
    server.setStandardErrorFile(logPath);
    QStringList serverArgs = {"--port", "0", "--http-port", "0", "--data", dir.path(), "--seed", "1",
                              "--rate", QString::number(rate), "--stats", "5",
                              "--hash-iterations", QString::number(hashIterations), "--max-waiting", "100000",
                              "--max-waiting-per-address", "100000", "--login-timeout", "600"};
    if (scaleParticipants > 0)
        serverArgs << "--test-control"; // the markers that time the stream are test quotes
    server.start(parser.value(serverOpt), serverArgs + parser.value(serverOptionsOpt).split(u' ', Qt::SkipEmptyParts));
    if (!server.waitForStarted(10000) || !server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "server did not start\n");
        return 1;
    }
    const QList<QByteArray> words = server.readAllStandardOutput().trimmed().split(' ');
    const quint16 port = words.size() == 3 ? static_cast<quint16>(words[1].toUInt()) : 0;
    if (port == 0) {
        std::fprintf(stderr, "no listening line from the server\n");
        return 1;
    }
    std::printf("server on 127.0.0.1:%u, price rate %.0f/s\n", port, rate);

    if (orderRounds > 0 || switchCount > 0 || userRequests > 0) {
        if (orderRounds > 0)
            orderProbe(port, server.processId(), dir.path(), orderRounds, inFlight);
        if (switchCount > 0)
            switchProbe(port, connections, switchCount);
        if (userRequests > 0)
            usersProbe(port, server.processId(), connections, userRequests);
        ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
        server.waitForFinished(10000);
        return 0;
    }
    if (scaleParticipants > 0 || stallConnections > 0) {
        korvi::load::ScaleConfig config;
        config.port = port;
        config.serverPid = server.processId();
        config.participants = scaleParticipants;
        config.loginWindow = loginWindow;
        config.seconds = seconds;
        config.rate = rate;
        config.threads = parser.value(threadsOpt).toInt();
        config.enterChat = parser.isSet(chatEnterOpt);
        const int result = scaleParticipants > 0
                               ? korvi::load::runScale(config, nameOf)
                               : korvi::load::runStallProbe(port, server.processId(), stallConnections, seconds, rate, nameOf);
        ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
        server.waitForFinished(30000);
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly)) {
            const QByteArray text = log.readAll();
            // The server's own share of the delay: how long data waited for its write, at
            // most, per statistics interval (the last intervals: the stream).
            std::vector<qint64> waits;
            for (const QByteArray& line : text.split('\n')) {
                const qsizetype at = line.indexOf("longest wait for a write ");
                if (at >= 0)
                    waits.push_back(line.mid(at + 25).split(' ').first().toLongLong());
            }
            QByteArray recent;
            for (size_t i = waits.size() > 6 ? waits.size() - 6 : 0; i < waits.size(); ++i)
                recent += (recent.isEmpty() ? "" : ",") + QByteArray::number(waits[i]);
            std::printf("server_log fell_behind=%lld stopped_reading=%lld replaced=%lld write_wait_ms=%s\n",
                        static_cast<long long>(text.count("cannot keep up")), static_cast<long long>(text.count("stopped reading")),
                        static_cast<long long>(text.count("replaced by a newer login")), recent.isEmpty() ? "-" : recent.constData());
        }
        return result;
    }

    if (flood > 0) {
        floodProbe(port, server.processId(), flood, floodFills, seconds);
        ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
        server.waitForFinished(10000);
        return 0;
    }

    // Phase 1: many logins at once, watched by a participant already playing.
    if (logins > 0) {
        QObject group;
        auto* watcher = new Client(nameOf(0), port, &group);
        runUntil([&] { return watcher->greeted(); }, 60000);
        runUntil([] { return false; }, 1000);
        watcher->resetCounts();
        std::vector<Client*> clients;
        const qint64 start = Client::clock.elapsed();
        for (int i = 1; i <= logins; ++i)
            clients.push_back(new Client(nameOf(i), port, &group));
        const bool all = runUntil([&] { return std::all_of(clients.begin(), clients.end(), [](Client* c) { return c->greeted() || c->refused(); }); }, 60000);
        const qint64 last = std::max_element(clients.begin(), clients.end(), [](Client* a, Client* b) { return a->greetedAt() < b->greetedAt(); })[0]->greetedAt();
        const auto ok = std::count_if(clients.begin(), clients.end(), [](Client* c) { return c->greeted(); });
        const double loginSeconds = std::max<qint64>(1, last - start) / 1000.0;
        std::printf("logins: %lld of %d greeted in %.2f s (%.1f logins/s, %d hash rounds)%s\n",
                    static_cast<long long>(ok), logins, loginSeconds, ok / loginSeconds, hashIterations,
                    all ? "" : " (timed out)");
        std::printf("        a playing participant meanwhile: %lld price frames, at most %lld ms apart (server tick %d ms)\n",
                    static_cast<long long>(watcher->priceFrames()), static_cast<long long>(watcher->longestPriceGap()), 20);
        for (Client* c : clients)
            c->close();
        runUntil([] { return false; }, 500); // let the server see the closes
    }

    // Phase 2: the stream fanned out to every connected participant.
    QObject group;
    std::vector<Client*> clients;
    const qint64 againFrom = Client::clock.elapsed();
    for (int i = 1; i <= connections; ++i)
        clients.push_back(new Client(nameOf(i), port, &group));
    if (!runUntil([&] { return std::all_of(clients.begin(), clients.end(), [](Client* c) { return c->greeted(); }); }, 60000)) {
        std::fprintf(stderr, "not all stream participants logged in\n");
    }
    // Those of phase 1 log in again with the password the server has already checked.
    std::printf("stream logins: %lld of %d greeted in %.2f s (%s)\n",
                static_cast<long long>(std::count_if(clients.begin(), clients.end(), [](Client* c) { return c->greeted(); })),
                connections,
                (Client::clock.elapsed() - againFrom) / 1000.0,
                logins >= connections ? "all logged in before" : "some for the first time");
    runUntil([] { return false; }, 1000); // settle
    for (Client* c : clients)
        c->resetCounts();
    QElapsedTimer window;
    window.start();
    runUntil([] { return false; }, seconds * 1000);
    const double elapsed = window.elapsed() / 1000.0;
    qint64 frames = 0, prices = 0, bytes = 0, fewest = -1, most = 0;
    for (Client* c : clients) {
        frames += c->frames();
        prices += c->priceFrames();
        bytes += c->bytes();
        fewest = fewest < 0 ? c->priceFrames() : std::min(fewest, c->priceFrames());
        most = std::max(most, c->priceFrames());
    }
    std::printf("stream: %d participants, %.1f s: %.0f frames/s received in total (%.0f price frames/s), %.1f MB/s\n",
                connections, elapsed, frames / elapsed, prices / elapsed, bytes / elapsed / 1e6);
    std::printf("        per participant %.0f to %.0f price frames/s (server sends %.0f/s)\n", fewest / elapsed,
                most / elapsed, rate);

    // Phase 3: every participant trades market orders with a few in flight.
    if (orderSeconds > 0) {
        for (Client* c : clients)
            c->startOrders(inFlight);
        runUntil([] { return false; }, 1000); // warm up
        for (Client* c : clients)
            c->resetOrders();
        QElapsedTimer orderWindow;
        orderWindow.start();
        runUntil([] { return false; }, orderSeconds * 1000);
        const double orderElapsed = orderWindow.elapsed() / 1000.0;
        qint64 done = 0, refused = 0;
        for (Client* c : clients) {
            done += c->ordersDone();
            refused += c->ordersRefused();
            c->stopOrders();
        }
        std::printf("orders: %d participants, %d in flight each, %.1f s: %.0f orders/s accepted, filled and answered"
                    " (%lld refused)\n",
                    connections, inFlight, orderElapsed, (done - refused) / orderElapsed, static_cast<long long>(refused));
        runUntil([] { return false; }, 1000); // let the last answers drain
    }

    // Phase 4: everybody in the chat, each sending lines; every line goes to all others.
    qint64 chatLogFrom = -1;
    if (chatSeconds > 0) {
        for (Client* c : clients)
            c->enterChat();
        runUntil([] { return false; }, 1000);
        chatLogFrom = QFileInfo(logPath).size();
        for (size_t i = 0; i < clients.size(); ++i)
            clients[i]->startChat(chatLines, static_cast<int>(i * 1000 / clients.size() / chatLines));
        runUntil([] { return false; }, 1000); // warm up
        for (Client* c : clients)
            c->resetChat();
        QElapsedTimer chatWindow;
        chatWindow.start();
        runUntil([] { return false; }, chatSeconds * 1000);
        const double chatElapsed = chatWindow.elapsed() / 1000.0;
        qint64 sent = 0, received = 0, delaySum = 0, delayMax = 0, warnings = 0;
        for (Client* c : clients) {
            sent += c->chatSent();
            received += c->chatReceived();
            delaySum += c->chatDelaySum();
            delayMax = std::max(delayMax, c->chatDelayMax());
            warnings += c->chatWarnings();
        }
        for (Client* c : clients)
            c->stopChat();
        const double expected = static_cast<double>(sent) * static_cast<double>(clients.size() - 1);
        std::printf("chat: %d participants x %d lines/s, %.1f s: %.0f lines/s sent, %.0f lines/s relayed"
                    " (%.1f%% of sent x listeners), delay mean %.0f ms, max %lld ms, %lld flood warnings\n",
                    connections, chatLines, chatElapsed, sent / chatElapsed, received / chatElapsed,
                    expected > 0 ? 100.0 * received / expected : 0.0, received > 0 ? double(delaySum) / received : 0.0,
                    static_cast<long long>(delayMax), static_cast<long long>(warnings));
        runUntil([] { return false; }, 6000); // one more statistics line of the server
    }

    ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
    server.waitForFinished(10000);
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly)) {
        qint64 largestQueue = 0, chatQueue = 0;
        int skipped = 0;
        qint64 offset = 0;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const qsizetype at = line.indexOf("largest send queue ");
            if (at >= 0) {
                const qint64 queued = line.mid(at + 19).split(' ').first().toLongLong();
                largestQueue = std::max(largestQueue, queued);
                if (chatLogFrom >= 0 && offset >= chatLogFrom)
                    chatQueue = std::max(chatQueue, queued);
            }
            if (line.contains("cannot keep up"))
                ++skipped;
            offset += line.size() + 1;
        }
        std::printf("server: largest send queue %lld bytes; %d participants fell behind\n",
                    static_cast<long long>(largestQueue), skipped);
        if (chatLogFrom >= 0)
            std::printf("server: largest send queue during the chat %lld bytes\n", static_cast<long long>(chatQueue));
    }
    return 0;
}
