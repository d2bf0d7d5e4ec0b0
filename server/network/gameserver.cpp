#include "gameserver.h"

#include "addresspages.h"
#include "chatservice.h"
#include "messages.h"
#include "participantstore.h"
#include "serverlog.h"
#include "session.h"
#include "transport.h"
#include "updatepublisher.h"

#include "dates.h"
#include "framing.h"
#include "ports.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

namespace korvi::server {

namespace {

quint64 seedFor(const ServerOptions& options)
{
    if (options.seed)
        return *options.seed;
    const quint64 seed = QRandomGenerator::system()->generate64();
    logLine(QStringLiteral("price simulator seed %1 (give --seed %1 to replay this market)").arg(seed));
    return seed;
}

// After a failed listen: who usually holds the port, and the option that moves ours.
QString portHint(quint16 port, const QString& option)
{
    const QString holder = usualPortHolderEnglish(port);
    return (holder.isEmpty() ? QString() : QStringLiteral(" (") + holder + QLatin1Char(')')) +
           QStringLiteral("; %1 N chooses another port").arg(option);
}

} // namespace

GameServer::GameServer(const ServerOptions& options, std::vector<InstrumentSpec> definitions, ParticipantStore& store,
                       QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_specs(std::move(definitions))
    , m_store(store)
    , m_simulator(m_specs, seedFor(options))
    , m_transport(new Transport([this] { return now(); }, this))
    , m_pages(new AddressPageServer(this))
    , m_chat(std::make_unique<ChatService>(*this))
    , m_passwords(std::make_unique<PasswordChecker>())
{
    m_clock.start();
    m_priceTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_priceTimer, &QTimer::timeout, this, &GameServer::onPriceTick);
    connect(&m_housekeeping, &QTimer::timeout, this, &GameServer::onHousekeeping);
    connect(&m_statsTimer, &QTimer::timeout, this, &GameServer::logStats);
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &GameServer::flush);
    connect(&m_rankingTimer, &QTimer::timeout, this, &GameServer::onRankings);
}

GameServer::~GameServer()
{
    // Checks under way finish before the sessions they report to go.
    m_passwords.reset();
    // The sessions go before the transport their connections live on.
    qDeleteAll(findChildren<Session*>(Qt::FindDirectChildrenOnly));
    m_sessions.clear();
    delete m_transport;
}

bool GameServer::start(QString& error)
{
    if (!m_tradeStore.open(m_options.dataDir, error) || !restoreQuotes(error))
        return false;
    if (!m_options.updatePackage.isEmpty()) {
        m_update = UpdatePackage::load(m_options.updatePackage, m_options.updateBelow, error);
        if (!m_update)
            return false;
        logLine(QStringLiteral("update package %1 (%2 bytes) for clients below %3")
                    .arg(m_update->path).arg(m_update->size).arg(m_update->below.toString()));
    }
    TradingEngine::Options engineOptions;
    engineOptions.instantFills = m_options.instantFills;
    engineOptions.maxOpenOrders = m_options.maxOpenOrders;
    engineOptions.orderLimits = m_options.orderLimits;
    m_engine = std::make_unique<TradingEngine>(m_specs, quotes(), &m_tradeStore, *this, engineOptions);
    if (!m_engine->restore(m_store.list(), error))
        return false;
    m_held.clear(); // nobody is connected yet
    if (!m_tradeStore.commit(error))
        return false;
    QHostAddress address = QHostAddress::LocalHost;
    if (!m_options.bindAddress.isEmpty() && !address.setAddress(m_options.bindAddress)) {
        error = QStringLiteral("--bind: not an address: %1").arg(m_options.bindAddress);
        return false;
    }
    // Thousands of participants may knock at once; let the kernel queue them.
    QString listenError;
    if (!m_transport->listen(address.toString(), m_options.port, 4096, kSocketSendBuffer,
                             [this](std::shared_ptr<Connection> c) { adopt(std::move(c)); }, listenError)) {
        error = QStringLiteral("cannot listen on game port %1: %2").arg(m_options.port).arg(listenError) +
                portHint(m_options.port, QStringLiteral("--port"));
        return false;
    }
    if (!m_pages->listen(address, m_options.httpPort)) {
        error = QStringLiteral("cannot listen on address-page port %1: %2")
                    .arg(m_options.httpPort)
                    .arg(m_pages->errorString()) +
                portHint(m_options.httpPort, QStringLiteral("--http-port"));
        m_transport->close();
        return false;
    }
    m_pages->setGamePort(m_transport->port());
    m_pages->setPublicHost(m_options.publicHost);
    m_pages->setMetrics([this] { return prometheusText(metricsNow()); });
    // Also without a price stream: a quote set by a test message goes out on a tick.
    m_priceTimer.start(kPriceTickMs);
    m_priceStartedAt = now();
    m_housekeeping.start(500);
    m_rankingTimer.start(kRankingMs);
    onRankings();
    if (m_options.statsSeconds > 0)
        m_statsTimer.start(m_options.statsSeconds * 1000);
    m_statsFrom = now();
    logLine(QStringLiteral("game port %1, address pages on port %2, on %3, %4 instruments, %5 price messages per second")
                .arg(tcpPort()).arg(httpPort()).arg(address.toString()).arg(m_specs.size()).arg(m_options.rate));
    return true;
}

