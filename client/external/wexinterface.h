#pragma once

#include "wexprotocol.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace korvi {

class Account;
class Clock;
class Connection;
class ExternalOrders;
class LogList;
class Messages;
struct State;

// The waits of the socket interface, in milliseconds. Tests shorten them.
struct WexTiming {
    int closeWaitMs = 10000; // after refusing a user name: how long the peer may take to close
    int retryMs = 5000;      // a port that cannot be listened on is tried again after this
    int userWaitMs = 5000;   // a program that has not named the right user by then is closed
};

// "Wex": the listening socket for one outside trading program at a time. It listens on the
// port of the settings, accepts only the permitted address, cuts what arrives into
// messages and answers them: "USER", "HI", "@PO", "@CO", "@WT_RA", "@WT_REX". Everything
// received and sent is logged in "List1".
//
// Nothing is done for a program, and nothing but the greeting, the answer to "USER" and
// the answer to "HI" is sent to it, before it has named the right user: a command that
// would act closes the connection, other lines are ignored as they are afterwards, and
// silence (or ignored lines only) beyond a few seconds closes it too, so an idle program
// cannot hold the one connection. A web page the trader opens can make the browser send a request to this
// port with a body of its choosing; a connection that begins like such a request (or
// carries a "Host:" line before the user) is closed without reading on.
class WexInterface : public QObject {
    Q_OBJECT
public:
    WexInterface(State& state, Connection& connection, Account& account, ExternalOrders& orders,
                 Messages& messages, Clock& clock, LogList& list1, QObject* parent = nullptr);
    ~WexInterface() override;

    void setTiming(const WexTiming& timing);

    // "Listen": closes the socket and listens on the port of the settings.
    void Command17_Click();
    // Closes the socket without listening again.
    void Command22_Click();
    // "GetPortfolio": what "@WT_RA" does.
    void Command20_Click();

    // The receive step for bytes the outside program sent.
    void Wex_DataArrival(QByteArrayView bytes);
    // Logs and sends one text on the socket unchanged.
    void WexSenddata(const QByteArray& text);
    void WexSendInstruments();
    void ExtS_NewOrderId(const QByteArray& reference, qint32 orderUserId);
    void ExtS_Error(int code, const QByteArray& text, const QByteArray& reference);
    void ExtS_Orderstatus(int orderIndex);
    void ExtEx(QByteArrayView text);

    bool WexConnected() const { return m_connected; }
    // True once after "@WT_REX": the next execution list goes to the outside program.
    bool takeExecutionsPending() { return std::exchange(m_executionsPending, false); }
    // The socket state number of the status display (0 closed, 2 listening, 7 connected,
    // 8 closing, 9 error).
    int stateNumber() const { return m_socketState; }
    // The port actually listened on (the settings may say 0 in tests).
    quint16 listeningPort() const { return m_server.isListening() ? m_server.serverPort() : 0; }
    // The message line follows the connection ("Fennix connected" / "Fennix nicht connected").
    void refreshStatus();

private:
    void startListening(bool logListen);
    void onNewConnection();
    void accept(QTcpSocket* socket);
    void dropClient();
    void onReadyRead(QTcpSocket* socket);
    void onClosed(QTcpSocket* socket, bool error);
    bool handleMessage(QByteArrayView message);
    // The commands that place, cancel or ask for something ("@PO", "@CO", "@WT_RA", "@WT_REX").
    static bool actsForSomeone(QByteArrayView command);
    void WEXVerarbeiten(QByteArrayView message, const CommandFields& fields);
    void refuseUser();
    // Logs an "F:" line and closes the connection as a wrong user name does.
    void refuseStranger(const QString& why);
    void finishClose();
    void write(const QByteArray& text);
    int configuredPort() const;

    State& m_state;
    Connection& m_connection;
    Account& m_account;
    ExternalOrders& m_orders;
    Messages& m_messages;
    Clock& m_clock;
    LogList& m_list1;
    WexTiming m_timing;

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    WexBuffer m_buffer;
    QTimer m_closeWait;
    QTimer m_retry;
    QTimer m_userWait;
    QByteArray m_head;       // the first bytes of a connection, until they tell what it is
    bool m_headKnown = false;
    bool m_userOk = false;   // the program named the right user
    bool m_connected = false;
    bool m_closing = false;
    bool m_executionsPending = false;
    int m_socketState = 0;
    int m_requestId = 0;
    quint16 m_chosenPort = 0;
};

} // namespace korvi
