// The version report and the hand-off of a waiting update at start.
#include "app/clientapp.h"
#include "escaping.h"
#include "framing.h"
#include "relauncher.h"
#include "support/liveserver.h"
#include "textfile.h"
#include "update/handoff.h"
#include "update/versionreport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

class FakeStarter : public ProgramStarter {
public:
    struct Call {
        QString program;
        QStringList arguments;
        QString workDir;
    };
    std::vector<Call> calls;
    bool ok = true;
    bool startDetached(const QString& program, const QStringList& arguments, const QString& workDir) override
    {
        calls.push_back({program, arguments, workDir});
        return ok;
    }
};

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return false;
    f.close();
    return !executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

QByteArray contentOf(const QString& path)
{
    QByteArray out;
    return readWholeFile(path, out) ? out : QByteArray("<missing>");
}

struct HandOffFixture {
    ScriptedPeer peer; // messages are sent (and logged as sent) only over a connection
    QTemporaryDir dir;
    QTemporaryDir programDir;
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    FakeStarter starter;
    ClientApp app{dir.path(), prompts, sound, clock, pages};
    HandOffFixture()
    {
        app.handOff.starter = &starter;
        app.handOff.programDir = programDir.path();
        app.connection.setPortField(QByteArray::number(peer.port()));
        app.connection.connectwinsock("127.0.0.1");
        waitFor([&] { return app.connection.isConnected(); });
    }
    QString at(const char* name) const { return dir.filePath(QLatin1String(name)); }
};

} // namespace

TEST(VersionReport, AnswersEveryQuestionWithTheProjectVersion)
{
    EXPECT_EQ(versionMessage(1, 1, 368), "@SV=V1.1.368");
    EXPECT_EQ(QStringLiteral("%1.%2.%3").arg(programMajor()).arg(programMinor()).arg(programRevision()),
              QStringLiteral(KORVI_PROJECT_VERSION));

    HandOffFixture f;
    const QByteArray expected[] = {frame(versionMessage(programMajor(), programMinor(), programRevision())),
                                   frame("@SVK=1")};
    for (int round = 1; round <= 2; ++round) {
        f.app.dispatcher.dispatch("@RV");
        ASSERT_EQ(f.app.outgoing.lines().size(), 2 * round);
        EXPECT_EQ(f.app.outgoing.lines()[2 * round - 2], "OUT:" + fromWire(expected[0]));
        EXPECT_EQ(f.app.outgoing.lines()[2 * round - 1], "OUT:" + fromWire(expected[1]));
    }
}

TEST(HandOff, PackageBecomesTheUpdaterAndTheRelauncherStarts)
{
    HandOffFixture f;
    ASSERT_TRUE(writeFile(f.at("KORVIUP.EXX"), "package"));
    ASSERT_TRUE(writeFile(f.at("KORVIUP.EXE"), "old updater"));
    ASSERT_TRUE(writeFile(f.at("quenby"), "#!/bin/sh\n", true));
    bool ended = false, failed = false;
    QObject::connect(&f.app, &ClientApp::updateHandOff, [&] { ended = true; });
    QObject::connect(&f.app, &ClientApp::updateHandOffFailed, [&] { failed = true; });

    EXPECT_FALSE(f.app.formLoad("korvi"));
    ASSERT_TRUE(waitFor([&] { return ended || failed; }, 2000));
    EXPECT_TRUE(ended);
    EXPECT_EQ(contentOf(f.at("KORVIUP.EXE")), "package");
    EXPECT_FALSE(exist(f.at("KORVIUP.EXX")));
    EXPECT_TRUE(QFileInfo(f.at("KORVIUP.EXE")).isExecutable());
    ASSERT_EQ(f.starter.calls.size(), 1u);
    EXPECT_EQ(f.starter.calls[0].program, QFileInfo(f.at("quenby")).absoluteFilePath());
    EXPECT_TRUE(f.starter.calls[0].arguments.isEmpty());
    EXPECT_EQ(f.starter.calls[0].workDir, f.dir.path());
    EXPECT_TRUE(f.prompts.messages.isEmpty());
    // Neither the settings nor a connection were touched.
    EXPECT_FALSE(exist(f.at("Korvi.Ini")));
    EXPECT_FALSE(f.app.connection.KeepConnected);
}

