#include "connection/addresspage.h"
#include "connection/startup.h"
#include "app/clientapp.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/translations.h"
#include "mainwindow/widgetseams.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvi"));
    QApplication::setApplicationVersion(QStringLiteral(KORVI_VERSION));
    QString translationError;
    if (korvi::installQtGermanTexts(app, translationError) == nullptr)
        qWarning("%s", qPrintable(translationError));

    korvi::WidgetPrompts prompts;
    korvi::WidgetSound sound;
    korvi::SystemClock clock;
    korvi::HttpPageReader pages;
    korvi::ClientApp client(QDir::currentPath(), prompts, sound, clock, pages);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    const korvi::StartArguments start = korvi::parseStartArguments(arguments);
    client.state.startOption = start.startOption;
    client.state.serverForThisRun = start.server;
    client.setProgramDir(QCoreApplication::applicationDirPath());
    sound.setFallbackFolders(client.assetFolders());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvi/icon.png")));

    korvi::MainWindow window(client, prompts, QString::fromLocal8Bit(argv[0]));
    prompts.setParent(&window);
    window.show();

    // SIGTERM and SIGINT end the program like closing the main window.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char byte;
            [[maybe_unused]] const auto got = ::read(signalPipe[1], &byte, 1);
            window.close();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    return app.exec();
}
