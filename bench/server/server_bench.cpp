// What the server spends per price message and per login greeting.
#include "messages.h"
#include "pricesimulator.h"
#include "session.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

using namespace korvi::server;

namespace {

std::vector<InstrumentSpec> specs()
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
    PriceSimulator sim(specs(), 1);
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
    const std::vector<InstrumentSpec> s = specs();
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

} // namespace

BENCHMARK_MAIN();
