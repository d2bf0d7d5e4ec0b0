// What the server spends per price message, per login greeting and per order.
#include "support/benchmain.h"
#include "framing.h"
#include "messages.h"
#include "participantstore.h"
#include "pricesimulator.h"
#include "session.h"
#include "tradestore.h"
#include "tradingengine.h"
#include "transport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvi::server;

namespace {

std::vector<InstrumentSpec> definitions()
{
    std::vector<InstrumentSpec> out;
    for (int i = 0; i < 13; ++i) {
        out.push_back({"T" + QByteArray::number(i), "C" + QByteArray::number(i), "EUR", "Instrument " + QByteArray::number(i),
                       25, 30000, 18250, 0.5, 2});
    }
    return out;
}

// One market change turned into its wire message and framed into a batch.
void BM_PriceStep(benchmark::State& state)
{
    PriceSimulator sim(definitions(), 1);
    QByteArray batch;
    for (auto _ : state) {
        const PriceSimulator::Update u = sim.step();
        batch.append('\x01');
        batch.append(msg::priceChange(u.index + 1, u.before, u.after, u.full));
        batch.append('\x02');
        if (batch.size() > 64 * 1024)
            batch.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PriceStep);

// Everything a participant is sent after a good login.
void BM_WelcomeSequence(benchmark::State& state)
{
    const std::vector<InstrumentSpec> s = definitions();
    PriceSimulator sim(s, 1);
    std::vector<PriceState> quotes;
    for (int i = 0; i < sim.count(); ++i)
        quotes.push_back(sim.quote(i));
    Participant p;
    p.name = "demo";
    p.shortId = "U00001";
    p.accountStart = "20240101";
    p.baseValue = 100000;
    for (auto _ : state)
        benchmark::DoNotOptimize(welcomeSequence(p, s, quotes));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WelcomeSequence);

// Counts what the engine says instead of sending it.
class CountingOutbox : public TradeOutbox {
public:
    void toParticipant(qint64, QByteArray message) override { bytes += message.size(); }
    qint64 bytes = 0;
};

// One market order of one of 200 participants: checked, accepted, filled against the
// quote, booked into position and account, answered with its five messages and stored;
// the store commits every `range(0)` orders, as the server does once per batch of events.
void BM_OrderRoundTrip(benchmark::State& state)
{
    QTemporaryDir dir;
    ParticipantStore participants;
    QString error;
    std::vector<std::pair<QByteArray, QByteArray>> names;
    for (int i = 0; i < 200; ++i)
        names.emplace_back("bench" + QByteArray::number(i), "pw");
    if (!participants.open(dir.path(), error) || !participants.addMany(names, error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    TradeStore store;
    CountingOutbox out;
    const std::vector<InstrumentSpec> s = definitions();
    PriceSimulator sim(s, 1);
    std::vector<PriceState> quotes;
    for (int i = 0; i < sim.count(); ++i)
        quotes.push_back(sim.quote(i));
    if (!store.open(dir.path(), error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    // Each participant places far more orders a second here than a person could; the
    // limits are lifted so every order is matched and booked.
    EngineOptions options;
    options.orderLimits = {1e9, 1'000'000'000, 1'000'000'000};
    TradingEngine engine(s, quotes, &store, out, options);
    const std::vector<Participant> all = participants.list();
    if (!engine.restore(all, error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const qint64 batch = state.range(0);
    qint64 n = 0;
    for (auto _ : state) {
        const Participant& p = all[static_cast<size_t>(n % static_cast<qint64>(all.size()))];
        const qint64 round = n / static_cast<qint64>(all.size());
        const QByteArray body = p.shortId + ';' + QByteArray::number(round + 1) + ';' + QByteArray::number((round / 2) % 13 + 1)
                                + (round % 2 == 0 ? ";BUY ;MKT;1; 0; 0;0;0" : ";SEL ;MKT;1; 0; 0;0;0");
        engine.placeOrder(p.id, body);
        if (++n % batch == 0 && !store.commit(error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    store.commit(error);
    state.SetItemsProcessed(state.iterations());
    state.counters["fills"] = static_cast<double>(engine.fillsToday());
}
BENCHMARK(BM_OrderRoundTrip)->Arg(1)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

// One block of prices handed to `range(0)` connections and written out, as a tick of the
// game port does: each connection queues the shared block and gets one gathered write.
// The time per item is the cost of one delivered block; it stays the same however many
// connections there are, since nothing in the path looks at the others. (Socket pairs on
// this machine's descriptor limit: two descriptors per connection.)
void BM_PriceFanOut(benchmark::State& state)
{
    const int sessions = static_cast<int>(state.range(0));
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    Transport transport([] { return qint64(0); });
    std::vector<std::shared_ptr<Connection>> connections;
    std::vector<int> peers;
    for (int i = 0; i < sessions; ++i) {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
            state.SkipWithError("out of descriptors");
            break;
        }
        QString error;
        connections.push_back(transport.adoptDescriptor(fds[0], error));
        peers.push_back(fds[1]);
    }
    PriceSimulator sim(definitions(), 1);
    char sink[65536];
    qint64 n = 0;
    for (auto _ : state) {
        QByteArray block;
        for (int i = 0; i < 3; ++i) {
            const PriceSimulator::Update u = sim.step();
            block += korvi::frame(msg::priceChange(u.index + 1, u.before, u.after, u.full));
        }
        for (const auto& c : connections)
            c->send(block);
        transport.flushDirty();
        while (connections.front()->queuedBytes() > 0 || connections.back()->queuedBytes() > 0)
            transport.flushDirty();
        if (++n % 64 == 0) {
            // The clients read what came (not timed).
            state.PauseTiming();
            for (int fd : peers) {
                while (::read(fd, sink, sizeof sink) > 0) {
                }
            }
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<qint64>(connections.size()));
    connections.clear();
    for (int fd : peers)
        ::close(fd);
}
BENCHMARK(BM_PriceFanOut)->Arg(1000)->Arg(2000)->Arg(5000)->Arg(8000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
