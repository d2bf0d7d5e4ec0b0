// The order round trip as the user sees it: from the click on "TRANSMIT" until the order
// grid shows the server's confirmation (the order's own row, drawn from "@OO"), against
// korvi-server on the loopback address. Limit orders far below the market stay open until
// they are cancelled after each measurement. The server comes from KORVI_SERVER or from
// beside this program; its folder is in memory unless KORVI_BENCH_DISK=1.

#include "support/benchmain.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace korvi;

void BM_TransmitToConfirmedRow(benchmark::State& st)
{
    // korvi-server confirms an order only once it is stored, and a store on disk adds the
    // disk's flush to every round trip. The server's folder goes to memory where there is
    // one, so that the client's share is what is measured; KORVI_BENCH_DISK=1 keeps it on disk.
    if (qEnvironmentVariableIsEmpty("KORVI_BENCH_DISK") && QDir(QStringLiteral("/dev/shm")).exists())
        qputenv("TMPDIR", "/dev/shm");
    if (qEnvironmentVariableIsEmpty("KORVI_SERVER"))
        qputenv("KORVI_SERVER", (QCoreApplication::applicationDirPath() + "/korvi-server").toLocal8Bit());
    test::LiveSession live;
    // The benchmark places orders one after the other as fast as they are confirmed, far
    // beyond a person's pace: the server's order limits are lifted.
    if (!live.start({"--quiet", "--order-burst", "1000000", "--order-rate", "1000000", "--max-orders-per-day", "10000000"})) {
        st.SkipWithError("korvi-server did not start or the login failed");
        return;
    }
    ClientApp& app = live.client.app;
    app.state.settings.safetyQuestion = 0;
    OrderGridView view(app.orderGrid.cells, app.orderEntry);
    view.resize(1400, 900);
    view.show();
    QApplication::processEvents();

    const int orders = static_cast<int>(st.range(0));
    std::vector<double> micros, clickMicros;
    micros.reserve(size_t(orders));
    clickMicros.reserve(size_t(orders));
    const int rebuildsBefore = app.orderGrid.rebuildCount();
    const int transColumn = app.orderGrid.gridColumn(OrderLineType, O_TRANS);
    for (auto _ : st) {
        for (int i = 0; i < orders; ++i) {
            const int wp = i % app.state.InstrumentCount + 1;
            const int line = app.orderEntry.instrumentRow(wp);
            const int entryRow = app.orderEntry.openEntryLine(line, "BUY");
            OrderRecord& r = app.state.book.LeerOrders[app.state.book.OGRowMap[entryRow].Item];
            r.Typ = "LMT";
            r.Limit1 = std::max(0.01f, app.state.Instruments[wp].Bid * 0.5f);
            const qint32 id = app.state.user().LastUserOrderID + 1;

            QElapsedTimer clock;
            clock.start();
            app.orderEntry.mouseDown(false, entryRow, transColumn);
            // The client's own share: the click handled and the order written to the socket.
            clickMicros.push_back(double(clock.nsecsElapsed()) / 1000.0);
            // Shown: the order's own row carries its number.
            const QString idText = QString::number(id);
            const int idColumn = app.orderGrid.gridColumn(OrderLineType, O_OrderUserID);
            auto shown = [&] {
                const int order = app.state.book.SuchOrderUserID(id);
                const int row = order != 0 ? app.state.book.SuchRow(order, OpenOrder) : 0;
                return row != 0 && app.orderGrid.cells.at(row, idColumn).text == idText;
            };
            while (!shown() && clock.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            if (!shown()) {
                for (const QString& l : app.outgoing.lines().mid(app.outgoing.lines().size() - 8))
                    fprintf(stderr, "out %s\n", qPrintable(l));
                for (const QString& l : app.incoming.lines().mid(app.incoming.lines().size() - 8))
                    fprintf(stderr, "in %s\n", qPrintable(l));
                st.SkipWithError("no confirmation within 10 s");
                return;
            }
            micros.push_back(double(clock.nsecsElapsed()) / 1000.0);
            // The order is cancelled before the next one, outside the measurement, so the
            // margin of open orders never runs out.
            const int order = app.state.book.SuchOrderUserID(id);
            app.placing.Cancelorder(order);
            QElapsedTimer wait;
            wait.start();
            while (app.state.book.orders[order].Status != Cancelled && wait.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    std::sort(micros.begin(), micros.end());
    std::sort(clickMicros.begin(), clickMicros.end());
    auto at = [](const std::vector<double>& v, double q) {
        return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
    };
    st.counters["p50_us"] = at(micros, 0.50);
    st.counters["p90_us"] = at(micros, 0.90);
    st.counters["p99_us"] = at(micros, 0.99);
    st.counters["max_us"] = micros.back();
    st.counters["click_p50_us"] = at(clickMicros, 0.50);
    st.counters["click_p99_us"] = at(clickMicros, 0.99);
    st.counters["orders"] = double(micros.size());
    st.counters["rebuilds"] = app.orderGrid.rebuildCount() - rebuildsBefore;
}
BENCHMARK(BM_TransmitToConfirmedRow)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
