#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>
#include <QWidget>

namespace korvi {

class ClientApp;
class ColourPanel;
class Prompts;

// The tab page "Sonstiges": the option check boxes, the sound list, the new-user and
// client-window buttons, the protocol list `L_Prot`, the colour controls, the hidden
// system-information picture and the program-name label.
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    OptionsPage(ClientApp& app, Prompts& prompts, const QString& programPath, QWidget* parent = nullptr);

    // What "SSTab1_Click" does when the page opens: the check boxes from the current
    // flags, the chat sound file, the sound list read again.
    void refresh();

    // Adds a frame or control of another subsystem (the outside program's frame, the file
    // interface's box and list) below the check boxes.
    void addSection(QWidget* section);

    QListWidget& protocolList() { return m_protocol; }

signals:
    // "Clientfenster zeigen".
    void showClientWindow();

private:
    ClientApp& m_app;
    QCheckBox m_safety;       // Check1
    QCheckBox m_chatSound;    // Check4
    QCheckBox m_execSound;    // Check7
    QComboBox m_sounds;       // Combo5
    QLineEdit m_soundName;    // Text99
    QListWidget m_protocol;   // L_Prot
    QVBoxLayout* m_sections = nullptr;
    QLabel* m_programLabel = nullptr; // Label3
    ColourPanel* m_colours = nullptr;
};

} // namespace korvi
