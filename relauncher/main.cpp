#include "relauncher.h"

#include <QApplication>
#include <QDir>

// The relauncher: started by the client when an update waits, it starts the updater in
// the working folder once the user presses its one button.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    quenby::RelaunchWindow window(QDir::currentPath());
    window.show();
    // Unattended installs (and the end-to-end test) press the button at once.
    if (app.arguments().contains(QStringLiteral("--install-now")))
        QMetaObject::invokeMethod(&window, &quenby::RelaunchWindow::Command1_Click, Qt::QueuedConnection);
    return app.exec();
}
