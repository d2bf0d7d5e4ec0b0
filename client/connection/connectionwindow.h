#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>

namespace korvi {

class ClientApp;
class LogList;

// Shows a protocol list in a list widget: new lines are appended, a click shows the whole
// line in `detail`, a double click empties the list.
void bindLogList(QListWidget& view, LogList& list, QLabel* detail);

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
    QLabel m_kurs;  // LKurs
    QLabel m_bytes; // L_ctb
};

} // namespace korvi
