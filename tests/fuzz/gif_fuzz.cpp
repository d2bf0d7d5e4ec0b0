// Feeds arbitrary bytes to the splitter of the logo animation "korvi.dat" and builds the
// frame file of every frame found.

#include "mainwindow/gifsplit.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly `size` bytes, so that any read past the end is caught.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const korvi::LogoSplit split = korvi::splitLogoFile(bytes);
    qsizetype total = split.header.size();
    for (const korvi::LogoFrame& frame : split.frames) {
        total += frame.part.size();
        const QByteArray file = korvi::logoFrameFile(split.header, frame);
        if (!file.endsWith('\x3B') || frame.delayMs < 0 || frame.delayMs > 655350)
            std::abort();
    }
    // Neighbouring parts share their separators, so nothing is made up.
    if (total > bytes.size())
        std::abort();
    return 0;
}
