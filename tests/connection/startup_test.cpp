#include "app/clientapp.h"
#include "connection/startup.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

TEST(Startup, EditionAndCaption)
{
    EXPECT_EQ(editionFromExecutable("/opt/korvi/KorviGame"), 1);
    EXPECT_EQ(editionFromExecutable("korvigame"), 1);
    EXPECT_EQ(editionFromExecutable("C:/x/KORVIGAME.EXE"), 1);
    EXPECT_EQ(editionFromExecutable("/usr/bin/korvi"), 0);
    EXPECT_EQ(editionFromExecutable("korviqx"), 0);
    EXPECT_EQ(mainCaption(2, 1, 7, 0), "K o r v i 2    V2.1.7 QXC");
    EXPECT_EQ(mainCaption(1, 1, 368, 1), "K o r v i 2    V1.1.368 Game");
}

TEST(Startup, AutostartCountdownRunsTwentyTicks)
{
    AutostartCountdown c;
    EXPECT_FALSE(c.tick());
    EXPECT_EQ(c.label(), "Autostart: 4750 msec");
    int ticks = 1;
    while (!c.tick())
        ++ticks;
    EXPECT_EQ(ticks + 1, 20);
    EXPECT_EQ(c.label(), "Autostart: 0 msec");
    EXPECT_TRUE(canAutostart("anna", "pw"));
    EXPECT_FALSE(canAutostart("-", "pw"));
    EXPECT_FALSE(canAutostart("anna", "-"));
    EXPECT_FALSE(canAutostart("", "pw"));
}

namespace {

struct StartFixture : ClientFixture {

    void writeIni(const QByteArray& user, const QByteArray& password, const QByteArray& server = "127.0.0.1")
    {
        Settings s;
        s.userName = user;
        s.password = password;
        s.serverAddress = server;
        s.wexPort = "0"; // the order socket listens from start-up; tests take a free port
        ASSERT_TRUE(saveSettingsFile(dir.path(), s));
    }
};

} // namespace

TEST(Startup, SavedCredentialsGoThroughTheAutostartDialog)
{
    StartFixture f;
    f.writeIni("anna", "pw");
    ASSERT_TRUE(f.app.formLoad("korvi"));
    ASSERT_TRUE(f.app.initialise());
    EXPECT_EQ(f.prompts.autostartShown, 1);
    EXPECT_EQ(f.prompts.credentialsShown, 0);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
    EXPECT_EQ(f.app.state.user().Login, "anna%pw");
    EXPECT_EQ(f.app.connection.userField(), "anna");
    EXPECT_TRUE(f.app.connection.KeepConnected);
    f.app.connection.logout();
}

TEST(Startup, MissingCredentialsAskWithTheHintFirst)
{
    StartFixture f;
    f.writeIni("-", "pw");
    ASSERT_TRUE(f.app.initialise());
    EXPECT_EQ(f.prompts.autostartShown, 0);
    ASSERT_EQ(f.prompts.messages.size(), 1);
    EXPECT_EQ(f.prompts.messages[0], QString::fromLatin1(kCredentialsHint));
    EXPECT_EQ(f.app.state.UserName, "neu");
    EXPECT_EQ(f.app.state.user().Login, "neu%geheim");
    f.app.connection.logout();

    // Saved at the end, read again at the next start.
    f.app.shutdown();
    Settings s;
    ASSERT_TRUE(loadSettingsFile(f.dir.path(), s));
    EXPECT_EQ(s.userName, "neu");
    EXPECT_EQ(s.password, "geheim");
}

TEST(Startup, CancelledCredentialsEndWithoutSaving)
{
    StartFixture f;
    f.prompts.autostartChoice = Prompts::AutostartChoice::Credentials;
    f.prompts.credentialsOk = false;
    f.writeIni("anna", "pw");
    const QByteArray before = [&] {
        QByteArray b;
        readWholeFile(f.dir.filePath("Korvi.Ini"), b);
        return b;
    }();
    EXPECT_FALSE(f.app.initialise());
    EXPECT_FALSE(f.app.connection.KeepConnected);
    QByteArray after;
    readWholeFile(f.dir.filePath("Korvi.Ini"), after);
    EXPECT_EQ(before, after);
}

