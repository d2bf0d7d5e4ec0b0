// The logo animation: splitting a 100-frame "korvi.dat", loading all its frames into
// pictures, and the processor time the running animation takes.

#include "mainwindow/gifsplit.h"
#include "mainwindow/logoanimation.h"
#include "mainwindow/logowidget.h"
#include "support/benchmain.h"
#include "support/doubles.h"
#include "textfile.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QTemporaryDir>
#include <ctime>

namespace {

// The shipped animation stretched to 100 frames, each a full picture of the logo.
QByteArray hundredFrames()
{
    QByteArray shipped;
    korvi::readWholeFile(QStringLiteral(KORVI_ASSETS_DIR "/korvi.dat"), shipped);
    const korvi::LogoSplit split = korvi::splitLogoFile(shipped);
    QByteArray full = split.frames.front().part; // ends with 0x00 0x21 of the next frame
    QByteArray file = split.header;
    for (int i = 0; i < 99; ++i)
        file += full;
    full.chop(1);
    return file + full + '\x3B';
}

void BM_SplitLogo100Frames(benchmark::State& state)
{
    const QByteArray file = hundredFrames();
    for (auto _ : state) {
        const korvi::LogoSplit split = korvi::splitLogoFile(file);
        benchmark::DoNotOptimize(split.frames.size());
        if (split.frames.size() != 100)
            state.SkipWithError("wrong frame count");
    }
    state.SetBytesProcessed(state.iterations() * file.size());
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_SplitLogo100Frames);

// Splitting, writing "tmp.gif" 100 times and decoding every frame into a picture.
void BM_LoadLogo100Frames(benchmark::State& state)
{
    QTemporaryDir dir;
    korvi::writeFileAtomically(QDir(dir.path()).filePath("korvi.dat"), hundredFrames());
    korvi::test::FakePrompts prompts;
    for (auto _ : state) {
        korvi::LogoAnimation logo({dir.path()}, prompts);
        korvi::LogoWidget widget(logo);
        logo.StartLogo();
        if (logo.elementCount() != 100)
            state.SkipWithError("frames missing");
    }
}
BENCHMARK(BM_LoadLogo100Frames)->Unit(benchmark::kMillisecond);

// The shipped animation shown for two seconds: processor time per second of running.
void BM_AnimationCpuShare(benchmark::State& state)
{
    korvi::test::FakePrompts prompts;
    for (auto _ : state) {
        korvi::LogoAnimation logo({QStringLiteral(KORVI_ASSETS_DIR)}, prompts);
        korvi::LogoWidget widget(logo);
        widget.show();
        logo.StartLogo();
        const std::clock_t start = std::clock();
        int repaints = 0;
        QObject::connect(&logo, &korvi::LogoAnimation::changed, [&repaints] { ++repaints; });
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = double(std::clock() - start) / CLOCKS_PER_SEC;
        state.counters["cpu_percent"] = 100.0 * cpu / 2.0;
        state.counters["frames_shown"] = repaints;
    }
}
BENCHMARK(BM_AnimationCpuShare)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return runBenchmarks<QApplication>(argc, argv); }
