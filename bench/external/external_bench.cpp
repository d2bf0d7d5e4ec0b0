// The external interfaces under load, over real loopback sockets: 1,000 "@PO" frames
// from an outside program until all 1,000 orders are on the game server connection (in
// order, none lost), and one tick of the command-file interface over a file of 1,000
// "@PO" lines.

#include "support/benchmain.h"
#include "external/externalfixture.h"

#include <QCoreApplication>
#include <QFile>
#include <benchmark/benchmark.h>

namespace {

constexpr int kOrders = 1000;

// The orders on the server connection must carry the numbers -first, -first-1, ... in order.
bool inOrder(const QByteArrayList& orders, qint32 first)
{
    if (orders.size() != kOrders)
        return false;
    for (int i = 0; i < kOrders; ++i) {
        if (!orders[i].startsWith("@PO=ABC123;" + QByteArray::number(-(first + i)) + ";"))
            return false;
    }
    return true;
}

struct Bench : korvi::test::ExternalFixture {
    void reset()
    {
        server.received.clear();
        app.outgoing.clear();
        app.protocol.clear();
        ext.list1.clear();
        ext.list2.clear();
    }
};

void BM_SocketOrdersToServer(benchmark::State& st)
{
    Bench b;
    korvi::test::Outside outside;
    if (!outside.connectTo(b.wexPort()) || outside.take(9) != "\x01WHOISIT\x02") {
        st.SkipWithError("no connection to the order socket");
        return;
    }
    QByteArray burst;
    for (int i = 1; i <= kOrders; ++i)
        burst += "\x01@PO;W1;0;BUY;LMT;1;3700;0;B" + QByteArray::number(i) + "\x02";
    for (auto _ : st) {
        const qint32 first = b.s.user().LastUserOrderID + 1;
        outside.send(burst);
        if (!korvi::test::waitFor([&] { return b.orders().size() >= kOrders; }, 10000)) {
            st.SkipWithError("orders missing");
            return;
        }
        st.PauseTiming();
        if (!inOrder(b.orders(), first))
            st.SkipWithError("orders lost or out of order");
        outside.drain(0);
        b.reset();
        st.ResumeTiming();
    }
    st.SetItemsProcessed(st.iterations() * kOrders);
}
BENCHMARK(BM_SocketOrdersToServer)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CommandFileTick(benchmark::State& st)
{
    Bench b;
    b.ext.files.Check6_Click(true);
    QByteArray content = "'1000 Orders\r\n";
    for (int i = 1; i <= kOrders; ++i)
        content += "@PO;W1;0;BUY;LMT;1;3700;0;F" + QByteArray::number(i) + "\r\n";
    for (auto _ : st) {
        st.PauseTiming();
        const qint32 first = b.s.user().LastUserOrderID + 1;
        {
            QFile file(b.dir.filePath(QLatin1String(korvi::FileInterface::kCommandFile)));
            file.open(QIODevice::WriteOnly);
            file.write(content);
        }
        st.ResumeTiming();
        b.ext.files.tick();
        st.PauseTiming();
        if (!korvi::test::waitFor([&] { return b.orders().size() >= kOrders; }, 10000) ||
            !inOrder(b.orders(), first))
            st.SkipWithError("orders lost or out of order");
        b.reset();
        QFile::remove(b.dir.filePath(QLatin1String(korvi::FileInterface::kConfirmationFile)));
        st.ResumeTiming();
    }
    st.SetItemsProcessed(st.iterations() * kOrders);
}
BENCHMARK(BM_CommandFileTick)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QCoreApplication>(argc, argv); }
