// Receive path of the client: bytes arriving in pieces of 64 bytes to 4 MB, cut into short
// price frames and dispatched to a handler that cuts and reads its fields. The literal
// algorithm (the rest of the buffer copied after every message) runs alongside as the
// baseline. Heap allocations per frame are counted once warm.

#include "support/benchmain.h"
#include "app/clientapp.h"
#include "fields.h"
#include "framing.h"
#include "numbers.h"
#include "support/liveserver.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> g_allocations{0};

QByteArray priceStream(qsizetype bytes)
{
    QByteArray out;
    int i = 0;
    while (out.size() < bytes) {
        out += korvi::frame("~" + QByteArray::number(i % 200 + 1) + ";4711.75;.25;" +
                            QByteArray::number(100 + i % 50) + ";.5;" + QByteArray::number(200 + i % 70));
        ++i;
    }
    return out;
}

// What a price handler does with its body: cut the fields, read the numbers.
struct PriceSink {
    korvi::Fields fields;
    double sum = 0;
    void operator()(QByteArrayView body)
    {
        fields.split(body, 20, ';');
        for (int f = 1; f <= 6; ++f)
            sum += korvi::readNumber(fields[f]);
    }
};

constexpr qsizetype kStreamBytes = 8 * 1024 * 1024;

void feedInPieces(const QByteArray& stream, qsizetype piece, const std::function<void(QByteArrayView)>& feed)
{
    for (qsizetype pos = 0; pos < stream.size(); pos += piece)
        feed(QByteArrayView(stream).sliced(pos, qMin(piece, stream.size() - pos)));
}

long long countFrames(const QByteArray& stream) { return stream.count(korvi::FrameEnd); }

void BM_ReceivePath(benchmark::State& st)
{
    const qsizetype piece = st.range(0);
    const QByteArray stream = priceStream(kStreamBytes);
    korvi::test::ClientFixture client;
    korvi::ClientApp& app = client.app;
    app.state.InstrumentCount = 200;
    PriceSink sink;
    app.dispatcher.onShortPrice(0, [&sink](QByteArrayView body) { sink(body); });
    auto feed = [&app](QByteArrayView b) { app.connection.receive(b); };

    feedInPieces(stream, piece, feed); // warm up
    long long allocations = 0;
    for (auto _ : st) {
        const long long before = g_allocations.load();
        feedInPieces(stream, piece, feed);
        allocations += g_allocations.load() - before;
    }
    const long long frames = countFrames(stream) * st.iterations();
    st.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    st.counters["ns/frame"] = benchmark::Counter(static_cast<double>(frames),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    st.counters["allocs/frame"] = static_cast<double>(allocations) / static_cast<double>(frames);
    benchmark::DoNotOptimize(sink.sum);
}
BENCHMARK(BM_ReceivePath)->Arg(64)->Arg(1024)->Arg(64 * 1024)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// The algorithm as literally written: search from the start, copy the rest after each message.
void BM_LiteralBaseline(benchmark::State& st)
{
    const qsizetype piece = st.range(0);
    const QByteArray stream = priceStream(piece >= (1 << 20) ? 2 * piece : kStreamBytes);
    PriceSink sink;
    for (auto _ : st) {
        QByteArray buffer;
        feedInPieces(stream, piece, [&](QByteArrayView b) {
            buffer.append(b);
            qsizetype p;
            while ((p = buffer.indexOf(korvi::FrameEnd)) >= 0) {
                const QByteArray message = buffer.mid(1, p - 1);
                buffer = buffer.mid(p + 1);
                if (message.startsWith('~'))
                    sink(QByteArrayView(message).sliced(1));
            }
        });
    }
    const long long frames = countFrames(stream) * st.iterations();
    st.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(sink.sum);
}
BENCHMARK(BM_LiteralBaseline)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