TEST(HandOff, RelauncherIsLookedForInTheWorkingFolderThenBesideTheProgram)
{
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, bool>> work, program; // name, executable
        const char* expectedFolder; // "work", "program" or nullptr
        const char* expectedName;
    };
    const Case cases[] = {
        {"lower-case name in the working folder", {{"quenby", true}}, {{"quenby", true}}, "work", "quenby"},
        {"old name in the working folder", {{"QUENBY.EXE", true}}, {{"quenby", true}}, "work", "QUENBY.EXE"},
        {"beside the program", {}, {{"quenby", true}}, "program", "quenby"},
        {"not executable", {{"quenby", false}}, {}, nullptr, nullptr},
        {"nowhere", {}, {}, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        HandOffFixture f;
        for (const auto& [name, exe] : c.work)
            ASSERT_TRUE(writeFile(f.at(name), "x", exe));
        for (const auto& [name, exe] : c.program)
            ASSERT_TRUE(writeFile(QDir(f.programDir.path()).filePath(QLatin1String(name)), "x", exe));
        const QString found = f.app.handOff.findRelauncher();
        if (!c.expectedFolder) {
            EXPECT_TRUE(found.isEmpty()) << c.what;
            continue;
        }
        const QDir folder(QString(c.expectedFolder) == "work" ? f.dir.path() : f.programDir.path());
        EXPECT_EQ(found, QFileInfo(folder.filePath(QLatin1String(c.expectedName))).absoluteFilePath()) << c.what;
    }
}

TEST(HandOff, FailureIsToldOnceAndTheClientStillStarts)
{
    for (const bool relauncherPresent : {false, true}) {
        HandOffFixture f;
        f.starter.ok = false;
        ASSERT_TRUE(writeFile(f.at("KORVIUP.EXX"), "package"));
        if (relauncherPresent) {
            ASSERT_TRUE(writeFile(f.at("quenby"), "x", true));
        }
        bool ended = false, failed = false;
        QObject::connect(&f.app, &ClientApp::updateHandOff, [&] { ended = true; });
        QObject::connect(&f.app, &ClientApp::updateHandOffFailed, [&] { failed = true; });
        EXPECT_FALSE(f.app.formLoad("korvi"));
        ASSERT_TRUE(waitFor([&] { return ended || failed; }, 2000));
        EXPECT_TRUE(failed);
        EXPECT_FALSE(ended);
        EXPECT_EQ(f.prompts.messages.size(), 1);
        EXPECT_TRUE(f.app.protocol.lines().join('\n').contains("F:Timer2_Timer"));
        // Nothing is left that would hand over again or stop the next start.
        EXPECT_FALSE(exist(f.at("KORVIUP.EXX")));
        EXPECT_FALSE(exist(f.at("KORVIUP.EXE")));
        EXPECT_TRUE(f.app.formLoad("korvi"));
    }
}

TEST(HandOff, NormalStartClearsLeftoversAndAFolderIsNoPackage)
{
    HandOffFixture f;
    ASSERT_TRUE(writeFile(f.at("KORVIUP.EXE"), "old"));
    ASSERT_TRUE(writeFile(f.at("dummy.bin"), "half"));
    ASSERT_TRUE(QDir(f.dir.path()).mkdir("KORVIUP.EXX"));
    EXPECT_TRUE(f.app.formLoad("korvi"));
    EXPECT_FALSE(exist(f.at("KORVIUP.EXE")));
    EXPECT_FALSE(exist(f.at("dummy.bin")));
    EXPECT_TRUE(f.starter.calls.empty());
}

