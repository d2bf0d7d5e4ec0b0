// A burst of documents from the server: N "@SD" of about 15 bytes each, as one stream cut
// into arrivals of 16 KB, fed through the receive path of the real client with the
// statement page shown. Measures the time until the client is free again, and how many
// files the burst leaves in the working folder.

#include "account/statementspage.h"
#include "framing.h"
#include "support/benchmain.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace korvi;

void BM_DocumentBurst(benchmark::State& st)
{
    const int documents = int(st.range(0));
    QByteArray stream;
    for (int i = 0; i < documents; ++i)
        stream += frame("@SD=FILE=d" + QByteArray::number(i) + "K.TXT;x");
    qsizetype files = 0;
    for (auto _ : st) {
        st.PauseTiming();
        auto client = std::make_unique<test::ClientFixture>(test::ClientFixture::Offline);
        auto page = std::make_unique<StatementsPage>(client->app.statements);
        page->show();
        QApplication::processEvents();
        st.ResumeTiming();
        for (qsizetype at = 0; at < stream.size(); at += 16384)
            client->app.connection.receive(
                QByteArrayView(stream).sliced(at, std::min<qsizetype>(16384, stream.size() - at)));
        QApplication::processEvents();
        st.PauseTiming();
        files = QDir(client->dir.path()).entryList(QDir::Files).size();
        page.reset();
        client.reset();
        st.ResumeTiming();
    }
    st.counters["files_left"] = double(files);
    st.counters["documents"] = double(documents);
}
BENCHMARK(BM_DocumentBurst)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QApplication>(argc, argv);
}
