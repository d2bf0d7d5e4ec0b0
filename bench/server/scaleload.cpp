#include "scaleload.h"

#include <asio/connect.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <atomic>
#include <fstream>
#include <future>
#include <thread>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace korvi::load {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds of the system's monotonic clock: the same in every process, so a time sent
// in a message can be compared by its receiver.
qint64 monotonicMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// Delays in whole milliseconds, up to a minute; enough for percentiles.
class Histogram {
public:
    void merge(const Histogram& other)
    {
        for (size_t i = 0; i < m_counts.size(); ++i)
            m_counts[i] += other.m_counts[i];
        m_total += other.m_total;
        m_max = std::max(m_max, other.m_max);
    }
    void add(qint64 ms)
    {
        m_counts[static_cast<size_t>(std::clamp<qint64>(ms, 0, kMax))]++;
        ++m_total;
        m_max = std::max(m_max, ms);
    }
    qint64 total() const { return m_total; }
    qint64 max() const { return m_max; }
    qint64 percentile(double p) const
    {
        if (m_total == 0)
            return -1;
        const qint64 want = std::max<qint64>(1, static_cast<qint64>(static_cast<double>(m_total) * p + 0.999999));
        qint64 seen = 0;
        for (size_t i = 0; i < m_counts.size(); ++i) {
            seen += m_counts[i];
            if (seen >= want)
                return static_cast<qint64>(i);
        }
        return kMax;
    }

private:
    static constexpr qint64 kMax = 60'000;
    std::vector<qint64> m_counts = std::vector<qint64>(kMax + 1, 0);
    qint64 m_total = 0;
    qint64 m_max = 0;
};

bool isPrice(std::string_view m) { return !m.empty() && (m[0] == '~' || m[0] == '^' || m.substr(0, 4) == "@KU="); }

std::string_view field(std::string_view text, int index)
{
    for (int i = 0; i < index; ++i) {
        const size_t cut = text.find(';');
        if (cut == std::string_view::npos)
            return {};
        text.remove_prefix(cut + 1);
    }
    return text.substr(0, text.find(';'));
}

