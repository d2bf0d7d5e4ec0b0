#include "mainwindow/gifsplit.h"
#include "mainwindow/logofiles.h"
#include "textfile.h"

#include <QBuffer>
#include <QImageReader>
#include <gtest/gtest.h>

using namespace korvi;
using korvi::test::makeLogoFile;

namespace {

QImage readGif(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    return reader.read();
}

} // namespace

TEST(LogoSplit, ShippedAnimationSplitsIntoLoadableFrames)
{
    QByteArray bytes;
    ASSERT_TRUE(readWholeFile(QStringLiteral(KORVI_ASSETS_DIR "/korvi.dat"), bytes));
    const LogoSplit split = splitLogoFile(bytes);
    ASSERT_TRUE(split.ok);
    EXPECT_EQ(split.loopCount, 0);
    EXPECT_EQ(split.header.size(), 129); // 13 + 96 colour table + 19 loop extension + 0x21
    EXPECT_TRUE(split.header.endsWith('\x21'));
    ASSERT_EQ(split.frames.size(), 12u);
    EXPECT_EQ(split.frames[0].delayMs, 800);
    EXPECT_EQ(QPoint(split.frames[0].left, split.frames[0].top), QPoint(0, 0));
    EXPECT_EQ(QSize(split.frames[0].width, split.frames[0].height), QSize(160, 48));
    EXPECT_EQ(split.frames[1].left, 122);
    EXPECT_EQ(split.frames[11].delayMs, 2500);
    for (const LogoFrame& f : split.frames) {
        EXPECT_EQ(quint8(f.part[0]), 0xF9);
        const QByteArray file = logoFrameFile(split.header, f);
        EXPECT_TRUE(file.endsWith(QByteArrayView("\x00\x3B", 2))) << "one trailer after the block terminator";
        const QImage image = readGif(file);
        ASSERT_FALSE(image.isNull()) << f.left;
        EXPECT_EQ(image.size(), QSize(160, 48)); // the reader gives the whole logo area
    }
    // The separators are shared by neighbouring parts, so header and parts laid end to
    // end give back the file: nothing is lost or doubled.
    QByteArray joined = split.header;
    for (const LogoFrame& f : split.frames)
        joined += f.part;
    EXPECT_EQ(joined, bytes);
}

TEST(LogoSplit, LoopCountDelaysAndOffsetsAtTheirPlaces)
{
    const QByteArray gif = makeLogoFile({{5, 0, 0}, {0, 3, 4}, {300, 0x102, 0x203}}, 0x0103);
    const LogoSplit split = splitLogoFile(gif);
    ASSERT_TRUE(split.ok);
    EXPECT_EQ(split.loopCount, 259);
    ASSERT_EQ(split.frames.size(), 3u);
    const int expected[3][3] = {{50, 0, 0}, {0, 3, 4}, {3000, 258, 515}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(split.frames[size_t(i)].delayMs, expected[i][0]);
        EXPECT_EQ(split.frames[size_t(i)].left, expected[i][1]);
        EXPECT_EQ(split.frames[size_t(i)].top, expected[i][2]);
    }
    EXPECT_TRUE(split.frames[0].part.endsWith(QByteArrayView("\x00\x21", 2)));
    EXPECT_TRUE(split.frames[2].part.endsWith('\x3B'));
    EXPECT_EQ(logoFrameFile(split.header, split.frames[0]).count('\x3B'), 1);
    EXPECT_FALSE(readGif(logoFrameFile(split.header, split.frames[1])).isNull());
}

TEST(LogoSplit, BrokenFilesAreRefusedWithoutReadingPastTheirEnd)
{
    const QByteArray good = makeLogoFile({{10, 0, 0}, {10, 1, 1}}, 2);
    struct Case {
        const char* what;
        QByteArray bytes;
        size_t frames;
    };
    const Case cases[] = {
        {"empty", QByteArray(), 0},
        {"no separator", QByteArray(300, 'x'), 0},
        {"separator but too short for the loop count", QByteArray("GIF89a\x00\x21\xF9", 9), 0},
        {"second frame cut after its label", good.left(good.indexOf(QByteArrayView("\x00\x21\xF9", 3), 140) + 4), 1},
        {"first frame cut short", good.left(135), 0},
    };
    for (const Case& c : cases) {
        const LogoSplit split = splitLogoFile(c.bytes);
        EXPECT_FALSE(split.ok) << c.what;
        EXPECT_EQ(split.frames.size(), c.frames) << c.what;
    }
    // Every shorter piece of a real file splits into at most its frames; under the
    // address sanitizer this also shows that no read leaves the buffer.
    QByteArray real;
    ASSERT_TRUE(readWholeFile(QStringLiteral(KORVI_ASSETS_DIR "/korvi.dat"), real));
    size_t last = 0;
    for (qsizetype n = 0; n <= real.size(); ++n) {
        const QByteArray piece(real.constData(), n); // a copy of exactly n bytes
        const LogoSplit split = splitLogoFile(piece);
        EXPECT_GE(split.frames.size(), last) << n;
        last = split.frames.size();
    }
    EXPECT_EQ(last, 12u);
}
