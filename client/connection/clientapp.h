#pragma once

#include "connection.h"
#include "controllines.h"
#include "dispatcher.h"
#include "loglist.h"
#include "state.h"

#include <QObject>
#include <QTimer>
#include <functional>

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

    // A new user name and password through the dialog, then log out and in again.
    void newCredentials();

    QString caption() const { return m_caption; }

    State state;
    LogList protocol;  // "L_Prot" of the main window
    LogList incoming;  // "List5" of the connection window
    LogList outgoing;  // "List2" of the connection window
    Dispatcher dispatcher;
    Connection connection;
    ControlLines control;

    // Hooks that later parts of the client fill: written at the end of the program.
    std::function<void()> saveExtraFiles;

signals:
    // The 150 ms refresh of the main window.
    void refreshTick();
    // The update timer fired: the program hands over and ends.
    void updateHandOff();
    // The server asked the program to end at once.
    void exitRequested();
    void userNameChanged(const QString& name);
    void welcomeText(const QString& text);

private:
    void applySettings();
    void collectSettings();

    Prompts& m_prompts;
    Sound& m_sound;
    Clock& m_clock;
    QTimer m_timer1;
    QString m_caption;
};

} // namespace korvi
