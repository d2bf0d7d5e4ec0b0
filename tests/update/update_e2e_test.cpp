// The whole update chain with real programs: korvi-server publishes a package, the client
// stores it, the next start hands it to the relauncher quenby, and quenby starts the
// updater with "/auto" and the folder.
#include "app/clientapp.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// An updater that writes its arguments to a file, followed by every byte value and the
// escape sequences; the shell stops reading at "exit".
QByteArray updaterPackage()
{
    QByteArray p = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$2/updater.out\"\nexit 0\n";
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 256; ++i)
            p.append(static_cast<char>(i));
        p.append("\xFE" "g\xFE" "d\xFE\xFE" "e");
    }
    // Big enough to need many pieces.
    p.append(QByteArray(100'000, '\xFE'));
    p.append(QByteArray(50'000, '\x01'));
    return p;
}

QByteArray contentOf(const QString& path)
{
    QByteArray out;
    return readWholeFile(path, out) ? out : QByteArray("<missing>");
}

} // namespace

TEST(UpdateChain, PackageFromTheServerReachesTheUpdater)
{
    KORVI_NEEDS_SERVER();
    QTemporaryDir packageDir;
    const QByteArray package = updaterPackage();
    const QString packagePath = packageDir.filePath("package.bin");
    ASSERT_TRUE(writeFileAtomically(packagePath, package));

    LiveServer server;
    ASSERT_TRUE(server.start({"--rate", "50", "--update-package", packagePath, "--update-below", "99.0.0"}));
    auto client = std::make_unique<ClientFixture>();
    const QString work = client->dir.path();
    client->dir.setAutoRemove(false);
    const QString stored = QDir(work).filePath("KORVIUP.EXX");
    ASSERT_TRUE(client->loginTo(server.port));
    ASSERT_TRUE(waitFor([&] { return QFileInfo(stored).size() == package.size(); }, 20000))
        << client->app.protocol.lines().join('\n').toStdString();
    EXPECT_EQ(contentOf(stored), package);
    EXPECT_FALSE(exist(QDir(work).filePath("dummy.bin")));
    // The client ran on all the while.
    EXPECT_TRUE(client->app.connection.isConnected());
    client.reset();

    // The next start: the relauncher in the working folder is quenby pressed at once.
    {
        QFile wrapper(QDir(work).filePath("quenby"));
        ASSERT_TRUE(wrapper.open(QIODevice::WriteOnly));
        wrapper.write("#!/bin/sh\nexec '" KORVI_QUENBY "' --install-now\n");
        wrapper.close();
        ASSERT_TRUE(wrapper.setPermissions(wrapper.permissions() | QFileDevice::ExeOwner));
    }
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp restarted(work, prompts, sound, clock, pages);
    bool ended = false;
    QObject::connect(&restarted, &ClientApp::updateHandOff, [&] { ended = true; });
    EXPECT_FALSE(restarted.formLoad("korvi"));
    ASSERT_TRUE(waitFor([&] { return ended; }, 5000)) << restarted.protocol.lines().join('\n').toStdString();
    EXPECT_EQ(contentOf(QDir(work).filePath("KORVIUP.EXE")), package);
    EXPECT_FALSE(exist(stored));

    const QString out = QDir(work).filePath("updater.out");
    ASSERT_TRUE(waitFor([&] { return contentOf(out).endsWith('\n'); }, 15000));
    EXPECT_EQ(contentOf(out), "/auto\n" + QDir::toNativeSeparators(work).toLocal8Bit() + "\n");
    // The relauncher noted the attempt, so the same package is not handed over again.
    EXPECT_TRUE(waitFor(
        [&] { return contentOf(QDir(work).filePath("KORVIUP.OFF")).endsWith("\r\nstarted\r\n"); }, 5000));
    QDir(work).removeRecursively();
}
