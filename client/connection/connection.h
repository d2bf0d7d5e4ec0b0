#pragma once

#include "addresspage.h"
#include "framing.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace korvi {

class Clock;
class Dispatcher;
class LogList;
struct State;

// The text for a socket state number (0 closed ... 9 error), as the status display of the
// external interface shows it.
QString socketStateText(int state);

// The waits of the connection, in milliseconds. Tests shorten them.
struct ConnectionTiming {
    int watchdogMs = 10000;   // watchdog tick
    int silenceMs = 10000;    // silence after which the watchdog reconnects
    int loginWaitMs = 5000;   // after "LOGIN": read the address pages if still connecting
    int logoutPauseMs = 500;  // between "LOGOUT" and "LOGIN" of a reconnect
};

// Built-in addresses: the two web hosts of the address pages, the fallback server and the
// three test addresses of the "IPTEST" start option.
struct BuiltInAddresses {
    QString webHost1 = QStringLiteral("127.0.0.1:8100");
    QString webHost2 = QStringLiteral("localhost:8100");
    QByteArray fallback = "127.0.0.1:4100";
    QByteArray tests[3] = {"127.0.0.1:4100", "127.0.0.2:4100", "127.0.0.3:4100"};
    QByteArray defaultServer = "127.0.0.1";
};

// The connection window's logic ("OrderClient"): its fields, the one server socket, the
// receive buffer and counters, the address lookup and the reconnect watchdog. The window
// itself only shows this object and forwards clicks.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(State& state, Dispatcher& dispatcher, Clock& clock, LogList& incoming,
               LogList& outgoing, PageReader& pages, QObject* parent = nullptr);
    ~Connection() override;

    void setTiming(const ConnectionTiming& timing);
    void setAddresses(const BuiltInAddresses& addresses) { m_addresses = addresses; }

    // Load step: fields from the login values, defaults for empty ones, watchdog running.
    void load(bool ipChecked);
    // Unload step: closes the price recording through its hook.
    void unload();

    // Fields of the window. Setting them keeps the login values and the user key current.
    void setServerField(const QByteArray& text);
    void setPortField(const QByteArray& text);
    void setUserField(const QByteArray& text);
    void setPasswordField(const QByteArray& text);
    void setIpChecked(bool on) { m_ipChecked = on; }
    void setKursprotokoll(bool on) { m_kursprotokoll = on; }
    const QByteArray& serverField() const { return m_server; }
    const QByteArray& portField() const { return m_port; }
    const QByteArray& userField() const { return m_user; }
    const QByteArray& passwordField() const { return m_password; }
    bool ipChecked() const { return m_ipChecked; }
    bool kursprotokoll() const { return m_kursprotokoll; }

    // Buttons.
    void login();        // "LOGIN"
    void logout();       // "LOGOUT"
    void readIpPage();   // "Lies IP-Seite"
    void watchdogTick(); // the 10 s timer

    void connectwinsock(const QByteArray& host);

    // "Senddata": sends an already framed text and logs it "OUT:". Without a connection
    // nothing is written and the text is logged as not sent; returns whether it was sent.
    bool Senddata(const QByteArray& framedText);
    // Logs a message that did not leave, in the list where sent ones are logged.
    void logNotSent(QByteArrayView text);
    // Sends one message framed, without the "OUT:" line (login replies).
    void sendDirect(QByteArrayView text);
    // Sends one framed request only while connected (the request buttons).
    bool sendRequest(QByteArrayView text);
    bool isConnected() const;
    // Hands what waits in the socket's write buffer to the system now, without waiting for
    // the event loop (for callers that run no loop, such as the fuzz harness). Returns
    // whether anything was written.
    bool flush();
    // Orders can reach the server: connected and greeted ("@WELCOME") on this connection.
    // Before the greeting the server takes nothing but the login replies.
    bool canTrade() const { return isConnected() && m_welcomed; }
    // The server greeted this connection.
    void welcomed() { m_welcomed = isConnected(); }
    // The socket state number of the socket layer (0 closed ... 7 connected, 9 error).
    int socketState() const;

    int LinkState = 0;
    bool KeepConnected = false;
    qint64 LastReceiveTick = 0;
    quint32 arrivals = 0;
    quint32 BytesReceived = 0;
    QByteArray TableText;
    QByteArray ControlText;
    AddressList addresses;
    int addressInUse = 1;

    // The receive step for bytes that arrived on the socket: counters, framing, logging
    // and dispatch of every complete message.
    void receive(QByteArrayView bytes);

    QString byteCounterText() const;
    // The label "LKurs": "IN:" and the last full price message.
    QString lkursText() const;
    // True once after a new full price message arrived.
    bool takeLkursChange();

signals:
    void fieldsChanged();
    void byteCounterChanged(const QString& text);
    // The user name changed (the main window's user button shows it as a hint).
    void userNameChanged(const QString& name);
    void unloaded();

private:
    void onConnected();
    void onClosed();
    void onError();
    void onReadyRead();
    void tryNextPage(int selected, int index);
    void applyAddress(int selected);

    State& m_state;
    Dispatcher& m_dispatcher;
    Clock& m_clock;
    LogList& m_incoming;
    LogList& m_outgoing;
    PageReader& m_pages;
    ConnectionTiming m_timing;
    BuiltInAddresses m_addresses;

    std::unique_ptr<QTcpSocket> m_socket;
    ReceiveBuffer m_buffer;
    QTimer m_watchdog;
    QByteArray m_server, m_port = "4100", m_user, m_password;
    bool m_ipChecked = false;
    bool m_kursprotokoll = false;
    bool m_loaded = false;
    bool m_receiving = false;
    bool m_readAgain = false;
    bool m_welcomed = false;
    int m_lookupGeneration = 0;
    QByteArray m_lkursRaw;
    bool m_lkursDirty = false;
};

} // namespace korvi
