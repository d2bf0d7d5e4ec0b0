// The relauncher's window and the command it starts.
#include "relauncher.h"

#include <QCloseEvent>
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
