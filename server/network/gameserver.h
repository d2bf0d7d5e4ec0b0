#pragma once

#include "instrumentconfig.h"
#include "loginguard.h"
#include "metrics.h"
#include "options.h"
#include "passwordhash.h"
#include "pricesweep.h"
#include "pricesimulator.h"
#include "tradingengine.h"
#include "tradestore.h"
#include "serverlog.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

namespace korvi::server {

class AddressPageServer;
class ChatService;
class Connection;
class ParticipantStore;
class Transport;
class Session;
struct UpdatePackage;

// The game server: accepts connections, runs the market and fans the price stream out to
// every logged-in participant, keeps idle connections alive and drops the ones that never
// log in, and runs the trading game. Everything runs on one thread; no step waits for a
// participant. What the trading engine says is held back until the store has committed
// the change behind it, so a participant is never told of an order or fill that a crash
// could still lose.
class GameServer : public QObject, public TradeOutbox {
    Q_OBJECT
public:
    // How often the market moves, in milliseconds.
    static constexpr int kPriceTickMs = 20;
    // The prices of several ticks share one write to a participant when many play: the
    // stream goes out every tick up to this many participants, beyond that at a pace that
    // keeps the writes per second about the same, but at least every kMaxFanoutMs.
    static constexpr int kFanoutWritesPerSecond = 100'000;
    static constexpr int kMaxFanoutMs = 100;
    // Receivers handed their blocks per event: the handing out of one block to 16,000
    // participants is spread over events, with requests and writes between them.
    static constexpr int kReceiversPerStep = 2048;
    // Something goes out at least this often on every connection.
    static constexpr int kKeepaliveMs = 4000;
    static constexpr int kHeartbeatLineMs = 30'000;
    // How often places are worked out, and how seldom winners and losers go out at most.
    static constexpr int kRankingMs = 2000;
    static constexpr qint64 kWinnersMs = 60'000;
    // How often the quotes are stored, so a restart goes on from about where it stopped.
    static constexpr qint64 kQuotesEveryMs = 5000;
    // How often the game looks for participants blocked while they play.
    static constexpr qint64 kBlockCheckMs = 2000;
    // Largest frame a client may send, and largest send queue before prices are skipped.
    static constexpr qsizetype kMaxFrameBytes = 1024 * 1024;
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;
    // Largest send queue of all: a session that would go past it is dropped. It leaves
    // room above the price limit for a participant's greeting with a long order book.
    static constexpr qint64 kMaxSendQueueBytes = 8 * 1024 * 1024;
    // The system's send buffer of a connection: enough for a few ticks of prices, small
    // enough that a client that stops reading shows in the send queue within a second or two.
    static constexpr int kSocketSendBuffer = 64 * 1024;

    GameServer(const ServerOptions& options, std::vector<InstrumentSpec> definitions, ParticipantStore& store,
               QObject* parent = nullptr);
    ~GameServer() override;

    // Opens the trading records in the data folder and listens.
    bool start(QString& error);
    void stop();
    quint16 tcpPort() const;
    quint16 httpPort() const;

    const std::vector<InstrumentSpec>& definitions() const { return m_specs; }
    std::vector<PriceState> quotes() const;
    ParticipantStore& store() { return m_store; }
    LoginGuard& guard() { return m_guard; }
    PasswordChecker& passwords() { return *m_passwords; }
    // Takes a connection of a client on: it is greeted, possibly in the place of an idle
    // connection that gives way, or closed at once when too many connections wait for
    // their login and none gives way (then none is returned).
    Session* adopt(std::shared_ptr<Connection> connection);
    Transport& transport() { return *m_transport; }
    // Milliseconds between two blocks of prices to every participant, for `playing` of them.
    static int fanoutIntervalMs(int playing);
    qint64 now() const { return m_clock.elapsed(); }
    int loginTimeoutMs() const { return m_options.loginTimeoutSeconds * 1000; }
    TradingEngine& engine() { return *m_engine; }
    const ServerOptions& options() const { return m_options; }
    QByteArray closeTimeText() const;
    int playingCount() const;
    // The number of the newest block of prices handed to the sweep.
    quint64 newestPriceBlock() const { return m_sweep.newest(); }

