// The relauncher's window and the command it starts.
#include "relauncher.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quenby;

TEST(Quenby, UpdaterCommandKeepsTheFolderAsItsOwnArgument)
{
    struct Case {
        const char* folder;
        const char* program;
        const char* folderArgument;
    };
    const Case cases[] = {
        {"/opt/korvi", "/opt/korvi/KORVIUP.EXE", "/opt/korvi"},
        {"/opt/korvi/", "/opt/korvi/KORVIUP.EXE", "/opt/korvi"},
        {"/opt/my korvi", "/opt/my korvi/KORVIUP.EXE", "/opt/my korvi"},
        {"/", "/KORVIUP.EXE", "/"},
    };
    for (const Case& c : cases) {
        const UpdaterCommand command = updaterCommand(QString::fromUtf8(c.folder));
        EXPECT_EQ(command.program, QString::fromUtf8(c.program)) << c.folder;
        EXPECT_EQ(command.arguments, (QStringList{"/auto", QString::fromUtf8(c.folderArgument)})) << c.folder;
    }
}

TEST(Quenby, ButtonStartsTheUpdaterOnceAndClosingStartsNothing)
{
    struct Started {
        QString program;
        QStringList arguments;
        QString workDir;
    };
    for (const bool starts : {true, false}) {
        std::vector<Started> started;
        RelaunchWindow window("/opt/korvi", [&](const QString& p, const QStringList& a, const QString& w) {
            started.push_back({p, a, w});
            return starts;
        });
        window.show();
        EXPECT_EQ(window.windowTitle(), "Korvi Reload");
        EXPECT_EQ(window.button().text(), "Korvi Update installieren");
        window.button().click();
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].program, "/opt/korvi/KORVIUP.EXE");
        EXPECT_EQ(started[0].arguments, (QStringList{"/auto", "/opt/korvi"}));
        EXPECT_EQ(started[0].workDir, "/opt/korvi");
        // Whether the updater started or not, the relauncher ends.
        EXPECT_FALSE(window.isVisible());
    }

    int starts = 0;
    RelaunchWindow window("/opt/korvi", [&](const QString&, const QStringList&, const QString&) {
        ++starts;
        return true;
    });
    window.show();
    window.close();
    EXPECT_EQ(starts, 0);
}

// The relauncher notes in the client's marker that the updater was started, and only then:
// a window closed without installing, or an updater that would not start, leaves the
// marker as the client wrote it, and without a marker nothing is written.
TEST(Quenby, AnAttemptedInstallIsNotedInTheClientsMarker)
{
    struct Case {
        const char* what;
        QByteArray marker; // empty: none
        bool press;
        bool starts;
        QByteArray after; // empty: none
    };
    const Case cases[] = {
        {"installed", "1.1.368\r\nabc\r\nhanded\r\n", true, true, "1.1.368\r\nabc\r\nstarted\r\n"},
        {"updater did not start", "1.1.368\r\nabc\r\nhanded\r\n", true, false,
         "1.1.368\r\nabc\r\nhanded\r\n"},
        {"window closed", "1.1.368\r\nabc\r\nhanded\r\n", false, true, "1.1.368\r\nabc\r\nhanded\r\n"},
        {"older two-line marker", "1.1.368\r\nabc\r\n", true, true, "1.1.368\r\nabc\r\nstarted\r\n"},
        {"no marker", "", true, true, ""},
        {"broken marker", "\r\n", true, true, "\r\n"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("KORVIUP.OFF");
        if (!c.marker.isEmpty()) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.marker);
        }
        RelaunchWindow window(dir.path(),
                              [&](const QString&, const QStringList&, const QString&) { return c.starts; });
        window.show();
        if (c.press)
            window.button().click();
        else
            window.close();
        QFile f(path);
        const QByteArray after = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        EXPECT_EQ(after, c.after) << c.what;
    }
}
