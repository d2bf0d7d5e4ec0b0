// Market data of the client: bytes of a realistic price stream over 200 instruments cut
// into frames and applied to the instrument table and the price history; an instrument
// list of 1,000 instruments; and the memory the price history holds per slot. Heap
// allocations (every malloc of the process) per message are counted once warm.

#include "support/benchmain.h"
#include "app/clientapp.h"
#include "framing.h"
#include "support/doubles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <random>

namespace {

std::atomic<long long> g_allocations{0};

QByteArray instrumentList(int count)
{
    QByteArray body = "@SI=";
    for (int n = 1; n <= count; ++n) {
        const QByteArray k = QByteArray::number(n);
        body += "TK" + k + ";LT" + k + ";EUR;" + QByteArray::number(1000 + n) + ".5;" +
                QByteArray::number(1000 + n) + ";10;" + QByteArray::number(1001 + n) +
                ";12;Instrument " + k + ";25;0;0\n";
    }
    return body;
}

// The mix the server streams: mostly short forms, now and then a full update.
QByteArray priceStream(int instruments, int messages)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> inst(1, instruments), kind(0, 99), tick(0, 8), size(1, 500);
    QByteArray out;
    for (int i = 0; i < messages; ++i) {
        const QByteArray n = QByteArray::number(inst(rng));
        const QByteArray d1 = "." + QByteArray::number(tick(rng) * 25);
        const QByteArray d2 = "." + QByteArray::number(tick(rng) * 25);
        const QByteArray v1 = QByteArray::number(size(rng)), v2 = QByteArray::number(size(rng));
        const int k = kind(rng);
        QByteArray m;
        if (k < 30)
            m = "~" + n + ";" + QByteArray::number(1000 + tick(rng)) + ".25;" + d1 + ";" + v1 + ";" + d2 + ";" + v2;
        else if (k < 45)
            m = "^1" + n + ";" + d1 + ";" + v1 + ";" + d2 + ";" + v2;
        else if (k < 60)
            m = "^2" + n + ";" + d2 + ";" + v2;
        else if (k < 75)
            m = "^3" + n + ";" + d2;
        else if (k < 85)
            m = "^4" + n + ";" + v2;
        else if (k < 95)
            m = "^5" + n + ";" + d1 + ";" + v1;
        else
            m = "@KU=" + n + ";999.75;" + v1 + ";1000.25;" + v2 + ";1000";
        out += korvi::frame(m);
    }
    return out;
}

struct Client {
    QTemporaryDir dir;
    korvi::test::FakePrompts prompts;
    korvi::test::FakeSound sound;
    korvi::SystemClock clock;
    korvi::test::FakePages pages;
    korvi::ClientApp app{dir.path(), prompts, sound, clock, pages};
};

void feed(const QByteArray& stream, qsizetype piece, const std::function<void(QByteArrayView)>& f)
{
    for (qsizetype pos = 0; pos < stream.size(); pos += piece)
        f(QByteArrayView(stream).sliced(pos, qMin(piece, stream.size() - pos)));
}

// The handlers behind the framer: receive buffer, dispatcher, price handlers, history.
void BM_PriceStreamToTables(benchmark::State& st)
{
    Client c;
    c.app.dispatcher.dispatch(instrumentList(200));
    const int messages = 200000;
    const QByteArray stream = priceStream(200, messages);
    korvi::ReceiveBuffer buffer;
    auto apply = [&](QByteArrayView bytes) {
        buffer.append(bytes);
        QByteArrayView m;
        while (buffer.next(m))
            c.app.dispatcher.dispatch(m);
        buffer.compact();
    };
    feed(stream, 64 * 1024, apply); // warm
    long long allocations = 0;
    for (auto _ : st) {
        const long long before = g_allocations.load();
        feed(stream, 64 * 1024, apply);
        allocations += g_allocations.load() - before;
    }
    const double total = double(messages) * double(st.iterations());
    st.counters["msgs/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
    st.counters["allocs/msg"] = double(allocations) / total;
    benchmark::DoNotOptimize(c.app.state.Instruments[1].Bid);
}
BENCHMARK(BM_PriceStreamToTables)->Unit(benchmark::kMillisecond);

// The same bytes through the connection's whole receive step (counters and logging too).
void BM_PriceStreamThroughReceive(benchmark::State& st)
{
    Client c;
    c.app.dispatcher.dispatch(instrumentList(200));
    const int messages = 200000;
    const QByteArray stream = priceStream(200, messages);
    auto apply = [&](QByteArrayView bytes) { c.app.connection.receive(bytes); };
    feed(stream, 64 * 1024, apply);
    long long allocations = 0;
    for (auto _ : st) {
        const long long before = g_allocations.load();
        feed(stream, 64 * 1024, apply);
        allocations += g_allocations.load() - before;
    }
    const double total = double(messages) * double(st.iterations());
    st.counters["msgs/s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
    st.counters["allocs/msg"] = double(allocations) / total;
}
BENCHMARK(BM_PriceStreamThroughReceive)->Unit(benchmark::kMillisecond);

// A later instrument list (the history already exists): table, presets, list lines.
void BM_InstrumentList1000(benchmark::State& st)
{
    Client c;
    const QByteArray list = instrumentList(1000);
    c.app.dispatcher.dispatch(list);
    for (auto _ : st) {
        c.app.dispatcher.dispatch(list);
        st.PauseTiming();
        c.app.outgoing.clear(); // the list only grows; keep the runs alike
        st.ResumeTiming();
    }
    st.counters["instruments"] = c.app.state.InstrumentCount;
}
BENCHMARK(BM_InstrumentList1000)->Unit(benchmark::kMicrosecond);

// The first list of a run: also creates the history (no price files in the folder).
void BM_FirstInstrumentList1000(benchmark::State& st)
{
    const QByteArray list = instrumentList(1000);
    for (auto _ : st) {
        st.PauseTiming();
        auto c = std::make_unique<Client>();
        st.ResumeTiming();
        c->app.dispatcher.dispatch(list);
        st.PauseTiming();
        c.reset();
        st.ResumeTiming();
    }
}
BENCHMARK(BM_FirstInstrumentList1000)->Unit(benchmark::kMicrosecond);

long residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4096 : 0;
}

// 1,000 instruments with every one of their 3,000 slots written.
void BM_HistoryMemoryFull(benchmark::State& st)
{
    for (auto _ : st) {
        const long before = residentBytes();
        korvi::PriceHistory h;
        h.create(1000);
        for (int n = 1; n <= 1000; ++n)
            for (int s = 1; s <= korvi::PriceHistory::kSlots; ++s)
                h.at(n, s) = korvi::PriceSnapshot{1, 2, 3, 0, double(s)};
        const long after = residentBytes();
        st.counters["bytes/slot"] = double(sizeof(korvi::PriceSnapshot));
        st.counters["resident MB"] = double(after - before) / (1024.0 * 1024.0);
        benchmark::DoNotOptimize(h.at(1000, 3000).Zeit);
    }
}
BENCHMARK(BM_HistoryMemoryFull)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

// Every heap allocation of the process, Qt's included, goes through malloc: count there.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
}

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
