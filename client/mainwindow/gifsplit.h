#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

namespace korvi {

// One frame of the logo animation as cut out of "korvi.dat": the bytes from the graphic
// control label (0xF9) up to the start of the next frame, with the values read from them.
struct LogoFrame {
    QByteArray part;
    int delayMs = 0; // as the file gives it, hundredths of a second times 10
    int left = 0;    // offset of the frame in pixels
    int top = 0;
    int width = 0;   // size of the frame's picture, 0 when the part is too short to say
    int height = 0;
};

// "korvi.dat" cut into its frames. `ok` is false for a file that could not be split
// completely; `frames` then holds the frames read before the fault.
struct LogoSplit {
    bool ok = false;
    QByteArray header;      // up to and including the 0x21 of the first frame separator
    int loopCount = 0;      // bytes 126 and 127, low byte first; 0 = endless
    std::vector<LogoFrame> frames;
};

// Frames are separated by 0x00 0x21 0xF9 (end of the previous block, extension
// introducer, graphic control label). The loop count is read at its fixed place, where it
// stands when a 32-colour global colour table is followed by the loop extension. Never
// reads outside `data`; a frame too short for its delay and offsets ends the split.
LogoSplit splitLogoFile(QByteArrayView data);

// The small GIF handed to the picture loader for one frame: the header part, the frame
// part and, unless the frame already ends with it, the trailer 0x3B.
QByteArray logoFrameFile(const QByteArray& header, const LogoFrame& frame);

} // namespace korvi
