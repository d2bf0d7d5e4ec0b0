#pragma once

#include <QByteArray>
#include <QList>

namespace korvi::test {

// A frame of a made-up logo animation.
struct TestFrame {
    int delayCs = 10;
    int left = 0;
    int top = 0;
};

// An animated GIF laid out like "korvi.dat": a 32-colour global colour table followed by
// the loop extension (loop count at bytes 126-127), then 1 x 1 frames with the given
// delays and offsets, then the trailer.
inline QByteArray makeLogoFile(const QList<TestFrame>& frames, int loops, int width = 16, int height = 16)
{
    auto word = [](int v) { return QByteArray{1, char(v & 0xFF)} + char(v >> 8 & 0xFF); };
    QByteArray gif = "GIF89a" + word(width) + word(height) + QByteArray("\xF4\x00\x00", 3);
    for (int i = 0; i < 32; ++i)
        gif += QByteArray{1, char(i * 8)} + char(255 - i * 8) + char(i * 4);
    gif += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16) + word(loops) + '\0';
    for (const TestFrame& f : frames) {
        gif += QByteArray("\x21\xF9\x04\x04", 4) + word(f.delayCs) + QByteArray("\x00\x00", 2);
        gif += '\x2C' + word(f.left) + word(f.top) + word(1) + word(1) + '\0';
        // Minimum code size 5; clear code, colour 0, end code; block terminator.
        gif += QByteArray("\x05\x03\x20\x10\x02\x00", 6);
    }
    return gif + '\x3B';
}

} // namespace korvi::test