void GameServer::stop()
{
    m_priceTimer.stop();
    m_housekeeping.stop();
    m_statsTimer.stop();
    m_rankingTimer.stop();
    if (m_engine) {
        storeQuotes();
        flush();
    }
    m_transport->close();
    m_pages->close();
    const std::vector<Session*> sessions = m_sessions;
    for (Session* s : sessions)
        s->abort(QStringLiteral("server stops"));
}

quint16 GameServer::tcpPort() const { return m_transport->port(); }
quint16 GameServer::httpPort() const { return m_pages->port(); }

bool GameServer::restoreQuotes(QString& error)
{
    QHash<QByteArray, PriceState> saved;
    if (!m_tradeStore.loadQuotes(saved, error))
        return false;
    int restored = 0;
    for (int i = 0; i < m_simulator.count(); ++i) {
        const auto it = saved.constFind(m_specs[static_cast<size_t>(i)].ticker);
        // A quote that makes no market (no price, or bid above ask) is not taken.
        if (it == saved.cend() || it->last <= 0 || it->bid <= 0 || it->bid > it->ask)
            continue;
        m_simulator.setQuote(i, *it);
        ++restored;
    }
    if (restored > 0)
        logLine(QStringLiteral("%1 instruments go on from the quotes of the last run").arg(restored));
    return true;
}

void GameServer::dropBlocked()
{
    m_blockCheckedAt = now();
    // Only a change of the participants (a count the database keeps) makes it worth going
    // through all of them; thousands of participants would otherwise cost a pause each time.
    const qint64 changes = m_store.changeCount();
    if (changes >= 0 && changes == m_participantChanges)
        return;
    m_participantChanges = changes;
    // A password set by the administration command clears that name's failed logins.
    const QHash<QByteArray, QByteArray> hashes = m_store.passwordHashes();
    for (auto it = hashes.begin(); it != hashes.end(); ++it)
        notePasswordHash(it.key(), it.value());
    if (m_sessions.empty())
        return;
    const QSet<qint64> blocked = m_store.blockedIds();
    if (blocked.isEmpty())
        return;
    const std::vector<Session*> sessions = m_sessions;
    for (Session* s : sessions) {
        if (s->playing() && blocked.contains(s->participant().id)) {
            s->send(msg::kBlocked);
            s->close(QStringLiteral("participant blocked while playing"));
        }
    }
}

void GameServer::notePasswordHash(const QByteArray& name, const QByteArray& hash)
{
    const QString key = QString::fromLatin1(name).toCaseFolded();
    const auto seen = m_passwordHashes.find(key);
    if (seen == m_passwordHashes.end()) {
        m_passwordHashes.insert(key, hash);
        return;
    }
    if (seen.value() != hash) {
        m_guard.forgetName(name);
        seen.value() = hash;
    }
}

void GameServer::storeQuotes()
{
    for (int i = 0; i < m_simulator.count(); ++i)
        m_tradeStore.saveQuote(m_specs[static_cast<size_t>(i)].ticker, m_simulator.quote(i));
    m_quotesStoredAt = now();
}

std::vector<PriceState> GameServer::quotes() const
{
    std::vector<PriceState> out;
    out.reserve(static_cast<size_t>(m_simulator.count()));
    for (int i = 0; i < m_simulator.count(); ++i)
        out.push_back(m_simulator.quote(i));
    return out;
}