// A package is held back only once its install was attempted: the relauncher notes when it
// starts the updater. Until then (the relauncher's window closed, the relauncher not
// started) the same package is handed over again at the next start. Once attempted, the
// same package at the same version is dropped (the user is told once), also when the
// server sends it again, and the message line never promises an install the next start
// would not do. A new package or another version hands over again.
TEST(HandOff, ThePackageIsHeldBackOnlyAfterAnAttemptedInstall)
{
    HandOffFixture f;
    ASSERT_TRUE(writeFile(f.at("quenby"), "x", true));
    QString line;
    QObject::connect(&f.app.messages, &Messages::messageLineChanged, [&](const QString& t) { line = t; });
    auto start = [&f](const QByteArray& package) {
        if (!package.isEmpty())
            writeFile(f.at("KORVIUP.EXX"), package);
        bool ended = false, failed = false;
        QObject::connect(&f.app, &ClientApp::updateHandOff, &f.app, [&] { ended = true; }, Qt::SingleShotConnection);
        QObject::connect(&f.app, &ClientApp::updateHandOffFailed, &f.app, [&] { failed = true; },
                         Qt::SingleShotConnection);
        if (f.app.formLoad("korvi"))
            return 0;
        waitFor([&] { return ended || failed; }, 2000);
        return ended ? 1 : failed ? -1 : -2;
    };
    auto receive = [&f](const QByteArray& package) {
        const QByteArray escaped = EscapeEncode(package);
        f.app.fileTransfer.WS_FIS("5;KORVIUP.EXX;" + QByteArray::number(escaped.size()));
        f.app.fileTransfer.WS_FID("5;" + escaped);
        f.app.fileTransfer.WS_FIE("5");
    };
    const QString promise = QStringLiteral("Update geladen \u2013 wird beim n\u00e4chsten Start installiert");

    EXPECT_EQ(start("package one"), 1);
    receive("package one"); // the window was closed: nothing attempted
    EXPECT_EQ(line, promise);
    EXPECT_EQ(start(""), 1) << "not attempted: handed over again";
    EXPECT_TRUE(quenby::recordAttempt(f.dir.path())); // this time the updater ran
    EXPECT_EQ(contentOf(f.at("KORVIUP.OFF")).split('\n').value(2), "started\r");

    receive("package one"); // the server offers it again
    EXPECT_FALSE(exist(f.at("KORVIUP.EXX")));
    EXPECT_NE(line, promise);
    EXPECT_TRUE(line.contains(QStringLiteral("nicht noch einmal installiert"))) << line.toStdString();
    EXPECT_EQ(start(""), 0); // so the next start is a normal one

    EXPECT_EQ(start("package one"), -1); // stored by an older client: dropped at start
    EXPECT_FALSE(exist(f.at("KORVIUP.EXX")));
    EXPECT_EQ(f.prompts.messages.size(), 1);
    EXPECT_EQ(start("package one"), -1);
    EXPECT_EQ(f.prompts.messages.size(), 1); // told once

    receive("package two"); // a new package is promised and handed over
    EXPECT_EQ(line, promise);
    EXPECT_EQ(start(""), 1);
    EXPECT_TRUE(quenby::recordAttempt(f.dir.path()));
    f.app.handOff.version = QStringLiteral("9.9.9");
    EXPECT_EQ(start("package two"), 1); // so is the same one after the version moved
    EXPECT_EQ(f.starter.calls.size(), 4u);
}

// A stored update says so in the message line; a name other than the package's is not
// stored at all.
TEST(HandOff, AStoredPackageIsAnnouncedInTheMessageLine)
{
    HandOffFixture f;
    QString line;
    QObject::connect(&f.app.messages, &Messages::messageLineChanged, [&](const QString& t) { line = t; });
    for (const char* name : {"notes.txt", "KORVIUP.EXX"}) {
        line.clear();
        f.app.fileTransfer.WS_FIS(QByteArray("7;") + name + ";2");
        f.app.fileTransfer.WS_FID("7;ok");
        f.app.fileTransfer.WS_FIE("7");
        const bool package = QByteArray(name) == "KORVIUP.EXX";
        EXPECT_EQ(exist(f.at(name)), package) << name;
        EXPECT_EQ(line.startsWith(QStringLiteral("Update geladen")), package) << name;
    }
}
