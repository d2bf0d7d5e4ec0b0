#include "relauncher.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QVBoxLayout>

namespace quenby {

QString folderText(const QString& folder)
{
    // cleanPath drops a trailing separator but keeps a root ("/", "C:/") whole.
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

UpdaterCommand updaterCommand(const QString& folder)
{
    return {QDir(folder).filePath(QStringLiteral("KORVIUP.EXE")), {QStringLiteral("/auto"), folderText(folder)}};
}

bool recordAttempt(const QString& folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("KORVIUP.OFF"));
    QFile marker(path);
    if (!marker.open(QIODevice::ReadOnly))
        return false;
    // Line 1 the client's version, line 2 the package's checksum, line 3 the step.
    QList<QByteArray> lines = marker.read(64 * 1024).split('\n');
    marker.close();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.size() < 2 || lines[0].isEmpty() || lines[1].isEmpty())
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(lines[0] + "\r\n" + lines[1] + "\r\nstarted\r\n");
    return out.commit();
}

bool startDetached(const QString& program, const QStringList& arguments, const QString& workDir)
{
    return QProcess::startDetached(program, arguments, workDir);
}

RelaunchWindow::RelaunchWindow(QString folder, Starter starter, QWidget* parent)
    : QWidget(parent), m_folder(std::move(folder)), m_starter(std::move(starter)),
      m_text(QStringLiteral("Korvi hat ein Update geladen. Der Knopf startet dessen Installation "
                            "(KORVIUP.EXE); Schlie\u00dfen des Fensters installiert nichts.")),
      m_command1(QStringLiteral("Korvi Update installieren"))
{
    setWindowTitle(QStringLiteral("Korvi Reload"));
    auto* layout = new QVBoxLayout(this);
    m_text.setWordWrap(true);
    layout->addWidget(&m_text);
    layout->addWidget(&m_command1);
    m_command1.setDefault(true);
    m_command1.setMinimumSize(240, 48);
    connect(&m_command1, &QPushButton::clicked, this, &RelaunchWindow::Command1_Click);
}

void RelaunchWindow::Command1_Click()
{
    // Whether the updater starts or not, the relauncher has done its one job.
    const UpdaterCommand command = updaterCommand(m_folder);
    if (m_starter(command.program, command.arguments, m_folder))
        recordAttempt(m_folder);
    close();
}

} // namespace quenby
