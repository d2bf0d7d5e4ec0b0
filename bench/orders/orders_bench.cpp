// Order and execution reports under the offscreen platform, each grid shown by a real view:
// the full order list of 1,000 orders with the grid rebuild and full draw, the full list of
// 1,000 executions with the sort and full draw, and a stream of status changes to existing
// orders, each redrawing its own row; bursts of 20,000 new orders and of 20,000 fills.

#include "support/benchmain.h"
#include "account/executions.h"
#include "app/clientapp.h"
#include "framing.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

constexpr int kInstruments = 20;
constexpr int kRecords = 1000;

QByteArray instrumentList()
{
    QByteArray si = "@SI=";
    for (int i = 1; i <= kInstruments; ++i)
        si += "T" + QByteArray::number(i) + ";L" + QByteArray::number(i) + ";EUR;100;99.5;10;100.5;20;Name;25;1;2\n";
    return si;
}

// Open orders (status 1 to 4) spread over the instruments.
QByteArray allOrders()
{
    QByteArray body = "@SAO=";
    for (int o = 1; o <= kRecords; ++o)
        body += QByteArray::number(o) + ";S" + QByteArray::number(o) + ";INFO;" + (o % 2 ? "BUY" : "SEL") +
                ";3;LMT;101.25;0;" + QByteArray::number(o % 4 + 1) + ";0;3;0;093000;093001;X;" +
                QByteArray::number(o % kInstruments + 1) + ";0;0;;0;0\n";
    return body;
}

QByteArray allExecutions()
{
    QByteArray body = "@SAE=";
    for (int e = 1; e <= kRecords; ++e)
        body += "T;S" + QByteArray::number(e) + ";F3;" + QByteArray::number(e % kInstruments + 1) + ";F5;E" +
                QByteArray::number(e) + ";093005;BOT;3;101.25;303.75;1.5;" + QByteArray::number(e % 50) + "\n";
    return body;
}

struct Client : korvi::test::ClientFixture {
    korvi::OrderGridView orderView{app.orderGrid.cells, app.orderEntry};
    korvi::CellGridView executionView{app.executions.cells};

    Client()
    {
        app.dispatcher.dispatch(instrumentList());
        for (korvi::CellGridView* v : {static_cast<korvi::CellGridView*>(&orderView), &executionView}) {
            v->resize(1400, 900);
            v->show();
        }
        QApplication::processEvents();
    }
    // The logs only grow; they are emptied between rounds so that every round is alike.
    void clearLogs()
    {
        app.outgoing.clear();
        app.protocol.clear();
    }
};

void BM_AllOrdersRebuildAndDraw(benchmark::State& st)
{
    Client c;
    const QByteArray message = allOrders();
    for (auto _ : st) {
        c.app.dispatcher.dispatch(message);
        QApplication::processEvents(); // the view repaints what is visible
        st.PauseTiming();
        c.clearLogs();
        st.ResumeTiming();
    }
    st.counters["rows"] = c.app.state.book.OGRowMap.count();
}
BENCHMARK(BM_AllOrdersRebuildAndDraw)->Unit(benchmark::kMillisecond);

void BM_AllExecutionsSortAndDraw(benchmark::State& st)
{
    Client c;
    const QByteArray message = allExecutions();
    for (auto _ : st) {
        c.app.dispatcher.dispatch(message);
        QApplication::processEvents();
        st.PauseTiming();
        c.clearLogs();
        st.ResumeTiming();
    }
    st.counters["rows"] = c.app.state.executions.ExecutionRowMap.count();
}
BENCHMARK(BM_AllExecutionsSortAndDraw)->Unit(benchmark::kMillisecond);

// 1,000 status changes to existing open orders; the view repaints once after the stream,
// as it would between two passes of the event loop. Time is per change.
void BM_StatusStreamSingleRows(benchmark::State& st)
{
    Client c;
    c.app.dispatcher.dispatch(allOrders());
    QApplication::processEvents();
    std::vector<QByteArray> updates;
    for (int i = 0; i < kRecords; ++i) {
        const int o = (i * 37) % kRecords + 1;
        updates.push_back("@OS=" + QByteArray::number(o) + ";S" + QByteArray::number(o) + ";" +
                          QByteArray::number(i % 2 ? 3 : 4) + ";0930" + QByteArray::number(10 + i % 50) +
                          ";1;2;100.5;;0;0");
    }
    int resets = 0;
    QObject::connect(&c.app.orderGrid.cells, &korvi::CellGrid::layoutReset, [&] { ++resets; });
    for (auto _ : st) {
        for (const QByteArray& m : updates)
            c.app.dispatcher.dispatch(m);
        QApplication::processEvents();
    }
    st.SetItemsProcessed(st.iterations() * kRecords);
    st.counters["us_per_update"] = benchmark::Counter(
        double(st.iterations()) * kRecords, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    st.counters["full_redraws"] = resets; // must stay 0: single rows only
}
BENCHMARK(BM_StatusStreamSingleRows)->Unit(benchmark::kMillisecond);

// A burst of 20,000 new orders (or fills) as a server may send them on a busy day, fed in
// pieces of 64 KiB as the socket hands them over, the views repainting between pieces.
// Time is for the whole burst, until the last order (fill) is shown: a large grid is
// rebuilt at a measured pace, so the last rebuild may come after the last piece.
QByteArray burstOf(bool fills)
{
    QByteArray burst;
    for (int i = 1; i <= 20000; ++i) {
        if (fills)
            burst += korvi::frame("@EX=T;S" + QByteArray::number(i) + ";F3;" + QByteArray::number(i % kInstruments + 1) +
                                  ";F5;E" + QByteArray::number(i) + ";093005;BOT;3;101.25;303.75;1.5;7");
        else
            burst += korvi::frame("@OO=" + QByteArray::number(i) + ";S" + QByteArray::number(i) + ";INFO;" +
                                  (i % 2 ? "BUY" : "SEL") + ";3;LMT;101.25;0;" + QByteArray::number(i % 4 + 1) +
                                  ";0;3;0;093000;093001;X;" + QByteArray::number(i % kInstruments + 1) + ";0;0;;0;0");
    }
    return burst;
}

void runBurst(benchmark::State& st, bool fills)
{
    const QByteArray burst = burstOf(fills);
    for (auto _ : st) {
        st.PauseTiming();
        auto c = std::make_unique<Client>();
        st.ResumeTiming();
        for (qsizetype at = 0; at < burst.size(); at += 65536) {
            c->app.connection.receive(QByteArrayView(burst).sliced(at, qMin<qsizetype>(65536, burst.size() - at)));
            QApplication::processEvents();
        }
        auto shown = [&] {
            return fills ? c->app.executions.cells.rowCount() > 20000 : c->app.orderGrid.cells.rowCount() > 20000;
        };
        QElapsedTimer waited;
        waited.start();
        while (!shown() && waited.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        st.PauseTiming();
        st.counters["rebuilds"] = fills ? c->app.executions.redrawAllCount() : c->app.orderGrid.rebuildCount();
        if (!shown()) {
            st.SkipWithError("the burst is not shown");
            return;
        }
        c.reset();
        st.ResumeTiming();
    }
}

void BM_OpenOrderBurst20000(benchmark::State& st) { runBurst(st, false); }
BENCHMARK(BM_OpenOrderBurst20000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ExecutionBurst20000(benchmark::State& st) { runBurst(st, true); }
BENCHMARK(BM_ExecutionBurst20000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