Session* GameServer::adopt(std::shared_ptr<Connection> connection)
{
    // Connections that have not logged in cost a password check each; they are limited
    // in total and per address, so idle or guessing connections cannot crowd out the game.
    // When the limit is reached the newcomer takes the place of the oldest connection that
    // has not yet asked to log in, of its own address or of the address holding the most
    // places; only when none is fit is it refused. So an address that holds every place
    // cannot keep the others out, and one that opens connections faster than its own keep
    // up only pushes out its own.
    const QString address = connection->peerAddress();
    struct Holder {
        int waiting = 0;
        Session* oldestIdle = nullptr; // not yet asking to log in
    };
    QHash<QString, Holder> holders;
    int waiting = 0;
    int ownWaiting = 0;
    // Only the connections not logged in yet: a login costs the same with 10 or 10,000
    // playing. Who holds how many places is worked out only when a limit is reached.
    for (const Session* s : m_notPlaying) {
        if (s->playing() || s->stage() == Session::Stage::Closing)
            continue;
        ++waiting;
        ownWaiting += s->address() == address ? 1 : 0;
    }
    const bool atLimit = ownWaiting >= m_options.maxWaitingPerAddress || waiting >= m_options.maxWaiting;
    waiting = 0;
    for (Session* s : atLimit ? m_notPlaying : std::vector<Session*>{}) {
        if (s->playing() || s->stage() == Session::Stage::Closing)
            continue;
        ++waiting;
        Holder& h = holders[s->address()];
        ++h.waiting;
        if (s->stage() != Session::Stage::Checking && (!h.oldestIdle || s->connectedAt() < h.oldestIdle->connectedAt()))
            h.oldestIdle = s;
    }
    const Holder own = holders.value(address);
    Session* victim = nullptr;
    QString victimAddress;
    if (own.waiting >= m_options.maxWaitingPerAddress) {
        victim = own.oldestIdle;
        victimAddress = address;
    } else if (waiting >= m_options.maxWaiting) {
        int most = own.waiting + 1; // it must hold more than the newcomer would
        for (auto it = holders.cbegin(); it != holders.cend(); ++it) {
            if (it->oldestIdle && it->waiting > most) {
                most = it->waiting;
                victim = it->oldestIdle;
                victimAddress = it.key();
            }
        }
    }
    const bool full = own.waiting >= m_options.maxWaitingPerAddress || waiting >= m_options.maxWaiting;
    if (full && !victim) {
        m_log.line(QStringLiteral("refused ") + address,
                   QStringLiteral("connection from %1 refused: %2 connections wait for their login (%3 from there)")
                       .arg(address)
                       .arg(waiting)
                       .arg(own.waiting),
                   now());
        connection->abort();
        return nullptr;
    }
    if (victim) {
        m_log.line(QStringLiteral("displaced ") + victimAddress,
                   QStringLiteral("connection #%1 from %2 gives its place to one from %3: %4 connections wait for their login"
                                  " (%5 from %2)")
                       .arg(victim->number())
                       .arg(victimAddress, address)
                       .arg(waiting)
                       .arg(holders.value(victimAddress).waiting),
                   now());
        victim->abort(QStringLiteral("its place went to a newer connection"));
    }
    auto* session = new Session(std::move(connection), m_nextSession++, *this);
    session->setParent(this);
    session->sessionSlot() = static_cast<int>(m_sessions.size());
    m_sessions.push_back(session);
    m_notPlaying.push_back(session);
    connect(session, &Session::finished, this, &GameServer::onSessionFinished);
    return session;
}

void GameServer::versionReported(Session* session)
{
    if (!m_update || !needsUpdate(session->clientVersion(), m_update->below))
        return;
    // One package per connection at a time.
    if (session->findChild<PackageSender*>())
        return;
    auto* sender = new PackageSender(
        m_update, QByteArray::number(session->number()),
        [session](const QByteArray& framed) { session->sendFramed(framed); },
        [session] { return session->queuedBytes(); }, session);
    session->notifyWritten();
    connect(session, &Session::written, sender, &PackageSender::pump);
    const quint64 number = session->number();
    connect(sender, &PackageSender::finished, this, [sender, number] {
        logRepeated(QStringLiteral("update sent"),
                    QStringLiteral("#%1 update package sent (%2 escaped bytes)").arg(number).arg(sender->sentBytes()));
        sender->deleteLater();
    });
    logEvent(QStringLiteral("update ") + session->address(), QStringLiteral("#%1 gets the update package").arg(session->number()));
    sender->pump();
}

