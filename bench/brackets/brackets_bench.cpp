// Creating a bracket with three exits on a placed order, in a grid of 200 instruments and
// 2,000 orders: the exits are opened, the grid is rebuilt and drawn (without a view).

#include "support/benchmain.h"
#include "app/clientapp.h"
#include "support/liveserver.h"

#include <benchmark/benchmark.h>

namespace {

struct Client : korvi::test::ClientFixture {
    explicit Client(int instruments, int orders)
    {
        QByteArray si = "@SI=";
        for (int i = 1; i <= instruments; ++i)
            si += "T" + QByteArray::number(i) + ";L" + QByteArray::number(i) + ";EUR;100;99.5;10;100.5;20;Name;25;1;2\n";
        app.dispatcher.dispatch(si);
        for (int n = 1; n <= instruments; ++n) {
            app.state.WpvPresets[size_t(n)].Wert1 = 5;
            app.state.WpvPresets[size_t(n)].Wert2 = 3;
            app.state.WpvPresets[size_t(n)].Wert3 = 1;
        }
        for (int o = 1; o <= orders; ++o) {
            korvi::OrderRecord r;
            r.WPIndex = static_cast<qint16>(o % instruments + 1);
            r.Status = korvi::Submitted;
            r.OrderUserID = o;
            r.OrderID = korvi::fixedText("O" + QByteArray::number(o), 8);
            r.BS = o % 2 ? "BUY " : "SEL ";
            r.Typ = "LMT";
            r.Stck = 2;
            app.state.book.orders.append(r);
        }
        app.placing.senddata = [](const QByteArray&) { return true; };
        app.orderGrid.rebuild();
    }
};

void BM_BracketOnPlacedOrder(benchmark::State& st)
{
    Client c(200, 2000);
    korvi::OrderBook& book = c.app.state.book;
    int o = 0;
    for (auto _ : st) {
        o = o % 2000 + 1;
        c.app.brackets.bracketForOrder(1, book.orders[o].OrderID);
        st.PauseTiming();
        book.orders[o].BrRolle = 0;
        for (int e = 1; e <= book.LeerOrders.count(); ++e)
            book.ResetLeerOrder(e);
        st.ResumeTiming();
    }
    st.counters["rows"] = book.OGRowMap.count();
}
BENCHMARK(BM_BracketOnPlacedOrder)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
