#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>

namespace korvi {

class ClientApp;

// The controls of both external interfaces on the settings page: the box "Fennix extern"
// with the frame "Externe Kontrolle Fennix" (permitted address, port, user name, the
// protocol list "List1", the status label and the test buttons), and the box
// "ASCII-Remote" with its list of executed command lines.
class ExternalFrame : public QWidget {
    Q_OBJECT
public:
    explicit ExternalFrame(ClientApp& app, QWidget* parent = nullptr);

    // The fields and boxes from the settings that were read at start-up.
    void loadFromSettings();

private:
    void refresh();
    void Check5_Click(bool ticked);

    ClientApp& m_app;
    QCheckBox m_fennixExtern;   // Check5
    QGroupBox m_frame;          // "Externe Kontrolle Fennix"
    QLineEdit m_ip;             // T_WexIp
    QLineEdit m_port;           // T_WexPort
    QLineEdit m_user;           // T_WexUser
    QListWidget m_list1;        // List1
    QLabel m_status;            // Label8
    QLineEdit m_placeTest;
    QLineEdit m_cancelTest;
    QCheckBox m_asciiRemote;    // Check6
    QListWidget m_list2;        // List2
};

} // namespace korvi
