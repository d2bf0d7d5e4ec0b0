// Feeds arbitrary bytes to the order socket's receive path as if an outside program had
// sent them: cutting, logging and every command with its orders into the grid.

#include "externalharness.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = new ExternalHarness;
    h->run();
    korvi::WexInterface& wex = h->client().external.wex;
    // Two arrivals, so that frames across arrivals are covered too.
    const auto* bytes = reinterpret_cast<const char*>(data);
    const size_t half = size / 2;
    wex.Wex_DataArrival(QByteArrayView(bytes, static_cast<qsizetype>(half)));
    wex.Wex_DataArrival(QByteArrayView(bytes + half, static_cast<qsizetype>(size - half)));
    h->settle();
    return 0;
}
