#pragma once

#include "catalogue.h"
#include "framing.h"
#include "instrumentconfig.h"
#include "messages.h"
#include "participantstore.h"
#include "pricesimulator.h"

#include <QByteArray>
#include <QObject>
#include <vector>

class QTcpSocket;

namespace korvi::server {

class GameServer;
class TradingEngine;

// The account figures of a participant as "@SUK" carries them.
msg::AccountLine accountLineOf(const Participant& participant);

// The messages that greet a participant after a good login, in the order the client
// relies on: code list, welcome, short id, level, last order number, instruments, orders,
// executions, account, positions, places, and the version question.
// With an engine, the trading messages carry the participant's real orders, fills and
// account.
std::vector<QByteArray> welcomeSequence(const Participant& participant, const std::vector<InstrumentSpec>& definitions,
                                        const std::vector<PriceState>& quotes, const TradingEngine* engine = nullptr);

// One connection from a client: its receive buffer, where it stands in the login, and
// the participant once logged in. The server sends first ("!;ID"); the session answers
// what the client sends and passes the price stream on.
class Session : public QObject {
    Q_OBJECT
public:
    enum class Stage { Identify, Login, Playing, Closing };

    Session(QTcpSocket* socket, quint64 number, GameServer& server);

    quint64 number() const { return m_number; }
    Stage stage() const { return m_stage; }
    bool playing() const { return m_stage == Stage::Playing; }
    const Participant& participant() const { return m_participant; }
    qint64 connectedAt() const { return m_connectedAt; }
    qint64 lastSentAt() const { return m_lastSentAt; }
    qint64 lastHeartbeatAt() const { return m_lastHeartbeatAt; }
    qint64 queuedBytes() const;
    // The version the client reported ("@SV=" body), empty until it did.
    const QByteArray& clientVersion() const { return m_clientVersion; }

    // Frames and sends one message.
    void send(QByteArrayView message);
    // Sends already framed messages as one write.
    void sendFramed(const QByteArray& frames);
    // Passes a block of price frames on. A participant whose connection cannot keep up
    // skips blocks instead of piling them up; once its queue drains it gets every price
    // in full, so it is right again.
    void sendPrices(const QByteArray& frames, int frameCount);
    void sendHeartbeat();
    // Ends the connection after what is queued has gone out.
    void close(const QString& reason);
    // Ends the connection at once.
    void abort(const QString& reason);

signals:
    void finished(korvi::server::Session* session);
    // The connection handed queued bytes to the system: room for more.
    void written();

private:
    void onReadyRead();
    void onDisconnected();
    void handle(QByteArrayView message);
    void handleLogin(QByteArrayView body);
    void handleRequest(QByteArrayView message);
    bool handleTestControl(const CommandParts& parts);
    QString who() const;

    QTcpSocket* m_socket;
    quint64 m_number;
    GameServer& m_server;
    ReceiveBuffer m_buffer;
    Stage m_stage = Stage::Identify;
    Participant m_participant;
    QByteArray m_announcedName;
    QByteArray m_clientVersion;  // from "TTUSER=", for the log
    qint64 m_connectedAt = 0;
    qint64 m_lastSentAt = 0;
    qint64 m_lastHeartbeatAt = 0;
    bool m_pricesPaused = false;
    bool m_finished = false;
};

} // namespace korvi::server