qint64 number(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

struct Shared;

// One participant's connection on the shared context. Reads go through one buffer of the
// whole process; a connection holds only the part of a frame that was cut off.
class Client : public std::enable_shared_from_this<Client> {
public:
    Client(Shared& shared, std::string name) : m_shared(shared), m_name(std::move(name)), m_socket(contextOf(shared)) {}

    void start(const asio::ip::tcp::endpoint& server);
    void close()
    {
        asio::error_code ec;
        m_socket.close(ec);
    }
    void stopReading() { m_reading = false; }
    bool established() const
    {
        tcp_info info {};
        socklen_t size = sizeof info;
        if (!m_socket.is_open()
            || getsockopt(const_cast<asio::ip::tcp::socket&>(m_socket).native_handle(), IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
            return false;
        return info.tcpi_state == TCP_ESTABLISHED;
    }
    void send(const std::string& text);
    void resetWindow(qint64 now)
    {
        prices = 0;
        longestGap = 0;
        lastPriceAt = now;
    }

    // What it saw.
    bool greeted = false;
    bool failed = false;
    qint64 connectedAt = 0;
    qint64 greetedAt = 0;
    qint64 prices = 0;
    qint64 lastPriceAt = 0;
    qint64 longestGap = 0;
    qint64 lastMarker = 0;
    std::string shortId;
    // The watcher's orders.
    bool ordering = false;
    qint64 orderSentAt = -1;
    int orderNumber = 0;

private:
    static asio::io_context& contextOf(Shared& shared);
    void waitReadable();
    void readAll();
    void onFrame(std::string_view m);

    Shared& m_shared;
    std::string m_name;
    asio::ip::tcp::socket m_socket;
    std::string m_partial;
    bool m_reading = true;
    bool m_waiting = false;
};

struct Shared {
    asio::io_context context{1};
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(context);
    std::array<char, 256 * 1024> scratch {};
    Histogram delays;       // marker delays of this context's participants, during the window
    Histogram orderTrips;   // the watcher's orders
    std::atomic<bool> measuring = false;
    int markerInstrument = 13;
    bool enterChat = false; // every participant enters the chat after its greeting
    std::atomic<int> greetedCount = 0;
    std::atomic<int> failedCount = 0;
    std::function<void(Client&)> onGreeted;
};

asio::io_context& Client::contextOf(Shared& shared) { return shared.context; }

void Client::start(const asio::ip::tcp::endpoint& server)
{
    connectedAt = monotonicMs();
    m_socket.async_connect(server, [self = shared_from_this()](const asio::error_code& ec) {
        if (ec) {
            self->failed = true;
            ++self->m_shared.failedCount;
            return;
        }
        asio::error_code option;
        self->m_socket.non_blocking(true, option);
        self->m_socket.set_option(asio::ip::tcp::no_delay(true), option);
        self->readAll();
    });
}

void Client::send(const std::string& text)
{
    if (!m_socket.is_open())
        return;
    auto framed = std::make_shared<std::string>();
    framed->reserve(text.size() + 2);
    framed->push_back('\x01');
    framed->append(text);
    framed->push_back('\x02');
    asio::async_write(m_socket, asio::buffer(*framed), [framed](const asio::error_code&, size_t) {});
}

void Client::waitReadable()
{
    if (m_waiting || !m_socket.is_open())
        return;
    m_waiting = true;
    m_socket.async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
        self->m_waiting = false;
        if (!ec)
            self->readAll();
    });
}

void Client::readAll()
{
    for (int reads = 0; reads < 16 && m_reading; ++reads) {
        asio::error_code ec;
        const size_t n = m_socket.read_some(asio::buffer(m_shared.scratch), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            waitReadable();
            return;
        }
        if (ec) {
            if (!failed) {
                failed = true;
                ++m_shared.failedCount;
            }
            close();
            return;
        }
        const bool drained = n < m_shared.scratch.size();
        std::string_view data(m_shared.scratch.data(), n);
        while (!data.empty()) {
            const size_t end = data.find('\x02');
            if (end == std::string_view::npos) {
                m_partial.append(data);
                break;
            }
            std::string_view frame = data.substr(0, end);
            data.remove_prefix(end + 1);
            if (!m_partial.empty()) {
                m_partial.append(frame);
                const std::string whole = std::exchange(m_partial, {});
                const size_t start = whole.find('\x01');
                onFrame(start == std::string::npos ? std::string_view(whole) : std::string_view(whole).substr(start + 1));
            } else {
                const size_t start = frame.find('\x01');
                onFrame(start == std::string_view::npos ? frame : frame.substr(start + 1));
            }
        }
        if (drained && m_reading) {
            // Less than asked for: the socket was empty then, and a later arrival is a new
            // edge for epoll.
            waitReadable();
            return;
        }
    }
    if (m_reading) // more is waiting: the next turn goes on with it
        asio::post(m_shared.context, [self = shared_from_this()] { self->readAll(); });
}

void Client::onFrame(std::string_view m)
{
    if (isPrice(m)) {
        const qint64 now = monotonicMs();
        if (m.substr(0, 4) == "@KU=" && number(m.substr(4)) == m_shared.markerInstrument) {
            // A marker: its bid size is the time it was sent.
            // The simulator's own full prices of that instrument carry small sizes: a stamp
            // is a time of the last minute.
            const qint64 stamp = number(field(m, 2));
            if (stamp > lastMarker && now - stamp >= 0 && now - stamp < 60'000) {
                lastMarker = stamp;
                if (m_shared.measuring)
                    m_shared.delays.add(now - stamp);
            }
            return;
        }
        ++prices;
        longestGap = std::max(longestGap, now - lastPriceAt);
        lastPriceAt = now;
        return;
    }
    if (m.substr(0, 4) == "!;ID") {
        send("TTUSER=" + m_name);
    } else if (m.substr(0, 6) == "!;USER") {
        send("@U=" + m_name + "%load");
    } else if (m.substr(0, 4) == "@UD=") {
        shortId = std::string(m.substr(4));
    } else if (m == "@RV") {
        if (!greeted) {
            greeted = true;
            greetedAt = monotonicMs();
            lastPriceAt = greetedAt;
            ++m_shared.greetedCount;
            if (m_shared.enterChat)
                send("@CH=1");
            if (m_shared.onGreeted)
                m_shared.onGreeted(*this);
        }
    } else if (ordering && orderSentAt >= 0
               && ((m.substr(0, 4) == "@OS=" && (field(m, 2).find('6') != std::string_view::npos
                                                 || field(m, 2).find('5') != std::string_view::npos))
                   || m.substr(0, 4) == "@OR=")) {
        m_shared.orderTrips.add(monotonicMs() - orderSentAt);
        orderSentAt = -1;
    } else if (m.substr(0, 5) == "@MSG=" && !greeted) {
        failed = true;
        ++m_shared.failedCount;
    }
}

// Runs the context for `ms` milliseconds.
void runFor(Shared& shared, qint64 ms) { shared.context.run_for(std::chrono::milliseconds(ms)); }

template <typename F>
bool runUntil(Shared& shared, F done, qint64 timeoutMs)
{
    const qint64 end = monotonicMs() + timeoutMs;
    while (!done()) {
        if (monotonicMs() >= end)
            return false;
        runFor(shared, 20);
    }
    return true;
}

// A repeating timer on the context.
class Ticker {
public:
    Ticker(asio::io_context& context, int everyMs, std::function<void()> tick)
        : m_timer(context), m_everyMs(everyMs), m_tick(std::move(tick))
    {
        arm();
    }
    ~Ticker() { m_timer.cancel(); }

private:
    void arm()
    {
        m_timer.expires_after(std::chrono::milliseconds(m_everyMs));
        m_timer.async_wait([this](const asio::error_code& ec) {
            if (ec)
                return;
            m_tick();
            arm();
        });
    }
    asio::steady_timer m_timer;
    int m_everyMs;
    std::function<void()> m_tick;
};

} // namespace

