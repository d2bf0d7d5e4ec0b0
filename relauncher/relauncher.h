#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace quenby {

// What pressing the button starts: the updater in the folder, with "/auto" and the folder
// as two arguments.
struct UpdaterCommand {
    QString program;
    QStringList arguments;
};

// The folder as the platform writes it, without a trailing separator except for a root.
QString folderText(const QString& folder);
UpdaterCommand updaterCommand(const QString& folder);

// Notes in the client's hand-off marker "KORVIUP.OFF" of the folder that the updater was
// started: from then on the client does not hand the same package over again at the same
// version. Without a marker from the client nothing is written. True when noted.
bool recordAttempt(const QString& folder);

// Starts a program without waiting; true when it runs.
using Starter = std::function<bool(const QString& program, const QStringList& arguments, const QString& workDir)>;
bool startDetached(const QString& program, const QStringList& arguments, const QString& workDir);

// The one window of the relauncher: "Korvi Update installieren" starts the updater and
// closes the window; closing the window any other way starts nothing.
class RelaunchWindow : public QWidget {
    Q_OBJECT
public:
    explicit RelaunchWindow(QString folder, Starter starter = startDetached, QWidget* parent = nullptr);

    QPushButton& button() { return m_command1; }
    // The sentence above the button that says what it does.
    QString explanation() const { return m_text.text(); }
    // Presses the button.
    void Command1_Click();

private:
    QString m_folder;
    Starter m_starter;
    QLabel m_text;
    QPushButton m_command1;
};

} // namespace quenby
