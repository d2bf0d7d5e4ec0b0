#pragma once

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QPushButton>
#include <QTabWidget>
#include <memory>

#include "account/qtprinter.h"
#include "mainwindow/elidedlabel.h"

namespace korvi {

class ClientApp;
class ConnectionWindow;
class ExecutionsPage;
class ExternalFrame;
class MessageWindow;
class LogoWidget;
class OptionsPage;
class OrderGridView;
class Prompts;

// "OrderForm": the main window. It runs the start-up order over the ClientApp, shows the
// protocol list and message line, and ends the program in order when it closes.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ClientApp& app, Prompts& prompts, const QString& programPath);
    ~MainWindow() override;

    ConnectionWindow& connectionWindow() { return *m_connectionWindow; }
    // The page "Sonstiges"; other subsystems add their frames with addSection.
    OptionsPage& optionsPage() { return *m_optionsPage; }
    // Adds a control to the row of "User/PW" and "ENDE" (the "CHAT" box goes here).
    void addTopControl(QWidget* control);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initialise();
    void applyGeometry();
    void widenForOrderGrid();
    void storeGeometry();
    QWidget* buildTradingRow();
    void showMoreLess();
    void connectMessages();

    ClientApp& m_app;
    Prompts& m_prompts;
    std::unique_ptr<ConnectionWindow> m_connectionWindow;
    MessageWindow* m_messageWindow = nullptr;
    QTabWidget m_tabs;           // SSTab1
    ElidedLabel m_messageLine;   // Label1
    QComboBox m_messages;        // Combo2 "Meldungen..."
    ElidedLabel m_uid;
    QHBoxLayout* m_topRow = nullptr;
    OptionsPage* m_optionsPage = nullptr;
    LogoWidget* m_logo = nullptr;
    QPushButton m_userButton;    // Command16 "User/PW"
    QPushButton m_buyMarket;     // Command8(0) "BUY MARKET"
    QPushButton m_sellMarket;    // Command8(1) "SELL MARKET"
    QPushButton m_moreLess;      // Command15 "Mehr" / "Weniger"
    QComboBox m_quantity;        // Text1, the default quantity
    OrderGridView* m_orderGrid = nullptr;
    ExecutionsPage* m_executionsPage = nullptr;
    ExternalFrame* m_externalFrame = nullptr; // both external interfaces on "Sonstiges"
    ElidedLabel m_label2;        // Label2, the ranking text
    QLabel m_staleLabel;         // "Kurse veraltet seit ..." while the connection is down
    QtPrinter m_printer;
    bool m_initialised = false;
    bool m_endWithoutSaving = false;
};

} // namespace korvi
