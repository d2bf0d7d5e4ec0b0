#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

#include "framing.h"

// Runs the real korvi-server binary (path from KORVI_SERVER) on ports chosen by the
// system and reads the ports from its "listening" line. A new data folder holds no
// participant; unless told otherwise, the first start adds the tests' participant "demo"
// (password "demo", short id U00001) the way an operator does, with "user add".
class ServerProcess {
public:
    enum class Participants { Demo, None };
    explicit ServerProcess(QString dataDir, Participants participants = Participants::Demo)
        : m_dataDir(std::move(dataDir)), m_participants(participants)
    {
    }
    ~ServerProcess();

    // Starts with "--port 0 --http-port 0 --data DIR" plus `extra`; false (with the reason
    // in lastError()) when it does not report its ports within 10 seconds.
    bool start(const QStringList& extra = {});
    // Sends SIGTERM and waits; returns the exit code, or -1 when it did not stop in time.
    int terminate();
    int interrupt();
    void kill();

    quint16 tcpPort() const { return m_tcpPort; }
    quint16 httpPort() const { return m_httpPort; }
    QString log();
    QString lastError() const { return m_error; }

    // Runs an administration command ("user", "add", ...) on the same data folder.
    static int admin(const QString& dataDir, const QStringList& command, QByteArray* out = nullptr);

private:
    int stopWith(int signalNumber);

    QString m_dataDir;
    Participants m_participants;
    std::unique_ptr<QProcess> m_process;
    quint16 m_tcpPort = 0;
    quint16 m_httpPort = 0;
    QString m_error;
    QString m_logPath;
    static int s_logCount;
};

// A client speaking the game framing on 127.0.0.1, with bounded waits everywhere.
class Peer {
public:
    // `from`: the local address to connect from (another 127.x.y.z stands for another machine).
    bool connectTo(quint16 port, const QHostAddress& host = QHostAddress(QHostAddress::LocalHost),
                   const QHostAddress& from = QHostAddress());
    // From now on reads only a few kilobytes ahead, like a client that has stopped reading.
    void stopReading();
    void send(QByteArrayView message);
    void sendRaw(QByteArrayView bytes);
    // The next message within `timeoutMs`; none on time-out or when the server closed.
    std::optional<QByteArray> next(int timeoutMs = 5000);
    // The next message that is not a price update or keep-alive.
    std::optional<QByteArray> nextNonPrice(int timeoutMs = 5000);
    // True when the server closes the connection within `timeoutMs`.
    bool waitClosed(int timeoutMs);
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    // Answers "!;ID" and "!;USER"; returns the first answer after the login request.
    std::optional<QByteArray> login(QByteArrayView name, QByteArrayView password);
    // Logs in and collects the greeting up to and including "@RV".
    std::vector<QByteArray> loginAndGreeting(QByteArrayView name, QByteArrayView password);

private:
    QTcpSocket m_socket;
    korvi::ReceiveBuffer m_buffer{64 * 1024 * 1024};
};

bool isPriceOrKeepalive(QByteArrayView message);
QByteArray commandWordOf(QByteArrayView message);