    // A session logged in: it receives its participant's trading messages from now on.
    void loggedIn(Session* session);
    // The stored password hash of `name`, as a login or the store shows it now. One that
    // differs from the hash seen before is a new password (set by the operator): the
    // name's failed logins no longer count, from the next attempt on.
    void notePasswordHash(const QByteArray& name, const QByteArray& hash);
    // A session's client reported its version: an older one receives the update package.
    void versionReported(Session* session);
    // Sends `message` to one session once everything the engine did so far is committed.
    void sendAfterCommit(Session* session, QByteArray message);
    // `session` holds messages for the next commit.
    void holdFor(Session* session);
    // A log line about a connection, summed up with the ones of the same kind (which
    // names the address) over an interval.
    void logEvent(const QString& kind, const QString& text) { m_log.line(kind, text, now()); }
    const std::vector<Session*>& sessions() const { return m_sessions; }
    // Commits and passes held messages on now.
    void flushNow() { flush(); }
    // Commits and passes held messages on as soon as the current events are handled.
    void scheduleFlush();
    void toParticipant(qint64 participant, QByteArray message) override;
    void executed(const Execution& e) override;
    ChatService& chat() { return *m_chat; }
    // Test messages: puts a quote in place, books the daily close.
    void setQuote(int index, const PriceState& quote);
    void dailyClose();

    ServerMetrics& metrics() { return m_metrics; }
    // The figures with those of now filled in, as the metrics page shows them.
    ServerMetrics metricsNow() const;

    void countSent(qint64 frames, qint64 bytes)
    {
        m_framesOut += frames;
        m_bytesOut += bytes;
    }

private:
    void onSessionFinished(Session* session);
    void forgetNotPlaying(Session* session);
    void onPriceTick();
    // Closes the block of the last ticks' prices when its time has come and starts a sweep
    // that hands it to every receiver, a bounded number per event.
    void fanOut();
    void startSweep();
    void sweepStep();
    void onHousekeeping();
    // Hands the current quotes to the store; they are written with the next commit.
    void storeQuotes();
    // Sends participants away who were blocked while they play.
    void dropBlocked();
    bool restoreQuotes(QString& error);
    void logStats();
    void flush();
    void onRankings();

    ServerOptions m_options;
    std::vector<InstrumentSpec> m_specs;
    ParticipantStore& m_store;
    PriceSimulator m_simulator;
    Transport* m_transport;
    AddressPageServer* m_pages;
    std::vector<Session*> m_sessions;  // owned as Qt children
    std::vector<Session*> m_notPlaying; // of them, the ones not logged in yet (a bounded number)
    quint64 m_nextSession = 1;
    QElapsedTimer m_clock;
    QTimer m_priceTimer;
    QTimer m_housekeeping;
    QTimer m_statsTimer;
    qint64 m_priceStartedAt = 0;
    qint64 m_pricesSent = 0;
    // Price frames of the ticks since the last block went out, encoded once for everyone.
    QByteArray m_batch;
    int m_batchFrames = 0;
    qint64 m_fannedOutAt = 0;
    PriceSweep<Session> m_sweep; // the logged-in sessions receive the blocks of prices
    TradeStore m_tradeStore;
    std::unique_ptr<TradingEngine> m_engine;
    std::unique_ptr<ChatService> m_chat;
    QMultiHash<qint64, Session*> m_byParticipant;
    qint64 m_participantChanges = -2; // the store's change count at the last look; -2: none yet
    QHash<qint64, QByteArray> m_held;                       // framed, per participant
    std::vector<QPointer<Session>> m_heldSessions; // sessions with messages for the next commit
    QTimer m_flushTimer;
    QTimer m_rankingTimer;
    std::shared_ptr<const UpdatePackage> m_update;
    std::vector<QByteArray> m_lastWinners;
    qint64 m_winnersSentAt = -1;
    bool m_storeFailing = false;
    LoginGuard m_guard;
    ServerMetrics m_metrics;
    // Connection events per address: a few lines per interval, then counts.
    LogSummary m_log{LogSummary::kIntervalMs, 5, 4096};
    std::unique_ptr<PasswordChecker> m_passwords;
    // Traffic figures for the statistics lines.
    qint64 m_framesOut = 0;
    qint64 m_bytesOut = 0;
    qint64 m_maxQueued = 0;
    qint64 m_statsFrom = 0;
    qint64 m_quotesStoredAt = 0;
    qint64 m_blockCheckedAt = 0;
    QHash<QString, QByteArray> m_passwordHashes; // by case-folded name, as last seen, to notice a new password
};

} // namespace korvi::server
