#include "mainwindow/assetfolders.h"
#include "mainwindow/logoanimation.h"
#include "support/doubles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;

TEST(Packaging, InstalledClientStartsAndFindsItsAssets)
{
    QTemporaryDir prefix;
    QProcess install;
    install.start(QStringLiteral(KORVI_CMAKE),
                  {"--install", QStringLiteral(KORVI_BUILD_DIR), "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const QDir root(prefix.path());
    for (const char* file : {"bin/korvi", "bin/korvigame", "bin/quenby", "share/applications/korvi.desktop",
                             "share/icons/hicolor/64x64/apps/korvi.png", "share/korvi/korvi.dat",
                             "share/korvi/1.wav", "share/korvi/KorviEx.wav", "share/korvi/korvi-standard.col",
                             "share/korvi/korvi-lesbar.col"})
        EXPECT_TRUE(QFileInfo::exists(root.filePath(file))) << file;
    if (!qEnvironmentVariableIsEmpty("KORVI_SERVER")) {
        EXPECT_TRUE(QFileInfo::exists(root.filePath("bin/korvi-server")));
    }

    // The installed program's folder leads to the installed assets: a client in an empty
    // folder finds the logo animation there.
    QTemporaryDir empty;
    const QStringList folders = assetFolders(empty.path(), root.filePath("bin"));
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(QDir(folders[1]), QDir(root.filePath("share/korvi")));
    test::FakePrompts prompts;
    LogoAnimation logo(folders, prompts);
    int frames = 0;
    logo.setFrameLoader([&frames](int, const QString&, const QRect&) { return ++frames > 0; });
    EXPECT_TRUE(logo.LoadAniGif(QString()));
    EXPECT_EQ(frames, 12);
    EXPECT_TRUE(prompts.messages.isEmpty());

    // The installed client runs offscreen in that empty folder and ends in order on SIGTERM.
    QProcess client;
    client.setWorkingDirectory(empty.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    client.setProcessEnvironment(env);
    client.start(root.filePath("bin/korvi"), {});
    ASSERT_TRUE(client.waitForStarted(10000));
    EXPECT_FALSE(client.waitForFinished(3000)) << "the client ended by itself: "
                                               << client.readAllStandardError().toStdString();
    client.terminate();
    ASSERT_TRUE(client.waitForFinished(10000));
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    // Nothing but what the client writes itself lands in the working folder: the
    // temporary frame file is gone.
    EXPECT_FALSE(QFileInfo::exists(QDir(empty.path()).filePath("tmp.gif")));
}
