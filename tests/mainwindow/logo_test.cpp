#include "mainwindow/logoanimation.h"
#include "mainwindow/logofiles.h"
#include "support/doubles.h"
#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// A logo over a temporary working folder whose loader keeps the files it was handed.
struct LogoFixture {
    QTemporaryDir dir;
    FakePrompts prompts;
    LogoAnimation logo{{dir.path()}, prompts};
    QList<QByteArray> loaded;
    QList<QRect> places;
    bool loaderAccepts = true;

    LogoFixture()
    {
        logo.setFrameLoader([this](int index, const QString& path, const QRect& frame) {
            QByteArray bytes;
            readWholeFile(path, bytes);
            if (index == 0) {
                loaded.clear();
                places.clear();
            }
            EXPECT_EQ(index, loaded.size());
            loaded << bytes;
            places << frame;
            return loaderAccepts;
        });
    }
    void write(const QByteArray& bytes, const QString& name = QStringLiteral("korvi.dat"))
    {
        ASSERT_TRUE(writeFileAtomically(QDir(dir.path()).filePath(name), bytes));
    }
    // The shown elements as a text such as "110".
    QString shown() const
    {
        QString s;
        for (int i = 0; i < logo.elementCount(); ++i)
            s += logo.isVisible(i) ? QLatin1Char('1') : QLatin1Char('0');
        return s;
    }
};

} // namespace

TEST(Logo, MissingOrBrokenFileKeepsTheStillLogo)
{
    LogoFixture f;
    EXPECT_FALSE(f.logo.LoadAniGif(QString()));
    EXPECT_TRUE(f.logo.stillLogo());
    EXPECT_TRUE(f.prompts.messages.isEmpty()) << "no message without a file";

    f.write(QByteArray(400, 'x'));
    EXPECT_FALSE(f.logo.LoadAniGif(QString()));
    EXPECT_TRUE(f.logo.stillLogo());
    EXPECT_FALSE(f.logo.running());
    EXPECT_EQ(f.prompts.messages, QStringList{"File not found."});
    EXPECT_EQ(f.prompts.titles, QStringList{"File Error"});

    // A file cut inside its third frame keeps the two frames built before the fault.
    const QByteArray gif = makeLogoFile({{10, 0, 0}, {10, 1, 1}, {10, 2, 2}}, 0);
    f.write(gif.left(gif.lastIndexOf(QByteArrayView("\x00\x21\xF9", 3)) + 6));
    f.prompts.messages.clear();
    EXPECT_TRUE(f.logo.LoadAniGif(QString()));
    EXPECT_EQ(f.logo.elementCount(), 2);
    EXPECT_EQ(f.prompts.messages, QStringList{"File not found."});
    EXPECT_FALSE(f.logo.running());

    // A frame the picture loader refuses is a broken file too.
    f.write(gif);
    f.loaderAccepts = false;
    f.prompts.messages.clear();
    EXPECT_FALSE(f.logo.LoadAniGif(QString()));
    EXPECT_TRUE(f.logo.stillLogo());
    EXPECT_EQ(f.prompts.messages.size(), 1);
}

TEST(Logo, FramesAreHandedOverAsSmallGifsAndTheTemporaryFileGoes)
{
    LogoFixture f;
    f.write(makeLogoFile({{10, 0, 0}, {0, 5, 6}, {2, 0, 0}}, 0), QStringLiteral("KORVI.DAT"));
    ASSERT_TRUE(f.logo.LoadAniGif(QString())); // the name is found in any case
    ASSERT_EQ(f.loaded.size(), 3);
    for (const QByteArray& file : f.loaded) {
        EXPECT_TRUE(file.startsWith("GIF89a"));
        EXPECT_TRUE(file.endsWith(QByteArrayView("\x00\x3B", 2)));
        EXPECT_EQ(file.count(QByteArrayView("\x21\xF9", 2)), 1) << "one frame per file";
    }
    EXPECT_EQ(f.places[1], QRect(5, 6, 1, 1));
    EXPECT_EQ(f.logo.offset(1), QPoint(5, 6));
    EXPECT_FALSE(QFile::exists(QDir(f.dir.path()).filePath("tmp.gif")));
    EXPECT_EQ(f.shown(), "100");
    // A delay of 0 would make the timer spin; such frames are shown for 100 ms, while
    // 2 hundredths stay as they are.
    EXPECT_EQ(f.logo.delay(0), 100);
    EXPECT_EQ(f.logo.delay(1), LogoAnimation::kMinimumDelayMs);
    EXPECT_EQ(f.logo.delay(2), 20);
    EXPECT_TRUE(f.logo.running());
    EXPECT_EQ(f.logo.interval(), 100);
}

TEST(Logo, FramesPileUpAndTheLoopCountIsTheNumberOfPasses)
{
    // One frame: never changes, and needs no timer.
    {
        LogoFixture f;
        f.write(makeLogoFile({{20, 0, 0}}, 0));
        ASSERT_TRUE(f.logo.LoadAniGif(QString()));
        EXPECT_FALSE(f.logo.running());
        for (int i = 0; i < 5; ++i)
            f.logo.AnimationTimer_Timer();
        EXPECT_EQ(f.shown(), "1");
    }
    // Three frames, three passes: the sequence is seen three times, then the last
    // picture (all frames piled up) stays.
    {
        LogoFixture f;
        f.write(makeLogoFile({{20, 0, 0}, {30, 0, 0}, {40, 0, 0}}, 3));
        ASSERT_TRUE(f.logo.LoadAniGif(QString()));
        EXPECT_EQ(f.logo.LogoLoopCount, 3);
        QStringList seen{f.shown()};
        QList<int> intervals{f.logo.interval()};
        for (int tick = 0; tick < 20 && f.logo.running(); ++tick) {
            f.logo.AnimationTimer_Timer();
            seen << f.shown();
            intervals << f.logo.interval();
        }
        EXPECT_FALSE(f.logo.running());
        EXPECT_EQ(seen.join(' '), "100 110 111 100 110 111 100 110 111 111");
        EXPECT_EQ(intervals.mid(0, 4), (QList<int>{200, 300, 400, 200}));
        EXPECT_EQ(f.logo.LogoLoopsDone, 3);
    }
    // Loop count 0: endless.
    {
        LogoFixture f;
        f.write(makeLogoFile({{20, 0, 0}, {30, 0, 0}}, 0));
        ASSERT_TRUE(f.logo.LoadAniGif(QString()));
        for (int tick = 0; tick < 1000; ++tick)
            f.logo.AnimationTimer_Timer();
        EXPECT_TRUE(f.logo.running());
        EXPECT_EQ(f.logo.LogoLoopsDone, 0);
    }
}