void GameServer::onSessionFinished(Session* session)
{
    // Each session knows its places, so an end costs the same however many play.
    int& slot = session->sessionSlot();
    const auto at = static_cast<size_t>(slot);
    if (slot >= 0 && at < m_sessions.size() && m_sessions[at] == session) {
        // Swapped with the last: the order of the sessions means nothing.
        Session* last = m_sessions.back();
        m_sessions[at] = last;
        last->sessionSlot() = slot;
        m_sessions.pop_back();
    }
    slot = -1;
    m_sweep.remove(session);
    forgetNotPlaying(session);
    if (session->participant().id != 0)
        m_byParticipant.remove(session->participant().id, session);
    m_chat->leave(session);
    session->deleteLater();
}

void GameServer::onPriceTick()
{
    // The stream keeps its average rate however late a tick comes, but a stalled server
    // does not try to catch up on more than half a second.
    const qint64 elapsed = now() - m_priceStartedAt;
    qint64 due = static_cast<qint64>(std::floor(m_options.rate * static_cast<double>(elapsed) / 1000.0)) - m_pricesSent;
    const qint64 cap = std::max<qint64>(1, static_cast<qint64>(m_options.rate / 2));
    if (due > cap) {
        m_pricesSent += due - cap;
        due = cap;
    }
    for (qint64 i = 0; i < std::max<qint64>(due, 0); ++i) {
        const PriceSimulator::Update u = m_simulator.step();
        m_engine->onQuote(u.index, u.after);
        const QByteArray text = msg::priceChange(u.index + 1, u.before, u.after, u.full);
        if (text.isEmpty())
            continue;
        m_batch.append(FrameStart);
        m_batch.append(text);
        m_batch.append(FrameEnd);
        ++m_batchFrames;
    }
    if (due > 0) {
        m_pricesSent += due;
        scheduleFlush();
    }
    fanOut();
}

int GameServer::fanoutIntervalMs(int playing)
{
    const qint64 wanted = static_cast<qint64>(playing) * 1000 / kFanoutWritesPerSecond;
    return static_cast<int>(std::clamp<qint64>(wanted, kPriceTickMs, kMaxFanoutMs));
}

void GameServer::fanOut()
{
    const qint64 t = now();
    if (m_batchFrames == 0 || t - m_fannedOutAt + kPriceTickMs / 2 < fanoutIntervalMs(playingCount()))
        return;
    m_fannedOutAt = t;
    // Every queue holds the same block; the next ticks write into a new one.
    m_sweep.publish(std::exchange(m_batch, {}), std::exchange(m_batchFrames, 0));
    if (!m_sweep.sweeping())
        startSweep();
}

void GameServer::startSweep()
{
    m_sweep.start();
    // The first step at once: a game of a few hundred has its block before anything else
    // happens, so an answer that lists the prices never comes ahead of the block.
    sweepStep();
}

void GameServer::sweepStep()
{
    const qint64 t = now();
    const bool more = m_sweep.step(kReceiversPerStep, [&](Session* s, const PriceSweep<Session>::Block& b) {
        m_maxQueued = std::max(m_maxQueued, s->sendPrices(b.frames, b.count, b.number, t));
    });
    if (more)
        QMetaObject::invokeMethod(this, &GameServer::sweepStep, Qt::QueuedConnection);
    else if (m_sweep.behind())
        startSweep();
}

