#include "gifsplit.h"

namespace korvi {

namespace {

constexpr char kSeparator[] = {0x00, 0x21, char(0xF9)};
// Byte positions (1-based) of the loop count in the file.
constexpr qsizetype kLoopLow = 126;
// Byte positions (1-based) in a frame part: delay, left and top offsets.
constexpr qsizetype kDelayLow = 4, kLeftLow = 9, kTopLow = 11, kWidthLow = 13, kHeightLow = 15;

int word(QByteArrayView bytes, qsizetype lowPosition)
{
    return quint8(bytes[lowPosition - 1]) | quint8(bytes[lowPosition]) << 8;
}

} // namespace

LogoSplit splitLogoFile(QByteArrayView data)
{
    LogoSplit split;
    const QByteArrayView separator(kSeparator, sizeof kSeparator);
    qsizetype at = data.indexOf(separator);
    if (at < 0 || data.size() < kLoopLow + 1)
        return split;
    split.header = data.first(at + 2).toByteArray();
    split.loopCount = word(data, kLoopLow);

    // Each frame part starts at the 0xF9 of its separator and ends with the 0x00 0x21 of
    // the next one; the last runs to the end of the file.
    qsizetype start = at + 2;
    while (start < data.size()) {
        const qsizetype next = data.indexOf(separator, start);
        const qsizetype end = next < 0 ? data.size() : next + 2;
        const QByteArrayView part = data.sliced(start, end - start);
        if (part.size() < kTopLow + 1)
            return split;
        LogoFrame frame;
        frame.part = part.toByteArray();
        frame.delayMs = word(part, kDelayLow) * 10;
        frame.left = word(part, kLeftLow);
        frame.top = word(part, kTopLow);
        if (part.size() >= kHeightLow + 1) {
            frame.width = word(part, kWidthLow);
            frame.height = word(part, kHeightLow);
        }
        split.frames.push_back(std::move(frame));
        if (next < 0)
            break;
        start = next + 2;
    }
    split.ok = !split.frames.empty();
    return split;
}

QByteArray logoFrameFile(const QByteArray& header, const LogoFrame& frame)
{
    QByteArray file = header + frame.part;
    // A frame that is not the last ends with the 0x21 of the next separator; the loader
    // needs the trailer in its place.
    if (file.endsWith(QByteArrayView("\x00\x21", 2)))
        file.chop(1);
    if (!file.endsWith('\x3B'))
        file += '\x3B';
    return file;
}

} // namespace korvi
