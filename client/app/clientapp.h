#pragma once

#include "account/account.h"
#include "account/rankings.h"
#include "account/statements.h"
#include "account/statustexts.h"
#include "chart/chartcontrol.h"
#include "orders/orderentry.h"
#include "account/closing.h"
#include "orders/brackets.h"
#include "orders/ordergrid.h"
#include "orders/orderstatus.h"
#include "account/executions.h"
#include "orders/placing.h"
#include "chat/chatroom.h"
#include "chat/messages.h"
#include "connection/connection.h"
#include "connection/controllines.h"
#include "connection/dispatcher.h"
#include "connection/login.h"
#include "external/externalinterfaces.h"
#include "loglist.h"
#include "market/instrumenttable.h"
#include "market/pricerecorder.h"
#include "market/priceupdates.h"
#include "mainwindow/colourediting.h"
#include "mainwindow/logoanimation.h"
#include "mainwindow/options.h"
#include "state.h"
#include "update/filetransfer.h"
#include "update/handoff.h"

#include <QObject>
#include <QTimer>
#include <QList>
#include <functional>
#include <vector>

namespace korvi {

class Prompts;
class Sound;
class Clock;

// The client without its windows: the state object, the protocol lists, the connection
// with its dispatcher, the start-up and shut-down order, and the periodic refresh timer.
// The main window owns one and shows it.
class ClientApp : public QObject {
    Q_OBJECT
public:
    ClientApp(const QString& workDir, Prompts& prompts, Sound& sound, Clock& clock,
              PageReader& pages, QObject* parent = nullptr);

    // The load step of the main window. Returns false when an update is waiting: then only
    // the update hand-off runs.
    bool formLoad(const QString& programPath);
    // The one-shot initialisation. Returns false when the user cancelled the credentials
    // dialog; the program then ends without writing anything.
    bool initialise();
    // The end of the program: settings and price files are written.
    void shutdown();

    // Starts the 150 ms refresh of the main window (done by the initialisation).
    void startRefresh() { m_timer1.start(); }

    // A new user name and password through the dialog, then log out and in again.
    void newCredentials();

    QString caption() const { return m_caption; }
    // Part of the refresh tick: notices a lost or regained game connection (see
    // connectionStateChanged).
    void checkConnectionState();

    State state;
    LogList protocol;  // "L_Prot" of the main window
    LogList incoming;  // "List5" of the connection window
    LogList outgoing;  // "List2" of the connection window
    Dispatcher dispatcher;
    Connection connection;
    ControlLines control;

    InstrumentTable instruments; // "@SI", "!;T;"
    PriceUpdates prices;         // "@KU", "~", "^1".."^5", the price history
    PriceRecorder recorder;      // "kurs.dat"
    Login login;                 // "@WELCOME", "@UD", "@TS", request buttons
    Messages messages;           // "@MSG", "@SA", "@SD", the message line
    OrderGrid orderGrid;         // the order grid's row map, cells and drawing
    OrderEntry orderEntry;       // clicks on the grid, the in-cell editor, the default instrument
    OrderPlacing placing;        // "@PO=", "@CO=", the market and group buttons
    OrderStatusTracker orderStatus; // "@OO", "@OS", "@SAO", "@SOO", "@OR", "@CR", "@LI"
    Executions executions;          // "@EX", "@SAE", the execution grid
    PositionClosing closing;     // closing and turning positions, "GLATT"
    Brackets brackets;           // bracket orders from the grid's menus, the preset dialog
    StatusTexts status;          // the status labels "LT1" and the result label "Label2"
    Account account;             // "@SUK", "@SUD", "@SUP": account figures and positions
    Rankings rankings;           // "@PI", "@SYI", "@GV"
    Statements statements;       // the "Auszüge" page: requesting, listing, showing, printing
    ChatRoom chat;               // "@SV" level, the chat and its window's logic
    ChartControl chart;          // the chart instrument "ChartWP", its ranges and redraws
    FileTransfer fileTransfer;   // "@FIS", "@FID", "@FIE": update packages from the server
    UpdateHandOff handOff;       // a waiting package goes to the relauncher at start
    ExternalInterfaces external; // the order socket "Wex" and the command files
    Options options;             // the flags and the sound list of the "Sonstiges" page
    ColourEditor colourEditor;   // colour editing and the colour schemes
    LogoAnimation logo;          // the animated logo from "korvi.dat"

    // The program's folder: pictures, sounds and colour schemes missing in the working
    // folder are taken from the installed copies beside it.
    void setProgramDir(const QString& programDir);
    const QStringList& assetFolders() const { return m_assetFolders; }

    // Hooks that later parts of the client fill: written at the end of the program. It
    // starts with the price files and the presets.
    std::function<void()> saveExtraFiles;

    // Brings the order and execution grids up to date with what the handlers changed.
    void refreshGrids();

    // The connection window's "Kursprotokoll" box was clicked.
    void Check1_Click(bool ticked);
    // The price files and "Korvi.wpv".
    void saveMarketFiles();

signals:
    // The 150 ms refresh of the main window.
    void refreshTick();
    // The update timer handed the package over: the program ends at once.
    void updateHandOff();
    // The hand-off could not be done (the user has been told): the normal start goes on.
    void updateHandOffFailed();
    // The server asked the program to end at once.
    void exitRequested();
    void userNameChanged(const QString& name);
    void welcomeText(const QString& text);
    // The user-id label of the main window: "UID:" and the id.
    void uidText(const QString& text);
    // A new instrument table is in place (after the order grid hook ran).
    void instrumentsReplaced();
    // The refresh tick found these instruments changed: redraw their lines (and the chart
    // when it shows one of them). The positions' values are already updated.
    void pricesRefreshed(const QList<int>& instruments);
    // The game connection was lost or is back: while `stale`, prices are no longer current
    // (no connection, reconnecting, or no "@WELCOME" yet); `since` is when they went stale.
    void connectionStateChanged(bool stale, const QString& since);

private:
    void Timer2_Timer();
    void applySettings();
    void collectSettings();
    void wireHandlers();
    void wireChat();
    void refreshPrices();

    QStringList m_assetFolders;
    Prompts& m_prompts;
    Sound& m_sound;
    Clock& m_clock;
    QTimer m_timer1;
    QTimer m_catchUp; // a waiting rebuild of a large grid
    static constexpr int kQuietMs = 20;
    quint64 m_receiveSteps = 0;
    quint64 m_stepsAtCatchUp = 0;
    QString m_caption;
    bool m_pricesStale = false;
    std::vector<int> m_changed;
};

} // namespace korvi
