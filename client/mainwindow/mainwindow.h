#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <memory>

namespace korvi {

class ClientApp;
class ConnectionWindow;
class Prompts;

// "OrderForm": the main window. It runs the start-up order over the ClientApp, shows the
// protocol list and message line, and ends the program in order when it closes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ClientApp& app, Prompts& prompts, const QString& programPath);
    ~MainWindow() override;

    ConnectionWindow& connectionWindow() { return *m_connectionWindow; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initialise();
    void applyGeometry();
    void storeGeometry();

    ClientApp& m_app;
    Prompts& m_prompts;
    std::unique_ptr<ConnectionWindow> m_connectionWindow;
    QTabWidget m_tabs;           // SSTab1
    QListWidget m_protocol;      // L_Prot
    QLabel m_messageLine;        // Label1
    QComboBox m_messages;        // Combo2 "Meldungen..."
    QLabel m_uid;
    QPushButton m_userButton;    // Command16 "User/PW"
    bool m_initialised = false;
    bool m_endWithoutSaving = false;
};

} // namespace korvi
