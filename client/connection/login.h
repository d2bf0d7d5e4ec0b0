#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTime>

namespace korvi {

class Clock;
class Connection;
class LogList;
struct State;

// The server's greeting, the user data, the clock setting, the blocked-user check and the
// manual requests of the connection window.
class Login : public QObject {
    Q_OBJECT
public:
    Login(State& state, Connection& connection, Clock& clock, QObject* parent = nullptr)
        : QObject(parent), m_state(state), m_connection(connection), m_clock(clock)
    {
    }

    // The main window's "CHAT" box: after the welcome the chat is announced while it is ticked.
    bool chatBox = false;

    void WS_Welcome(QByteArrayView body);
    // "@TS"/"@TIMESET": the time of day "H:M:S"; an unreadable text or a clock that may not
    // be set leaves the clock alone.
    void WS_TimeSet(QByteArrayView body);
    void ws_ud(QByteArrayView body);
    // After "@MSG": a blocked user is not reconnected. Returns true when it was blocked.
    bool blockedCheck(QByteArrayView body);

    // The request buttons of the connection window; sent only while connected.
    bool Command4_Click() { return request("@TIMEGET"); }      // "Time ?"
    bool Command6_Click() { return request("@IR"); }           // "Instruments"
    bool Command7_Click() { return request("@RA"); }           // "R.All Orders"
    bool Command8_Click() { return request("@RAO"); }          // "R.Open Orders"
    bool Command9_Click() { return request("@RAE"); }          // "R.AllExec."
    bool WSS_GKO(qint32 n);                                    // account statement n
    // The system information ("@RI"), sent and logged like every "Senddata" message.
    void WS_RequestSystemInfos();

    static QTime parseTimeOfDay(QByteArrayView text);

signals:
    void welcomeText(const QString& text);
    void uidText(const QString& text);

private:
    bool request(QByteArrayView text);

    State& m_state;
    Connection& m_connection;
    Clock& m_clock;
};

// The greeting shown whatever the server's welcome says.
inline constexpr const char* kWelcomeText = "Willkommen beim Orvenspiel Demo-Server";

} // namespace korvi
