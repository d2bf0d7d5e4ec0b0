#include "app/clientapp.h"
#include "mainwindow/assetfolders.h"
#include "support/doubles.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

void touch(const QString& folder, const QString& name, const QByteArray& content = "x")
{
    ASSERT_TRUE(writeFileAtomically(QDir(folder).filePath(name), content));
}

QByteArrayList settingsLines(const Settings& s) { return serializeSettings(s).split('\n'); }

} // namespace

TEST(Options, FlagsFollowTheSettingsAndAreSavedInLines16_17_21)
{
    ClientFixture f;
    Options& o = f.app.options;
    EXPECT_TRUE(o.flags().safetyQuestion && o.flags().chatSound && o.flags().executionSound);
    // Changed elsewhere (for example by a settings file): the page shows the current state.
    f.app.state.settings.executionSound = 0;
    EXPECT_FALSE(o.flags().executionSound);
    o.Check1_Click(false);
    o.Check4_Click(false);
    o.Check7_Click(true);
    const QByteArrayList lines = settingsLines(f.app.state.settings);
    EXPECT_EQ(lines[15], " 0 \r");
    EXPECT_EQ(lines[16], " 0 \r");
    EXPECT_EQ(lines[20], " 1 \r");
    EXPECT_FALSE(o.flags().safetyQuestion);
}

TEST(Options, SoundListPlaysTheChoiceWithoutChangingTheChatSound)
{
    ClientFixture f;
    QTemporaryDir installed;
    touch(f.dir.path(), "b.WAV");
    touch(f.dir.path(), "a.wav");
    touch(f.dir.path(), "notes.txt");
    touch(installed.path(), "A.wav");   // hidden by the working folder's "a.wav"
    touch(installed.path(), "KorviEx.wav");
    Options& o = f.app.options;
    o.setFolders({f.dir.path(), installed.path()});
    EXPECT_EQ(o.soundFiles(), (QStringList{"a.wav", "b.WAV", "KorviEx.wav"}));

    EXPECT_EQ(o.Combo5_Click("b.WAV"), "b.WAV");
    EXPECT_EQ(o.Combo5_Click("KorviEx.wav"), "KorviEx.wav");
    EXPECT_EQ(f.sound.played, (QStringList{QDir(f.dir.path()).filePath("b.WAV"),
                                           QDir(installed.path()).filePath("KorviEx.wav")}));
    EXPECT_EQ(o.chatSoundFile(), "1.wav");
    // A name that leaves the folders plays nothing.
    o.Combo5_Click("../a.wav");
    EXPECT_EQ(f.sound.played.size(), 2);
}

TEST(Placement, WindowsStayOnAVisibleScreen)
{
    const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    struct Case {
        QRect saved, expected;
    };
    const Case cases[] = {
        {QRect(100, 100, 800, 600), QRect(100, 100, 800, 600)},     // on the first screen
        {QRect(2000, 50, 800, 600), QRect(2000, 50, 800, 600)},     // on the second
        {QRect(5000, 3000, 800, 600), QRect(1120, 480, 800, 600)}, // gone: first screen
        {QRect(1800, 100, 800, 600), QRect(1920, 100, 800, 600)},   // mostly on the second
        {QRect(-50, -20, 4000, 3000), QRect(0, 0, 1920, 1080)},     // too big: shrunk
    };
    for (const Case& c : cases)
        EXPECT_EQ(placeOnScreens(c.saved, screens), c.expected) << c.saved.x() << "," << c.saved.y();
    EXPECT_EQ(placeOnScreens(QRect(1, 2, 3, 4), {}), QRect(1, 2, 3, 4));
}
