// Update packages: escaping and decoding throughput on a 10 MB package, and a 10 MB
// package sent to one client while a second client watches its price stream.
#include "escaping.h"
#include "serverprocess.h"
#include "support/benchmain.h"
#include "support/liveserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>
#include <thread>

using namespace korvi;

namespace {

constexpr qsizetype kPackageBytes = 10 * 1024 * 1024;

// A package like a real program: all byte values, with many zero bytes.
const QByteArray& package()
{
    static const QByteArray p = [] {
        QByteArray out(kPackageBytes, Qt::Uninitialized);
        QRandomGenerator random(42);
        for (char& c : out) {
            const quint32 r = random.generate();
            c = (r & 0x300) == 0 ? '\0' : static_cast<char>(r & 0xFF);
        }
        return out;
    }();
    return p;
}

void BM_EscapeEncode(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(EscapeEncode(package()));
    state.SetBytesProcessed(state.iterations() * kPackageBytes);
}
BENCHMARK(BM_EscapeEncode)->Unit(benchmark::kMillisecond);

void BM_EscapeDecode(benchmark::State& state)
{
    const QByteArray escaped = EscapeEncode(package());
    QByteArray out;
    out.reserve(escaped.size());
    for (auto _ : state) {
        out.clear();
        EscapeDecodeAppend(escaped, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * escaped.size());
}
BENCHMARK(BM_EscapeDecode)->Unit(benchmark::kMillisecond);

// The whole file step of the client: 10000-byte chunks from "dummy.bin" into the target.
void BM_DecodeFile(benchmark::State& state)
{
    QTemporaryDir dir;
    const QByteArray escaped = EscapeEncode(package());
    QFile f(dir.filePath("dummy.bin"));
    if (!f.open(QIODevice::WriteOnly) || f.write(escaped) != escaped.size()) {
        state.SkipWithError("cannot write the escaped file");
        return;
    }
    f.close();
    for (auto _ : state) {
        const DecodeResult r = DecodeFile(dir.filePath("dummy.bin"), dir.filePath("KORVIUP.EXX"));
        if (r.status != DecodeResult::Done || r.written != kPackageBytes)
            state.SkipWithError("decoding failed");
    }
    state.SetBytesProcessed(state.iterations() * escaped.size());
}
BENCHMARK(BM_DecodeFile)->Unit(benchmark::kMillisecond);

// Client A (the real client logic) receives the package; client B, on a thread of its
// own, notes when each price message arrives. The largest gap in B's stream while A
// receives is set against the largest gap in an equally long quiet stretch before.
void BM_TransferWhilePricesStream(benchmark::State& state)
{
#ifndef KORVI_SERVER_PATH
    state.SkipWithError("korvi-server is not built");
    return;
#else
    qputenv("KORVI_SERVER", KORVI_SERVER_PATH);
    for (auto _ : state) {
        QTemporaryDir data;
        QFile packageFile(data.filePath("package.bin"));
        if (!packageFile.open(QIODevice::WriteOnly) || packageFile.write(package()) != kPackageBytes) {
            state.SkipWithError("cannot write the package");
            return;
        }
        packageFile.close();
        ServerProcess::admin(data.path(), {"user", "add", "watcher", "watcher"});
        ServerProcess server(data.path());
        if (!server.start({"--rate", "50", "--seed", "9", "--update-package", data.filePath("package.bin"),
                           "--update-below", "99.0.0", "--quiet"})) {
            state.SkipWithError("the server does not start");
            return;
        }
        std::mutex lock;
        std::vector<qint64> arrivals; // ms since the clock started
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> stop = false, ready = false;
        std::thread watcher([&] {
            Peer b;
            if (!b.connectTo(server.tcpPort()) || b.loginAndGreeting("watcher", "watcher").empty()) {
                ready = true;
                return;
            }
            b.send("@SV=V99.0.0");
            ready = true;
            while (!stop) {
                const std::optional<QByteArray> m = b.next(200);
                if (m && (m->startsWith('~') || m->startsWith('^') || m->startsWith("@KU="))) {
                    std::lock_guard guard(lock);
                    arrivals.push_back(clock.elapsed());
                }
            }
        });
        while (!ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        const auto largestGap = [&](qint64 from, qint64 to) {
            std::lock_guard guard(lock);
            qint64 gap = 0, last = from;
            for (qint64 t : arrivals) {
                if (t < from || t > to)
                    continue;
                gap = std::max(gap, t - last);
                last = t;
            }
            return std::max(gap, to - last);
        };

        test::ClientFixture a;
        const qint64 loginAt = clock.elapsed();
        const bool loggedIn = a.loginTo(server.tcpPort());
        const QString stored = a.dir.filePath("KORVIUP.EXX");
        const bool done = loggedIn && test::waitFor([&] { return QFileInfo(stored).size() == kPackageBytes; }, 120000);
        const qint64 doneAt = clock.elapsed();
        // A quiet stretch of the same length, for comparison.
        const qint64 quietFrom = doneAt + 200;
        test::waitFor([] { return false; }, int(std::min<qint64>(doneAt - loginAt, 5000)) + 200);
        const qint64 quietTo = clock.elapsed();
        stop = true;
        watcher.join();
        if (!done) {
            state.SkipWithError("the package did not arrive");
            return;
        }
        state.counters["transfer_ms"] = double(doneAt - loginAt);
        state.counters["max_price_gap_during_ms"] = double(largestGap(loginAt, doneAt));
        state.counters["max_price_gap_quiet_ms"] = double(largestGap(quietFrom, quietTo));
    }
#endif
}
BENCHMARK(BM_TransferWhilePricesStream)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