double processRssMb(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return static_cast<double>(number(std::string_view(line).substr(6))) / 1024.0;
    }
    return -1;
}

double processCpuSeconds(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::string_view rest = std::string_view(text).substr(close + 2);
    // Fields after the name: state is the first; utime and stime are the 12th and 13th.
    std::vector<std::string_view> fields;
    while (!rest.empty() && fields.size() < 13) {
        const size_t cut = rest.find(' ');
        fields.push_back(rest.substr(0, cut));
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    if (fields.size() < 13)
        return -1;
    return static_cast<double>(number(fields[11]) + number(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

namespace {

// A share of the participants on its own thread and context, so the load generator uses
// every core it gets.
struct Worker {
    Shared shared;
    std::vector<std::shared_ptr<Client>> clients;
    asio::ip::tcp::endpoint server;
    QByteArray (*nameOf)(int) = nullptr;
    int first = 1;
    int count = 0;
    int window = 1;
    int started = 0;
    std::atomic<bool> stop = false;
    std::thread thread;

    void startMore()
    {
        const int underWay = started - shared.greetedCount - shared.failedCount;
        for (int room = window - underWay; room > 0 && started < count; --room) {
            auto c = std::make_shared<Client>(shared, nameOf(first + started).toStdString());
            c->start(server);
            clients.push_back(std::move(c));
            ++started;
        }
    }
    void run()
    {
        shared.onGreeted = [this](Client&) { startMore(); };
        startMore();
        while (!stop)
            shared.context.run_for(std::chrono::milliseconds(50));
    }
    // Runs `task` on the worker's thread and waits for it.
    template <typename F>
    auto onThread(F task) -> decltype(task())
    {
        std::packaged_task<decltype(task())()> packaged(std::move(task));
        auto result = packaged.get_future();
        asio::post(shared.context, [&packaged] { packaged(); });
        return result.get();
    }
};

struct Tally {
    Histogram gaps;
    Histogram delays;
    qint64 delivered = 0, fewest = -1, behind = 0, playing = 0, lastGreeted = 0;
};

// Logs the watcher, participant 0, in and lets the stream settle for a second; none when it
// could not log in.
std::shared_ptr<Client> startWatcher(Shared& shared, const asio::ip::tcp::endpoint& server, QByteArray (*nameOf)(int))
{
    auto watcher = std::make_shared<Client>(shared, nameOf(0).toStdString());
    watcher->start(server);
    if (!runUntil(shared, [&] { return watcher->greeted; }, 60'000)) {
        std::fprintf(stderr, "the watcher did not log in\n");
        return nullptr;
    }
    runFor(shared, 1000);
    return watcher;
}

} // namespace

int runScale(const ScaleConfig& config, QByteArray (*nameOf)(int))
{
    Shared shared;
    shared.markerInstrument = config.markerInstrument;
    const asio::ip::tcp::endpoint server(asio::ip::address_v4::loopback(), config.port);
    const double rssBefore = processRssMb(config.serverPid);

    // The watcher: logged in first; its price gaps during the logins, its orders later, and
    // the markers that time the stream.
    const std::shared_ptr<Client> watcher = startWatcher(shared, server, nameOf);
    if (!watcher)
        return 1;

    // The logins: at most `loginWindow` under way at once, shared out over the workers.
    const int threads = std::clamp(config.threads, 1, 16);
    std::vector<std::unique_ptr<Worker>> workers;
    watcher->resetWindow(monotonicMs());
    const qint64 loginStart = monotonicMs();
    int next = 1;
    for (int i = 0; i < threads; ++i) {
        auto w = std::make_unique<Worker>();
        w->shared.markerInstrument = config.markerInstrument;
        w->shared.enterChat = config.enterChat;
        w->server = server;
        w->nameOf = nameOf;
        w->first = next;
        w->count = config.participants / threads + (i < config.participants % threads ? 1 : 0);
        w->window = std::max(1, config.loginWindow / threads);
        w->clients.reserve(static_cast<size_t>(w->count));
        next += w->count;
        workers.push_back(std::move(w));
    }
    for (auto& w : workers)
        w->thread = std::thread([raw = w.get()] { raw->run(); });
    const auto sum = [&](auto field) {
        int total = 0;
        for (const auto& w : workers)
            total += field(*w);
        return total;
    };
    const bool allIn = runUntil(shared, [&] {
        return sum([](Worker& w) { return w.shared.greetedCount + w.shared.failedCount; }) >= config.participants;
    }, config.timeoutSeconds * 1000LL);
    const int greeted = sum([](Worker& w) { return w.shared.greetedCount.load(); });
    const int failed = sum([](Worker& w) { return w.shared.failedCount.load(); });
    qint64 lastGreeted = loginStart;
    for (auto& w : workers) {
        lastGreeted = std::max(lastGreeted, w->onThread([raw = w.get()] {
            qint64 last = 0;
            for (const auto& c : raw->clients)
                last = std::max(last, c->greetedAt);
            return last;
        }));
    }
    const double loginSeconds = std::max<qint64>(1, lastGreeted - loginStart) / 1000.0;
    std::printf("login participants=%d greeted=%d failed=%d seconds=%.2f per_second=%.0f watcher_gap_max_ms=%lld complete=%d\n",
                config.participants, greeted, failed, loginSeconds, greeted / loginSeconds,
                static_cast<long long>(std::max(watcher->longestGap, monotonicMs() - watcher->lastPriceAt)), allIn ? 1 : 0);
    std::fflush(stdout);

    // The stream: every participant counts its prices and gaps; the watcher sends markers
    // and orders meanwhile.
    runFor(shared, 2000);
    const double rssLoaded = processRssMb(config.serverPid);
    Ticker markers(shared.context, config.markerEveryMs, [&] {
        const qint64 stamp = monotonicMs() % 2'000'000'000;
        watcher->send("@TESTQUOTE=" + std::to_string(config.markerInstrument) + ";100;99.5;100.5;" + std::to_string(stamp) + ";1");
    });
    watcher->ordering = true;
    Ticker orders(shared.context, config.orderEveryMs, [&] {
        if (watcher->orderSentAt >= 0)
            return; // the last one is still under way
        ++watcher->orderNumber;
        watcher->orderSentAt = monotonicMs();
        watcher->send("@PO=" + watcher->shortId + ';' + std::to_string(watcher->orderNumber) + ";2;"
                      + (watcher->orderNumber % 2 ? "BUY " : "SEL ") + ";MKT;1; 0; 0;0;0");
    });
    runFor(shared, 1000);
    const qint64 windowStart = monotonicMs();
    for (auto& w : workers) {
        w->onThread([raw = w.get(), windowStart] {
            for (const auto& c : raw->clients)
                c->resetWindow(windowStart);
            raw->shared.measuring = true;
            return 0;
        });
    }
    watcher->resetWindow(windowStart);
    shared.measuring = true;
    const double cpuStart = processCpuSeconds(config.serverPid);
    runFor(shared, config.seconds * 1000LL);
    const double cpuEnd = processCpuSeconds(config.serverPid);
    shared.measuring = false;
    const qint64 windowEnd = monotonicMs();
    const double window = (windowEnd - windowStart) / 1000.0;
    const double expected = config.rate * window;
    Tally tally;
    for (auto& w : workers) {
        const Tally t = w->onThread([raw = w.get(), windowEnd, expected] {
            raw->shared.measuring = false;
            Tally part;
            for (const auto& c : raw->clients) {
                if (!c->greeted)
                    continue;
                ++part.playing;
                part.gaps.add(std::max(c->longestGap, windowEnd - c->lastPriceAt));
                part.delivered += c->prices;
                part.fewest = part.fewest < 0 ? c->prices : std::min(part.fewest, c->prices);
                if (static_cast<double>(c->prices) < expected * 0.95)
                    ++part.behind;
            }
            part.delays.merge(raw->shared.delays);
            return part;
        });
        tally.gaps.merge(t.gaps);
        tally.delays.merge(t.delays);
        tally.delivered += t.delivered;
        tally.playing += t.playing;
        tally.behind += t.behind;
        if (t.fewest >= 0)
            tally.fewest = tally.fewest < 0 ? t.fewest : std::min(tally.fewest, t.fewest);
    }
    const double rssEnd = processRssMb(config.serverPid);
    const double cpu = cpuEnd - cpuStart;
    std::printf("stream participants=%lld seconds=%.1f rate=%.0f prices_expected=%.0f prices_min=%lld prices_min_pct=%.1f"
                " below_95pct=%lld delay_p50_ms=%lld delay_p99_ms=%lld delay_max_ms=%lld delay_samples=%lld"
                " gap_p99_ms=%lld gap_max_ms=%lld\n",
                static_cast<long long>(tally.playing), window, config.rate, expected, static_cast<long long>(tally.fewest),
                expected > 0 ? 100.0 * static_cast<double>(tally.fewest) / expected : 0.0, static_cast<long long>(tally.behind),
                static_cast<long long>(tally.delays.percentile(0.5)), static_cast<long long>(tally.delays.percentile(0.99)),
                static_cast<long long>(tally.delays.max()), static_cast<long long>(tally.delays.total()),
                static_cast<long long>(tally.gaps.percentile(0.99)), static_cast<long long>(tally.gaps.max()));
    std::printf("server cpu_seconds=%.2f cpu_share=%.2f prices_delivered=%lld cpu_us_per_price=%.3f rss_mb=%.1f"
                " rss_before_mb=%.1f rss_kb_per_participant=%.1f\n",
                cpu, cpu / window, static_cast<long long>(tally.delivered),
                tally.delivered > 0 ? cpu * 1e6 / static_cast<double>(tally.delivered) : -1.0, rssEnd, rssBefore,
                tally.playing > 0 ? (rssLoaded - rssBefore) * 1024.0 / static_cast<double>(tally.playing) : 0.0);
    std::printf("orders round_trips=%lld p50_ms=%lld p99_ms=%lld max_ms=%lld\n",
                static_cast<long long>(shared.orderTrips.total()), static_cast<long long>(shared.orderTrips.percentile(0.5)),
                static_cast<long long>(shared.orderTrips.percentile(0.99)), static_cast<long long>(shared.orderTrips.max()));
    std::fflush(stdout);
    watcher->ordering = false;

    // Logging in again with a password this server already checked: on the watcher's
    // context, while the others still stream.
    Histogram relogins;
    for (int i = 0; i < config.relogins && i < config.participants; ++i) {
        auto c = std::make_shared<Client>(shared, nameOf(i + 1).toStdString());
        c->start(server);
        runUntil(shared, [&] { return c->greeted || c->failed; }, 10'000);
        if (c->greeted)
            relogins.add(c->greetedAt - c->connectedAt);
        c->close();
    }
    std::printf("relogin count=%lld p50_ms=%lld max_ms=%lld\n", static_cast<long long>(relogins.total()),
                static_cast<long long>(relogins.percentile(0.5)), static_cast<long long>(relogins.max()));
    std::fflush(stdout);
    for (auto& w : workers) {
        w->onThread([raw = w.get()] {
            for (const auto& c : raw->clients)
                c->close();
            return 0;
        });
        w->stop = true;
        w->thread.join();
    }
    watcher->close();
    shared.context.run_for(std::chrono::milliseconds(200));
    return 0;
}

int runStallProbe(quint16 port, qint64 serverPid, int connections, int seconds, double rate, QByteArray (*nameOf)(int))
{
    Shared shared;
    const asio::ip::tcp::endpoint server(asio::ip::address_v4::loopback(), port);
    const std::shared_ptr<Client> watcher = startWatcher(shared, server, nameOf);
    if (!watcher)
        return 1;
    const double rssBefore = processRssMb(serverPid);
    watcher->resetWindow(monotonicMs());
    // Each connection of the one participant reads its greeting, then nothing more; the
    // next one logs in when the last is greeted (or gave up), as a client reconnecting would.
    std::vector<std::shared_ptr<Client>> own;
    const auto next = [&] {
        if (static_cast<int>(own.size()) >= connections)
            return;
        own.push_back(std::make_shared<Client>(shared, nameOf(1).toStdString()));
        own.back()->start(server);
    };
    shared.onGreeted = [&](Client& c) {
        if (&c == watcher.get())
            return;
        c.stopReading();
        next();
    };
    next();
    double rssMax = rssBefore;
    const qint64 end = monotonicMs() + seconds * 1000LL;
    int failedBefore = shared.failedCount;
    while (monotonicMs() < end) {
        runFor(shared, 250);
        rssMax = std::max(rssMax, processRssMb(serverPid));
        if (shared.failedCount != failedBefore) { // a refused login does not stop the rest
            failedBefore = shared.failedCount;
            next();
        }
    }
    const auto open = std::count_if(own.begin(), own.end(), [](const std::shared_ptr<Client>& c) { return c->established(); });
    const auto greeted = std::count_if(own.begin(), own.end(), [](const std::shared_ptr<Client>& c) { return c->greeted; });
    std::printf("stall connections=%d greeted=%lld rate=%.0f seconds=%d open_after=%lld server_rss_before_mb=%.1f"
                " server_rss_max_mb=%.1f server_rss_end_mb=%.1f watcher_prices=%lld watcher_gap_max_ms=%lld\n",
                connections, static_cast<long long>(greeted), rate, seconds, static_cast<long long>(open), rssBefore, rssMax,
                processRssMb(serverPid), static_cast<long long>(watcher->prices),
                static_cast<long long>(std::max(watcher->longestGap, monotonicMs() - watcher->lastPriceAt)));
    std::fflush(stdout);
    for (const auto& c : own)
        c->close();
    watcher->close();
    return 0;
}

} // namespace korvi::load
