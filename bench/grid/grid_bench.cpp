// The order grid under the offscreen platform: the 150 ms refresh of 500 instrument lines
// whose prices all changed, and a full rebuild and draw with 200 instruments and 2,000
// orders, both shown by a real grid view.

#include "support/benchmain.h"
#include "app/clientapp.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QByteArray instrumentList(int count)
{
    QByteArray si = "@SI=";
    for (int i = 1; i <= count; ++i)
        si += "T" + QByteArray::number(i) + ";L" + QByteArray::number(i) + ";EUR;100;99.5;10;100.5;20;Name;25;1;2\n";
    return si;
}

struct Client : korvi::test::ClientFixture {
    korvi::OrderGridView view{app.orderGrid.cells, app.orderEntry};

    explicit Client(int instruments, int orders)
    {
        app.dispatcher.dispatch(instrumentList(instruments));
        for (int o = 1; o <= orders; ++o) {
            korvi::OrderRecord r;
            r.WPIndex = static_cast<qint16>(o % instruments + 1);
            r.Status = static_cast<qint16>(o % 6 + 1);
            r.OrderUserID = o;
            r.BS = o % 2 ? "BUY " : "SEL ";
            r.Typ = "LMT";
            r.Limit1 = 100.25f;
            app.state.book.orders.append(r);
        }
        app.state.book.ZeigeAlleOrders = true;
        view.resize(1400, 900);
        view.show();
        app.orderGrid.rebuild();
        QApplication::processEvents();
    }
};

void BM_RefreshChangedLines(benchmark::State& st)
{
    Client c(500, 0);
    int tick = 0;
    for (auto _ : st) {
        // Every instrument got a new price within the tick; only the refresh is timed.
        st.PauseTiming();
        ++tick;
        for (int n = 1; n <= 500; ++n)
            c.app.dispatcher.dispatch("~" + QByteArray::number(n) + ";" + QByteArray::number(100 + tick % 7) +
                                      ";.5;10;.5;20");
        st.ResumeTiming();
        std::vector<int> changed;
        c.app.prices.refresh(changed);
        c.app.orderGrid.redrawInstruments(QList<int>(changed.begin(), changed.end()));
        QApplication::processEvents(); // the view repaints what is visible
    }
}
BENCHMARK(BM_RefreshChangedLines)->Unit(benchmark::kMillisecond);

void BM_BuildAndDrawAll(benchmark::State& st)
{
    Client c(200, 2000);
    for (auto _ : st) {
        c.app.orderGrid.rebuild();
        QApplication::processEvents();
    }
    st.counters["rows"] = c.app.state.book.OGRowMap.count();
}
BENCHMARK(BM_BuildAndDrawAll)->Unit(benchmark::kMillisecond);

// One paint of the whole visible grid (1400 x 900), as after a change of the rows.
void BM_PaintWholeView(benchmark::State& st)
{
    Client c(200, 2000);
    for (auto _ : st)
        c.view.viewport()->repaint();
}
BENCHMARK(BM_PaintWholeView)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