void GameServer::onHousekeeping()
{
    if (m_options.closeTime) {
        const QDateTime wall = QDateTime::currentDateTime();
        const qint32 today = dayNumber(wall.date());
        if (m_engine->tradingDay() < today || (m_engine->tradingDay() == today && wall.time() >= *m_options.closeTime))
            dailyClose();
    }
    const qint64 t = now();
    if (t - m_quotesStoredAt >= kQuotesEveryMs) {
        storeQuotes();
        scheduleFlush();
    }
    if (t - m_blockCheckedAt >= kBlockCheckMs)
        dropBlocked();
    m_log.flush(t);
    flushRepeated();
    const std::vector<Session*> sessions = m_sessions;
    for (Session* s : sessions) {
        if (s->queuedSince() >= 0 && t - s->queuedSince() > m_options.sendStallMs
            && (s->playing() || s->stage() == Session::Stage::Closing)) {
            // A client that stops reading holds its queue (and the system's buffers) for
            // nothing; prices are skipped for it, but only closing ends what it holds.
            ++m_metrics.droppedFullQueue;
            s->abort(QStringLiteral("send queue of %1 bytes not drained for %2 ms; the client stopped reading")
                         .arg(s->queuedBytes())
                         .arg(t - s->queuedSince()));
            continue;
        }
        if (s->stage() == Session::Stage::Closing)
            continue;
        s->flushLog(t);
        if (!s->playing()) {
            if (t - s->connectedAt() > loginTimeoutMs())
                s->abort(QStringLiteral("no login within %1 s").arg(m_options.loginTimeoutSeconds));
            else if (s->stage() != Session::Stage::Checking && t - s->connectedAt() > m_options.loginSilenceMs)
                // A client answers at once; one that has not asked to log in by now holds
                // a waiting place for nothing.
                s->abort(QStringLiteral("no login request within %1 ms").arg(m_options.loginSilenceMs));
            else if (s->stage() == Session::Stage::Checking && t - s->lastSentAt() >= kKeepaliveMs)
                s->send(msg::kKeepalive); // a slow check or a login delay must not look like a dead server
            continue;
        }
        if (t - s->lastHeartbeatAt() >= kHeartbeatLineMs)
            s->sendHeartbeat();
        else if (t - s->lastSentAt() >= kKeepaliveMs)
            s->send(msg::kKeepalive);
    }
}

void GameServer::logStats()
{
    const qint64 t = now();
    const double seconds = std::max<qint64>(1, t - m_statsFrom) / 1000.0;
    int playing = 0;
    for (Session* s : m_sessions) {
        if (s->playing())
            ++playing;
    }
    logLine(QStringLiteral("stats: connections %1, playing %2, frames out %3/s, bytes out %4/s, largest send queue %5 bytes,"
                           " longest wait for a write %6 ms")
                .arg(m_sessions.size())
                .arg(playing)
                .arg(static_cast<qint64>(m_framesOut / seconds))
                .arg(static_cast<qint64>(m_bytesOut / seconds))
                .arg(m_maxQueued)
                .arg(m_transport->takeLongestWriteWait()));
    m_framesOut = 0;
    m_bytesOut = 0;
    m_maxQueued = 0;
    m_statsFrom = t;
}

QByteArray GameServer::closeTimeText() const
{
    return m_options.closeTime ? m_options.closeTime->toString(QStringLiteral("HH:mm")).toLatin1() : QByteArray("-");
}

int GameServer::playingCount() const
{
    // Every logged-in connection until it ended; kept up to date at each login and end, so
    // a request for the count costs the same however many play.
    return static_cast<int>(m_byParticipant.size());
}

void GameServer::loggedIn(Session* session)
{
    ++m_metrics.logins;
    forgetNotPlaying(session);
    // Prices from the next block on; the greeting carries the prices of now.
    m_sweep.add(session);
    const qint64 id = session->participant().id;
    // A participant holds a few connections at most. The newest wins: a client that comes
    // back after a network change must get in even while its old connection still looks open.
    std::vector<Session*> own;
    for (Session* s : m_byParticipant.values(id)) {
        if (s != session && s->stage() != Session::Stage::Closing)
            own.push_back(s);
    }
    std::sort(own.begin(), own.end(), [](const Session* a, const Session* b) { return a->number() < b->number(); });
    const int over = static_cast<int>(own.size()) + 1 - m_options.maxConnectionsPerParticipant;
    for (int i = 0; i < over; ++i)
        own[static_cast<size_t>(i)]->abort(QStringLiteral("replaced by a newer login of the participant (at most %1 connections at once)")
                                               .arg(m_options.maxConnectionsPerParticipant));
    m_byParticipant.insert(id, session);
    m_engine->addParticipant(session->participant());
    m_chat->join(session);
}

void GameServer::forgetNotPlaying(Session* session)
{
    const auto it = std::find(m_notPlaying.begin(), m_notPlaying.end(), session);
    if (it != m_notPlaying.end()) {
        *it = m_notPlaying.back();
        m_notPlaying.pop_back();
    }
}