TEST(Startup, WaitingUpdateStopsTheNormalStart)
{
    StartFixture f;
    ASSERT_TRUE(writeFileAtomically(f.dir.filePath("KORVIUP.EXE"), "old"));
    EXPECT_TRUE(f.app.formLoad("korvi"));
    EXPECT_FALSE(exist(f.dir.filePath("KORVIUP.EXE")));

    ASSERT_TRUE(writeFileAtomically(f.dir.filePath("KORVIUP.EXX"), "new"));
    // A relauncher that is found but never really started.
    struct NoStart : ProgramStarter {
        bool startDetached(const QString&, const QStringList&, const QString&) override { return true; }
    } starter;
    f.app.handOff.starter = &starter;
    f.app.handOff.programDir.clear();
    ASSERT_TRUE(writeFileAtomically(f.dir.filePath("quenby"), "x"));
    QFile::setPermissions(f.dir.filePath("quenby"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    bool handOff = false;
    QObject::connect(&f.app, &ClientApp::updateHandOff, [&] { handOff = true; });
    EXPECT_FALSE(f.app.formLoad("korvi"));
    EXPECT_TRUE(waitFor([&] { return handOff; }, 2000));
}

TEST(Startup, ServerArgumentIsTakenOutOfTheStartOptions)
{
    const struct {
        QStringList args;
        const char* option;
        const char* server;
    } cases[] = {
        {{}, "", ""},
        {{"IP2", "IPTEST"}, "IP2 IPTEST", ""},
        {{"--server", "game.example:4200", "IP3"}, "IP3", "game.example:4200"},
        {{"IP1", "--server=127.0.0.1"}, "IP1", "127.0.0.1"},
        {{"--server"}, "--server", ""},
    };
    for (const auto& c : cases) {
        const StartArguments a = parseStartArguments(c.args);
        EXPECT_EQ(a.startOption, QString::fromLatin1(c.option)) << c.args.join(' ').toStdString();
        EXPECT_EQ(a.server, QByteArray(c.server)) << c.args.join(' ').toStdString();
    }
}

// A server address "host:port" in the settings is dialled at the start (no other port is
// tried first), shown in both fields and written back; "--server" overrides it for one run
// and leaves the settings as they were.
TEST(Startup, ServerAddressWithPortSurvivesARestart)
{
    ScriptedPeer game, other;
    const QByteArray address = "127.0.0.1:" + QByteArray::number(game.port());
    {
        StartFixture f;
        f.writeIni("anna", "pw", address);
        ASSERT_TRUE(f.app.initialise());
        EXPECT_EQ(f.app.connection.serverField(), "127.0.0.1");
        EXPECT_EQ(f.app.connection.portField(), QByteArray::number(game.port()));
        EXPECT_TRUE(waitFor([&] { return game.connectionCount() == 1; }));
        f.app.connection.logout();
        f.app.shutdown();
        Settings s;
        ASSERT_TRUE(loadSettingsFile(f.dir.path(), s));
        EXPECT_EQ(s.serverAddress, address);
    }
    StartFixture f;
    f.writeIni("anna", "pw", address);
    f.app.state.serverForThisRun = "127.0.0.1:" + QByteArray::number(other.port());
    ASSERT_TRUE(f.app.initialise());
    EXPECT_TRUE(waitFor([&] { return other.connectionCount() == 1; }));
    EXPECT_EQ(game.connectionCount(), 1);
    f.app.connection.logout();
    f.app.shutdown();
    Settings s;
    ASSERT_TRUE(loadSettingsFile(f.dir.path(), s));
    EXPECT_EQ(s.serverAddress, address);
}
