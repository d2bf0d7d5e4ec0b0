#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>

#include "loglistview.h"
#include "mainwindow/elidedlabel.h"

namespace korvi {

class ClientApp;

// "Orderclient": the connection window. It shows the connection's fields, lists and
// counters and forwards the buttons; it is created hidden and lives until the end.
class ConnectionWindow : public QWidget {
    Q_OBJECT
public:
    explicit ConnectionWindow(ClientApp& app, QWidget* parent = nullptr);

private:
    void showFields();

    ClientApp& m_app;
    QLineEdit m_server;   // Text1
    QLineEdit m_port;     // T_Port
    QLineEdit m_user;     // Text4
    QLineEdit m_password; // Text2
    QCheckBox m_ip;       // Check2
    QCheckBox m_kursprotokoll; // Check1
    QListWidget m_incoming;    // List5
    QListWidget m_outgoing;    // List2
    QLabel m_detail;
    ElidedLabel m_kurs; // LKurs
    QLabel m_bytes; // L_ctb
};

} // namespace korvi
