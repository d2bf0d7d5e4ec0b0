// Feeds arbitrary bytes to the command-file interface as the content of a command file:
// the item reader and the execution of every command.

#include "externalharness.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static auto* h = new ExternalHarness;
    h->run();
    h->client().external.files.execute(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    h->settle();
    return 0;
}
