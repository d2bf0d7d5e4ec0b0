#pragma once

#include "catalogue.h"
#include "framing.h"
#include "instrumentconfig.h"
#include "messages.h"
#include "participantstore.h"
#include "passwordhash.h"
#include "pricesweep.h"
#include "pricesimulator.h"
#include "serverlog.h"
#include "transport.h"

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <memory>
#include <vector>

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

// One connection from a client: its receive buffer, its send queue, where it stands in
// the login, and the participant once logged in. The server sends first ("!;ID"); the
// session answers what the client sends and passes the price stream on. Everything sent
// goes through one queue with a ceiling: a client that stops reading is dropped before
// it can eat the server's memory.
class Session : public QObject, private ConnectionListener {
    Q_OBJECT
public:
    // Checking: the password is being checked on a worker; what the client sends
    // meanwhile waits in the receive buffer.
    enum class Stage { Identify, Login, Checking, Playing, Closing };

    Session(std::shared_ptr<Connection> connection, quint64 number, GameServer& server);
    ~Session() override;

    quint64 number() const { return m_number; }
    // The server's bookkeeping: this session's place in its list of sessions (-1: none)
    // and among the receivers of prices.
    int& sessionSlot() { return m_sessionSlot; }
    SweepPlace& sweepPlace() { return m_sweepPlace; }
    Stage stage() const { return m_stage; }
    bool playing() const { return m_stage == Stage::Playing; }
    const Participant& participant() const { return m_participant; }
    qint64 connectedAt() const { return m_connectedAt; }
    qint64 lastSentAt() const { return m_lastSentAt; }
    qint64 lastHeartbeatAt() const { return m_lastHeartbeatAt; }
    qint64 queuedBytes() const;
    // Since when the send queue has not been empty; -1 while it is.
    qint64 queuedSince() const { return m_connection->queuedSince(); }
    // The client's address, as the login limits count it.
    const QString& address() const { return m_address; }
    // The version the client reported ("@SV=" body), empty until it did.
    const QByteArray& clientVersion() const { return m_clientVersion; }

    // Messages handled in one event at most; the rest waits for the next turn of the
    // event loop, so one busy connection never holds up the price stream.
    static constexpr int kMessagesPerEvent = 256;
    // Bytes the connection reads ahead of what it handles; beyond that the client waits.
    static constexpr qint64 kReadAheadBytes = 256 * 1024;
    // Answers waiting for the commit, different requests (a repeated one counts once).
    static constexpr int kMaxHeldAnswers = 16;

    // Requests answered once everything before them is committed; the answer is built
    // then, so it shows the committed state.
    // Greeting: everything a participant gets after a good login, built once the login's
    // changes are committed together with those of the other logins of the same turn.
    enum class Answer : quint8 { AllOrders, OpenOrders, AllExecutions, Account, Info, Statement, Greeting };

    // Handles bytes as they came from the client (the socket's arrivals go here).
    void receive(QByteArrayView bytes);
    // Messages handled since the connection opened.
    qint64 handledMessages() const { return m_handled; }
    // Bytes of ready messages held until the commit; they count against the send ceiling.
    qint64 heldBytes() const { return m_heldBytes; }
    // Holds an answer until the commit. A request whose answer still waits is not
    // answered twice.
    void holdAnswer(Answer answer, qint32 day = 0);
    // Holds ready messages until the commit, or drops the connection when they would
    // take its queue past the ceiling.
    void holdFrames(QByteArray frames);
    // Sends what was held, after a commit.
    void releaseHeld();
    // Writes the summaries of repeated log lines whose interval is over.
    void flushLog(qint64 now) { m_log.flush(now); }
    // Frames and sends one message.
    void send(QByteArrayView message);
    // Sends already framed messages as one write. Answers take the prompt lane; what goes
    // to many participants at once (chat, rankings) the bulk lane, behind nobody's answer.
    void sendFramed(const QByteArray& frames, Lane lane = Lane::Prompt);
    // Passes a block of price frames on. A participant whose connection cannot keep up
    // skips blocks instead of piling them up; once its queue drains it gets every price
    // in full, so it is right again.
    // `block`: its number; `now`: the server's clock. Returns the bytes that were queued before.
    qint64 sendPrices(const QByteArray& frames, int frameCount, quint64 block, qint64 now);
    // Asks for written() after each write that made room (a sender feeding pieces).
    void notifyWritten() { m_connection->notifyWritten(true); }
    void sendHeartbeat();
    // Ends the connection after what is queued has gone out.
    void close(const QString& reason);
    // Ends the connection at once.
    void abort(const QString& reason);
    // Stops all sending and receiving now and ends the connection once the current event
    // is handled; safe inside loops over the sessions.
    void dropLater(const QString& reason);

signals:
    void finished(korvi::server::Session* session);
    // The connection handed queued bytes to the system: room for more.
    void written();

private:
    void connectionReadable() override;
    void connectionWritten() override { emit written(); }
    void connectionClosed(const QString& reason) override;
    void onDisconnected();
    // Handles what arrived, up to the share of one event, and comes back for the rest.
    void pump();
    void registerHeld();
    void handle(QByteArrayView message);
    void handleLogin(QByteArrayView body);
    void startCheck();
    void finishLogin(bool known, const PasswordChecker::Result& result);
    void refuseLogin();
    bool write(const QByteArray& frames, qint64 frameCount, Lane lane, qint64 now);
    // A log line that may repeat; `kind` groups the lines counted together.
    void note(const QString& kind, const QString& text);
    // A log line about the connection itself (connects, logins, drops), summed up per
    // address by the server, since a flood of connections would repeat it.
    void logEvent(const QString& kind, const QString& text);
    void handleRequest(QByteArrayView message);
    bool handleTestControl(const CommandParts& parts);
    QString who() const;

    std::shared_ptr<Connection> m_connection;
    quint64 m_number;
    GameServer& m_server;
    ReceiveBuffer m_buffer;
    Stage m_stage = Stage::Identify;
    Participant m_participant;
    QByteArray m_announcedName;  // from "TTUSER=", for the log
    QString m_address;
    QByteArray m_loginName;      // of the login being checked
    QByteArray m_loginPassword;
    std::shared_ptr<std::atomic_bool> m_checkCancelled;
    LogSummary m_log;
    QByteArray m_clientVersion;
    qint64 m_connectedAt = 0;
    qint64 m_lastSentAt = 0;
    qint64 m_lastHeartbeatAt = 0;
    bool m_pricesPaused = false;
    quint64 m_fullPricesThrough = 0; // the blocks up to this one are in the full prices sent
    bool m_greetingHeld = false; // logged in; the greeting waits for the commit
    bool m_finished = false;
    bool m_pumpQueued = false;
    qint64 m_handled = 0;
    struct Held {
        Answer answer = Answer::AllOrders;
        qint32 day = 0;
        QByteArray frames; // ready messages; empty: the answer is built at the release
    };
    std::vector<Held> m_held;
    qint64 m_heldBytes = 0;
    bool m_heldRegistered = false;
    int m_sessionSlot = -1;
    SweepPlace m_sweepPlace;
};

} // namespace korvi::server
