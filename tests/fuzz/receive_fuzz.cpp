// Feeds arbitrary bytes through the client's receive step: framing, logging rules and
// dispatch with every handler the client registers.

#include "app/clientapp.h"
#include "support/doubles.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>

namespace {

struct Harness {
    int argc = 1;
    char name[8] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir dir;
    korvi::test::FakePrompts prompts;
    korvi::test::FakeSound sound;
    korvi::test::FakeClock clock;
    korvi::test::FakePages pages;
    korvi::ClientApp client{dir.path(), prompts, sound, clock, pages};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = new Harness;
    // Split the input in two arrivals so frames across arrivals are covered too.
    const auto* bytes = reinterpret_cast<const char*>(data);
    const size_t half = size / 2;
    h->client.connection.receive(QByteArrayView(bytes, static_cast<qsizetype>(half)));
    h->client.connection.receive(QByteArrayView(bytes + half, static_cast<qsizetype>(size - half)));
    // Keep the logs from growing across runs.
    if (h->client.incoming.lines().size() > 10000)
        h->client.incoming.clear();
    return 0;
}
