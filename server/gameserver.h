#pragma once

#include "instrumentconfig.h"
#include "options.h"
#include "pricesimulator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class QTcpServer;

namespace korvi::server {

class AddressPageServer;
class ParticipantStore;
class Session;

// The game server: accepts connections, runs the market and fans the price stream out to
// every logged-in participant, keeps idle connections alive and drops the ones that never
// log in. Everything runs on one thread; no step waits for a participant.
class GameServer : public QObject {
    Q_OBJECT
public:
    // How often the market moves and the stream goes out, in milliseconds.
    static constexpr int kPriceTickMs = 20;
    // Something goes out at least this often on every connection.
    static constexpr int kKeepaliveMs = 4000;
    static constexpr int kHeartbeatLineMs = 30'000;
    // Largest frame a client may send, and largest send queue before prices are skipped.
    static constexpr qsizetype kMaxFrameBytes = 1024 * 1024;
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;

    GameServer(const ServerOptions& options, std::vector<InstrumentSpec> specs, ParticipantStore& store,
               QObject* parent = nullptr);
    ~GameServer() override;

    bool start(QString& error);
    void stop();
    quint16 tcpPort() const;
    quint16 httpPort() const;

    const std::vector<InstrumentSpec>& specs() const { return m_specs; }
    std::vector<PriceState> quotes() const;
    ParticipantStore& store() { return m_store; }
    qint64 now() const { return m_clock.elapsed(); }
    int loginTimeoutMs() const { return m_options.loginTimeoutSeconds * 1000; }
    void countSent(qint64 frames, qint64 bytes)
    {
        m_framesOut += frames;
        m_bytesOut += bytes;
    }

private:
    void onNewConnection();
    void onSessionFinished(Session* session);
    void onPriceTick();
    void onHousekeeping();
    void logStats();

    ServerOptions m_options;
    std::vector<InstrumentSpec> m_specs;
    ParticipantStore& m_store;
    PriceSimulator m_simulator;
    QTcpServer* m_server;
    AddressPageServer* m_pages;
    std::vector<Session*> m_sessions;  // owned as Qt children
    quint64 m_nextSession = 1;
    QElapsedTimer m_clock;
    QTimer m_priceTimer;
    QTimer m_housekeeping;
    QTimer m_statsTimer;
    qint64 m_priceStartedAt = 0;
    qint64 m_pricesSent = 0;
    QByteArray m_batch;
    // Traffic figures for the statistics lines.
    qint64 m_framesOut = 0;
    qint64 m_bytesOut = 0;
    qint64 m_maxQueued = 0;
    qint64 m_statsFrom = 0;
};

} // namespace korvi::server
