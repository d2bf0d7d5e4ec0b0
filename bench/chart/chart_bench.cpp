// The price chart: both charts of a full history (3,000 snapshots each) drawn into one
// 1600x900 image, and the client's processor time with the chart window open while the
// game server streams 1,000 price messages per second for the chart instrument.

#include "support/benchmain.h"
#include "chart/chart.h"
#include "chart/chartdrawing.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <random>
#include <sys/resource.h>

namespace {

// A random walk of 3,000 snapshots with a spread of one to three ticks.
korvi::PriceHistory fullHistory()
{
    korvi::PriceHistory h;
    h.create(1);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> move(-2, 2), spread(1, 3);
    double last = 18250;
    for (int s = 1; s <= korvi::PriceHistory::kSlots; ++s) {
        last += move(rng) * 0.5;
        h.at(1, s) = {float(last - spread(rng) * 0.5), float(last + spread(rng) * 0.5), float(last), 0, 0};
    }
    h.setPos(1, 1234); // the ring has wrapped
    return h;
}

void BM_DrawBothCharts(benchmark::State& st)
{
    const korvi::PriceHistory h = fullHistory();
    const int range = static_cast<int>(st.range(0));
    QImage img(1600, 900, QImage::Format_RGB32);
    for (auto _ : st) {
        QPainter p(&img);
        korvi::chartupdate(p, QRect(0, 0, 800, 900), h, 1, range);
        korvi::chartupdate(p, QRect(800, 0, 800, 900), h, 1, range);
    }
    st.counters["snapshots_per_chart"] = range;
}
BENCHMARK(BM_DrawBothCharts)->Arg(3000)->Arg(100)->Unit(benchmark::kMillisecond);

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The whole client (receive path, tables, order grid cells, refresh) of this process with
// the chart window open at 1600x900 on a server of one instrument at 1,000 messages per
// second; ten seconds of wall time. The server runs in its own process.
void BM_ChartOpenAt1000PricesPerSecond(benchmark::State& st)
{
#ifdef KORVI_SERVER_PATH
    if (qEnvironmentVariableIsEmpty("KORVI_SERVER"))
        qputenv("KORVI_SERVER", KORVI_SERVER_PATH);
#endif
    if (!korvi::test::LiveServer::available()) {
        st.SkipWithError("korvi-server is not built");
        return;
    }
    QTemporaryDir dir;
    const QString conf = dir.filePath("one.conf");
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly) || f.write("FDAX;FDAX.EUREX;EUR;DAX Future;25;32000;18250;0.5;2.50\n") < 0) {
        st.SkipWithError("cannot write the instrument list");
        return;
    }
    f.close();
    korvi::test::LiveSession live;
    if (!live.server.start({"--rate", "1000", "--instruments", conf, "--quiet"}) ||
        !live.client.loginTo(live.server.port)) {
        st.SkipWithError("the game server did not start");
        return;
    }
    korvi::ClientApp& app = live.client.app;
    korvi::Chart window(app.chart, app.state.priceHistory);
    window.resize(1600, 900);
    app.chart.open(1);
    int ticks = 0, redraws = 0;
    QObject::connect(&app, &korvi::ClientApp::refreshTick, [&] { ++ticks; });
    QObject::connect(&app.chart, &korvi::ChartControl::redrawRequested, [&] { ++redraws; });
    korvi::test::waitFor([] { return false; }, 1000); // settle

    for (auto _ : st) {
        ticks = redraws = 0;
        int snapshots = 0, lastPos = app.state.priceHistory.pos(1);
        // The snapshots are counted at each refresh tick; less than 3,000 arrive per tick.
        QObject::connect(&app, &korvi::ClientApp::refreshTick, &window, [&] {
            const int pos = app.state.priceHistory.pos(1);
            snapshots += (pos - lastPos + korvi::PriceHistory::kSlots) % korvi::PriceHistory::kSlots;
            lastPos = pos;
        });
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = wall.elapsed() / 1000.0;
        st.counters["client_cpu_percent"] = 100 * (processCpuSeconds() - cpuBefore) / seconds;
        st.counters["snapshots_per_s"] = snapshots / seconds;
        st.counters["ticks"] = ticks;
        st.counters["redraws_per_tick"] = ticks ? double(redraws) / ticks : 0;
    }
}
BENCHMARK(BM_ChartOpenAt1000PricesPerSecond)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
