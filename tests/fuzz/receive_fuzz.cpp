// Feeds arbitrary bytes through the client's receive step: framing, logging rules and
// dispatch with every handler the client registers.

#include "fuzzclient.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = new FuzzClient;
    h->run();
    korvi::ClientApp& client = h->client();
    // Split the input in two arrivals so frames across arrivals are covered too.
    const auto* bytes = reinterpret_cast<const char*>(data);
    const size_t half = size / 2;
    client.connection.receive(QByteArrayView(bytes, static_cast<qsizetype>(half)));
    client.connection.receive(QByteArrayView(bytes + half, static_cast<qsizetype>(size - half)));
    return 0;
}
