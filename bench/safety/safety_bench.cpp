// The client's memory under a long price stream: short and full price messages for 50
// instruments fed through the receive path of the real client (framing, logging with the
// "Kursprotokoll" box ticked, the price handlers, the history), with the refresh that
// redraws the changed instrument lines every 3,000 messages, as 20,000 messages a second
// and a redraw every 150 ms would. 18,000,000 messages are 15 minutes at that rate. The
// resident memory is read from /proc before and after.

#include "support/benchmain.h"
#include "framing.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QFile>
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace {

using namespace korvi;

constexpr int kInstruments = 50;

double residentMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// One arrival of 100 messages of every kind, the prices moving so that the history keeps
// taking snapshots.
QByteArray arrival(int round)
{
    QByteArray out;
    for (int i = 0; i < 100; ++i) {
        const int k = round * 100 + i;
        const QByteArray n = QByteArray::number(k % kInstruments + 1);
        const QByteArray tick = QByteArray::number(k % 7 + 1);
        switch (k % 6) {
        case 0: out += frame("~" + n + ";78.5" + tick + ";.0" + tick + ";5;.02;6"); break;
        case 1: out += frame("^1" + n + ";.0" + tick + ";" + tick + ";.03;9"); break;
        case 2: out += frame("^3" + n + ";.0" + tick); break;
        case 3: out += frame("^5" + n + ";.0" + tick + ";4"); break;
        case 4: out += frame("^4" + n + ";" + tick); break;
        default: out += frame("@KU=" + n + ";78.4" + tick + ";3;78.6" + tick + ";4;78.5" + tick); break;
        }
    }
    return out;
}

void BM_PriceStreamMemory(benchmark::State& st)
{
    test::ClientFixture client;
    ClientApp& app = client.app;
    QByteArray si = "@SI=";
    for (int i = 1; i <= kInstruments; ++i)
        si += "T" + QByteArray::number(i) + ";L" + QByteArray::number(i) + ";EUR;78.5;78.4;10;78.6;20;Name;25;1;2\n";
    app.dispatcher.dispatch(si);
    app.connection.setKursprotokoll(true);
    OrderGridView view(app.orderGrid.cells, app.orderEntry);
    view.resize(1400, 900);
    view.show();
    QApplication::processEvents();

    std::vector<QByteArray> arrivals;
    for (int r = 0; r < 30; ++r)
        arrivals.push_back(arrival(r));
    const long long messages = st.range(0);
    std::vector<int> changed;
    double before = 0;
    for (auto _ : st) {
        before = residentMiB();
        for (long long sent = 0, round = 0; sent < messages; sent += 100, ++round) {
            app.connection.receive(arrivals[size_t(round % 30)]);
            if (sent % 3000 == 0) {
                if (app.prices.refresh(changed) && !changed.empty())
                    app.orderGrid.redrawInstruments(QList<int>(changed.begin(), changed.end()));
                QApplication::processEvents();
            }
        }
    }
    const double after = residentMiB();
    st.counters["messages"] = double(messages);
    st.counters["rss_before_MiB"] = before;
    st.counters["rss_after_MiB"] = after;
    st.counters["incoming_lines"] = double(app.incoming.lines().size());
}
BENCHMARK(BM_PriceStreamMemory)->Arg(1'800'000)->Arg(18'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
