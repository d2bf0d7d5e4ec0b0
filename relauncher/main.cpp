#include <QApplication>
#include <QLabel>

// The relauncher starts the updater that the client hands over; until the update hand-off
// exists it only shows that there is nothing to do.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Quenby: kein Update vorhanden."));
    label.setWindowTitle(QStringLiteral("Quenby"));
    label.show();
    return app.exec();
}