void GameServer::executed(const Execution& e)
{
    ++m_metrics.fills;
    m_chat->execution(e);
}

ServerMetrics GameServer::metricsNow() const
{
    ServerMetrics m = m_metrics;
    m.priceMessages = m_pricesSent;
    m.connections = static_cast<int>(m_sessions.size());
    m.loggedIn = playingCount();
    for (const Session* s : m_sessions)
        m.largestSendQueue = std::max(m.largestSendQueue, s->queuedBytes());
    return m;
}

void GameServer::toParticipant(qint64 participant, QByteArray message)
{
    if (message.startsWith("@OO="))
        ++m_metrics.ordersAccepted;
    else if (message.startsWith("@OR="))
        ++m_metrics.ordersRefused;
    if (!m_byParticipant.contains(participant))
        return; // not connected: the login brings everything anyway
    QByteArray& held = m_held[participant];
    if (held.size() + message.size() + 2 > kMaxSendQueueBytes) {
        // Only a store that cannot commit for long lets this pile up. The participant's
        // connections go; its next login brings everything from the engine.
        m_held.remove(participant);
        const auto sessions = m_byParticipant.values(participant);
        for (Session* s : sessions)
            s->dropLater(QStringLiteral("trading messages over %1 bytes wait for the store").arg(kMaxSendQueueBytes));
        return;
    }
    held.append(FrameStart);
    held.append(message);
    held.append(FrameEnd);
    scheduleFlush();
}

void GameServer::sendAfterCommit(Session* session, QByteArray message) { session->holdFrames(frame(message)); }

void GameServer::holdFor(Session* session) { m_heldSessions.emplace_back(session); }

void GameServer::scheduleFlush()
{
    if (!m_flushTimer.isActive())
        m_flushTimer.start(m_storeFailing ? 500 : 0);
}

void GameServer::flush()
{
    QString error;
    QElapsedTimer commitTime;
    commitTime.start();
    const bool committed = m_tradeStore.commit(error);
    m_metrics.lastCommitSeconds = double(commitTime.nsecsElapsed()) / 1e9;
    m_metrics.commitSeconds += m_metrics.lastCommitSeconds;
    ++m_metrics.commits;
    if (!committed) {
        // Nothing is confirmed that is not stored; the messages wait for the next try.
        if (!m_storeFailing)
            logLine(QStringLiteral("cannot store the trading records, retrying: %1").arg(error));
        m_storeFailing = true;
        scheduleFlush();
        return;
    }
    if (m_storeFailing)
        logLine(QStringLiteral("trading records stored again"));
    m_storeFailing = false;
    const QHash<qint64, QByteArray> held = std::exchange(m_held, {});
    for (auto it = held.begin(); it != held.end(); ++it) {
        const auto sessions = m_byParticipant.values(it.key());
        for (Session* s : sessions)
            s->sendFramed(it.value());
    }
    m_chat->flushTrades();
    const auto forSessions = std::exchange(m_heldSessions, {});
    for (const QPointer<Session>& session : forSessions) {
        if (session)
            session->releaseHeld();
    }
}

void GameServer::onRankings()
{
    const std::vector<QByteArray> winners = m_engine->updateRankings();
    const qint64 t = now();
    if (!winners.empty() && winners != m_lastWinners && (m_winnersSentAt < 0 || t - m_winnersSentAt >= kWinnersMs)) {
        m_lastWinners = winners;
        m_winnersSentAt = t;
        const QByteArray frames = frame(msg::winnersLosers(winners));
        for (Session* s : m_sessions) {
            if (s->playing())
                s->sendFramed(frames, Lane::Bulk);
        }
    }
    scheduleFlush();
}

void GameServer::setQuote(int index, const PriceState& quote)
{
    if (index < 0 || index >= m_simulator.count())
        return;
    const PriceSimulator::Update u = m_simulator.setQuote(index, quote);
    // Goes out with the next block of prices, as any change of the market.
    m_batch.append(frame(msg::fullPrice(index + 1, u.after)));
    ++m_batchFrames;
    m_engine->onQuote(index, u.after);
    scheduleFlush();
}

void GameServer::dailyClose()
{
    m_engine->dailyClose();
    for (Session* s : m_sessions) {
        if (s->playing())
            sendAfterCommit(s, m_engine->placeInfoMessage(s->participant().id));
    }
    scheduleFlush();
}

} // namespace korvi::server
