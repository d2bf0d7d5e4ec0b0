#include "session.h"

#include "catalogue.h"
#include "chatservice.h"
#include "dates.h"
#include "gameserver.h"
#include "messages.h"
#include "fields.h"
#include "numbers.h"
#include "serverlog.h"

#include <QTime>
#include <QTimer>
#include <cmath>

namespace korvi::server {

namespace {

// At most this much is read from the socket at a time, so a burst of many small frames
// never looks like one oversized frame to the receive buffer.
constexpr qint64 kReadChunk = 64 * 1024;
// Reads in one event at most, when no complete message has come yet.
constexpr int kReadsPerEvent = 4;
// A login that found the password checkers' queue full asks again after this long.
constexpr int kCheckRetryMs = 200;

// A piece of client text fit for one log line (control bytes are escaped by the log).
QString printable(QByteArrayView text)
{
    const QString out = QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 80)));
    return text.size() > 80 ? out + QStringLiteral("...") : out;
}

} // namespace

msg::AccountLine accountLineOf(const Participant& p)
{
    msg::AccountLine a;
    a.accountStart = p.accountStart;
    a.accountText = p.accountText;
    a.accountFigure3 = p.accountFigure3;
    a.baseValue = p.baseValue;
    a.todayResult = p.todayResult;
    a.totalPlace = p.totalPlace;
    a.dayPlace = p.dayPlace;
    a.totalMargin = p.totalMargin;
    return a;
}

std::vector<QByteArray> welcomeSequence(const Participant& p, const std::vector<InstrumentSpec>& definitions,
                                        const std::vector<PriceState>& quotes, const TradingEngine* engine)
{
    std::vector<QByteArray> out = {
        msg::codeTable(definitions),
        msg::welcome(p.name),
        msg::userData(p.shortId),
        msg::level(p.level),
        msg::lastOrderId(engine ? engine->figures(p.id).lastOrderId : p.lastOrderId),
        msg::instruments(definitions, quotes),
    };
    if (engine) {
        for (QByteArray& m : engine->loginMessages(p.id))
            out.push_back(std::move(m));
    } else {
        out.push_back(msg::allOrders({}));
        out.push_back(msg::allExecutions({}));
        out.push_back(msg::account(accountLineOf(p)));
        out.push_back(msg::positions(p.todayResult, p.baseValue, {}));
        out.push_back(msg::places(p.totalPlace, p.dayPlace, p.totalMargin));
    }
    out.push_back(msg::kRequestVersion.toByteArray());
    return out;
}

Session::Session(std::shared_ptr<Connection> connection, quint64 number, GameServer& server)
    : m_connection(std::move(connection)), m_number(number), m_server(server), m_buffer(GameServer::kMaxFrameBytes)
{
    m_connection->setListener(this);
    m_connectedAt = m_lastSentAt = m_lastHeartbeatAt = server.now();
    m_address = m_connection->peerAddress();
    logEvent(QStringLiteral("connected"), QStringLiteral("%1 connected from %2:%3").arg(who(), m_address).arg(m_connection->peerPort()));
    send(msg::kIdentify);
    // A client may have gone again before we saw it. Otherwise the first read comes after
    // the server took the session on; it finds what came meanwhile and waits for the rest.
    if (!m_connection->isOpen())
        QMetaObject::invokeMethod(this, &Session::onDisconnected, Qt::QueuedConnection);
    else
        QMetaObject::invokeMethod(this, &Session::connectionReadable, Qt::QueuedConnection);
}

Session::~Session()
{
    m_connection->detach();
    if (m_checkCancelled)
        *m_checkCancelled = true;
}

QString Session::who() const
{
    if (!m_participant.name.isEmpty())
        return QStringLiteral("#%1 %2").arg(m_number).arg(QString::fromLatin1(m_participant.name));
    return QStringLiteral("#%1").arg(m_number);
}

qint64 Session::queuedBytes() const { return m_connection->queuedBytes(); }

void Session::send(QByteArrayView message)
{
    sendFramed(frame(message));
}

void Session::sendFramed(const QByteArray& frames, Lane lane)
{
    if (m_stage == Stage::Closing || !m_connection->isOpen())
        return;
    if (m_greetingHeld) {
        // Nothing goes before the greeting.
        holdFrames(frames);
        return;
    }
    write(frames, frames.count(FrameEnd), lane, m_server.now());
}

bool Session::write(const QByteArray& frames, qint64 frameCount, Lane lane, qint64 now)
{
    // Requests are answered whether or not the client reads; a queue past the ceiling
    // means it asks faster than it reads, and only dropping it keeps the memory bounded.
    if (queuedBytes() + m_heldBytes + frames.size() > GameServer::kMaxSendQueueBytes) {
        dropLater(QStringLiteral("send queue over %1 bytes (%2 waiting, %3 held, %4 more to send); the client asks faster than it reads")
                      .arg(GameServer::kMaxSendQueueBytes)
                      .arg(queuedBytes())
                      .arg(m_heldBytes)
                      .arg(frames.size()));
        return false;
    }
    m_connection->send(frames, lane);
    m_lastSentAt = now;
    m_server.countSent(frameCount, frames.size());
    return true;
}

qint64 Session::sendPrices(const QByteArray& frames, int frameCount, quint64 block, qint64 now)
{
    // Until the greeting goes out, it is built later with the prices of then. A block that
    // is older than the full prices sent after a pause would only take them back.
    if (m_stage != Stage::Playing || m_greetingHeld || !m_connection->isOpen() || block <= m_fullPricesThrough)
        return 0;
    const qint64 queued = queuedBytes();
    if (queued > GameServer::kMaxQueuedBytes) {
        if (!m_pricesPaused)
            note(QStringLiteral("behind"), QStringLiteral("cannot keep up with the prices; skipping until its queue drains"));
        m_pricesPaused = true;
        return queued;
    }
    if (m_pricesPaused) {
        // This block was built on prices the participant has not seen; the full prices of
        // now replace it and every block published so far.
        m_pricesPaused = false;
        m_fullPricesThrough = m_server.newestPriceBlock();
        const std::vector<PriceState> quotes = m_server.quotes();
        QByteArray full;
        for (size_t i = 0; i < quotes.size(); ++i)
            full += frame(msg::fullPrice(static_cast<int>(i) + 1, quotes[i]));
        sendFramed(full, Lane::Bulk);
        return queued;
    }
    write(frames, frameCount, Lane::Bulk, now);
    return queued;
}

void Session::sendHeartbeat()
{
    sendFramed(frame(msg::kHeartbeatLine), Lane::Bulk);
    m_lastHeartbeatAt = m_server.now();
}

void Session::close(const QString& reason)
{
    if (m_stage == Stage::Closing)
        return;
    logEvent(QStringLiteral("closing"), QStringLiteral("%1 closing: %2").arg(who(), reason));
    m_stage = Stage::Closing;
    m_connection->closeAfterSending();
}

void Session::abort(const QString& reason)
{
    if (m_finished)
        return;
    logEvent(QStringLiteral("dropped"), QStringLiteral("%1 dropped: %2").arg(who(), reason));
    m_stage = Stage::Closing;
    m_connection->abort();
    onDisconnected();
}

void Session::dropLater(const QString& reason)
{
    // Every caller drops a client that asks faster than it reads.
    ++m_server.metrics().droppedFullQueue;
    if (m_stage == Stage::Closing || m_finished)
        return;
    logEvent(QStringLiteral("dropped"), QStringLiteral("%1 dropped: %2").arg(who(), reason));
    m_stage = Stage::Closing;
    QMetaObject::invokeMethod(this, [this] {
        m_connection->abort();
        onDisconnected();
    }, Qt::QueuedConnection);
}

void Session::onDisconnected()
{
    if (m_finished)
        return;
    m_finished = true;
    m_stage = Stage::Closing;
    if (m_checkCancelled)
        *m_checkCancelled = true;
    m_log.flush(m_server.now(), true);
    m_held.clear();
    m_heldBytes = 0;
    logEvent(QStringLiteral("disconnected"), QStringLiteral("%1 disconnected").arg(who()));
    emit finished(this);
}

void Session::connectionClosed(const QString& reason)
{
    if (m_stage != Stage::Closing && reason != QLatin1String("closed"))
        note(QStringLiteral("socket error"), QStringLiteral("connection ended: %1").arg(reason));
    onDisconnected();
}

void Session::connectionReadable()
{
    // A turn already queued goes on with what came; two in one pass would double the share.
    if (!m_pumpQueued)
        pump();
}

void Session::receive(QByteArrayView bytes)
{
    if (m_stage == Stage::Closing || m_finished)
        return; // nothing more is listened to
    if (!m_buffer.append(bytes)) {
        abort(QStringLiteral("frame larger than %1 bytes").arg(GameServer::kMaxFrameBytes));
        return;
    }
    if (!m_pumpQueued)
        pump();
}

void Session::pump()
{
    const auto listening = [this] { return !m_finished && m_stage != Stage::Closing && m_stage != Stage::Checking; };
    int budget = kMessagesPerEvent;
    int reads = kReadsPerEvent;
    bool drained = false;
    QByteArrayView message;
    // One buffer for the reads of every connection: the bytes are copied into the
    // connection's own receive buffer at once.
    static thread_local QByteArray chunk;
    while (listening()) {
        if (budget > 0 && m_buffer.next(message)) {
            --budget;
            ++m_handled;
            handle(message);
            continue;
        }
        // Nothing complete is buffered (or this event's share is used up): read on only
        // while the share lasts.
        if (budget == 0 || reads == 0 || drained)
            break;
        --reads;
        const Connection::ReadResult got = m_connection->read(chunk, kReadChunk);
        if (got == Connection::ReadResult::Nothing) {
            drained = true;
            break;
        }
        if (got == Connection::ReadResult::Closed) {
            onDisconnected();
            return;
        }
        if (!m_buffer.append(chunk)) {
            abort(QStringLiteral("frame larger than %1 bytes").arg(GameServer::kMaxFrameBytes));
            return;
        }
        drained = m_connection->waitingForData();
    }
    m_buffer.compact();
    if (!listening() || m_pumpQueued)
        return;
    if ((budget == 0 || reads == 0) && (m_buffer.pending() > 0 || !drained)) {
        // The rest comes in a later turn of the event loop, after the prices and the
        // other connections had theirs.
        m_pumpQueued = true;
        QMetaObject::invokeMethod(this, [this] {
            m_pumpQueued = false;
            pump();
        }, Qt::QueuedConnection);
    }
}

void Session::note(const QString& kind, const QString& text)
{
    m_log.line(kind, QStringLiteral("%1 %2").arg(who(), text), m_server.now());
}

void Session::logEvent(const QString& kind, const QString& text) { m_server.logEvent(kind + u' ' + m_address, text); }

void Session::holdAnswer(Answer answer, qint32 day)
{
    for (const Held& h : m_held) {
        if (h.frames.isEmpty() && h.answer == answer && h.day == day)
            return; // the answer still waits; it will show the state of its sending
    }
    if (m_held.size() >= kMaxHeldAnswers) {
        dropLater(QStringLiteral("more than %1 answers waiting; the client asks faster than it reads").arg(kMaxHeldAnswers));
        return;
    }
    m_held.push_back(Held{answer, day, {}});
    registerHeld();
}

void Session::holdFrames(QByteArray frames)
{
    if (m_stage == Stage::Closing || m_finished)
        return;
    if (queuedBytes() + m_heldBytes + frames.size() > GameServer::kMaxSendQueueBytes) {
        dropLater(QStringLiteral("send queue over %1 bytes (%2 waiting, %3 held, %4 more to hold); the client asks faster than it reads")
                      .arg(GameServer::kMaxSendQueueBytes)
                      .arg(queuedBytes())
                      .arg(m_heldBytes)
                      .arg(frames.size()));
        return;
    }
    m_heldBytes += frames.size();
    m_held.push_back(Held{Answer::AllOrders, 0, std::move(frames)});
    registerHeld();
}

void Session::registerHeld()
{
    if (!m_heldRegistered) {
        m_heldRegistered = true;
        m_server.holdFor(this);
    }
    m_server.scheduleFlush();
}

void Session::releaseHeld()
{
    m_heldRegistered = false;
    m_greetingHeld = false;
    const std::vector<Held> held = std::exchange(m_held, {});
    m_heldBytes = 0;
    const qint64 id = m_participant.id;
    const TradingEngine& engine = m_server.engine();
    for (const Held& h : held) {
        if (m_stage == Stage::Closing || m_finished)
            return;
        if (!h.frames.isEmpty()) {
            sendFramed(h.frames);
            continue;
        }
        switch (h.answer) {
        case Answer::AllOrders:
            send(engine.allOrdersMessage(id));
            break;
        case Answer::OpenOrders:
            send(engine.openOrdersMessage(id));
            break;
        case Answer::AllExecutions:
            send(engine.allExecutionsMessage(id));
            break;
        case Answer::Account:
            send(engine.accountMessage(id));
            break;
        case Answer::Info:
            send(msg::systemInfo(engine.systemInfoLines(m_server.playingCount(), m_server.closeTimeText())));
            break;
        case Answer::Statement:
            send(engine.statementMessage(id, h.day));
            break;
        case Answer::Greeting: {
            QByteArray frames;
            for (const QByteArray& m : welcomeSequence(m_participant, m_server.definitions(), m_server.quotes(), &engine))
                frames += frame(m);
            sendFramed(frames);
            break;
        }
        }
    }
}

void Session::handle(QByteArrayView message)
{
    if (m_stage == Stage::Playing) {
        handleRequest(message);
        return;
    }
    // Before the login only the two login replies count; the client sends them as
    // answers to "!;ID" and "!;USER".
    if (m_stage == Stage::Checking)
        return; // not reached: the buffer holds what comes while the password is checked
    if (message.startsWith(kIdentifyReply)) {
        m_announcedName = message.sliced(kIdentifyReply.size()).toByteArray();
        if (m_stage == Stage::Identify) {
            m_stage = Stage::Login;
            send(msg::kAskUser);
        }
        return;
    }
    const CommandParts parts = splitCommand(message);
    if (lookupCommand(parts.word) == Cmd::Login) {
        handleLogin(parts.body);
        return;
    }
    note(QStringLiteral("early"), QStringLiteral("sent before logging in, ignored: %1").arg(printable(message)));
}

void Session::handleLogin(QByteArrayView body)
{
    const qsizetype cut = body.indexOf('%');
    m_loginName = (cut < 0 ? body : body.first(cut)).toByteArray();
    m_loginPassword = cut < 0 ? QByteArray() : body.sliced(cut + 1).toByteArray();
    m_stage = Stage::Checking;
    const std::optional<QByteArray> stored = m_server.store().passwordHash(m_loginName);
    // A password the operator set since the name's failures gets in without their wait.
    if (stored)
        m_server.notePasswordHash(m_loginName, *stored);
    // A password this server found right before, against the hash stored now, needs no
    // new hash and no wait, whatever others guess meanwhile.
    if (stored && m_server.passwords().knownRight(m_loginName, m_loginPassword, *stored)) {
        m_loginPassword.clear();
        // After the current receive step, as a worker's answer would come.
        QMetaObject::invokeMethod(this, [this] { finishLogin(true, PasswordChecker::Result{true, {}}); },
                                  Qt::QueuedConnection);
        return;
    }
    const LoginGuard::Admission admission = m_server.guard().admit(m_loginName, m_address, m_server.now());
    if (admission.refused) {
        logEvent(QStringLiteral("refused"), QStringLiteral("%1 login for '%2' from %3 refused: too many attempts waiting after %4 attempts")
                                                .arg(who(), printable(m_loginName), m_address)
                                                .arg(admission.attempts));
        m_loginPassword.clear();
        close(QStringLiteral("too many login attempts"));
        return;
    }
    if (admission.waitMs <= 0) {
        startCheck();
        return;
    }
    logEvent(QStringLiteral("waits"), QStringLiteral("%1 login for '%2' from %3 waits %4 ms after %5 attempts (%6 names failed from there)")
                .arg(who(), printable(m_loginName), m_address)
                .arg(admission.waitMs)
                .arg(admission.attempts)
                .arg(admission.guessedNames));
    QTimer::singleShot(admission.waitMs, this, &Session::startCheck);
}

void Session::startCheck()
{
    if (m_stage != Stage::Checking)
        return;
    const std::optional<QByteArray> stored = m_server.store().passwordHash(m_loginName);
    m_checkCancelled = std::make_shared<std::atomic_bool>(false);
    const bool known = stored.has_value();
    // The password travels to the worker; the session keeps no copy of it once the check
    // is queued.
    if (!m_server.passwords().check(m_loginName, m_loginPassword, known ? *stored : m_server.store().dummyHash(),
                                    m_server.options().hashIterations, m_checkCancelled,
                                    [this, known](const PasswordChecker::Result& result) { finishLogin(known, result); })) {
        // Every worker is busy with a long queue: the login waits its turn here.
        QTimer::singleShot(kCheckRetryMs, this, &Session::startCheck);
        return;
    }
    m_loginPassword.clear();
}

void Session::refuseLogin()
{
    ++m_server.metrics().failedLogins;
    const int failures = m_server.guard().failed(m_loginName, m_address, m_server.now());
    logEvent(QStringLiteral("refused"), QStringLiteral("%1 login refused for '%2' from %3: wrong name or password (%4 failed in a row)")
                .arg(who(), printable(m_loginName), m_address)
                .arg(failures));
    send(msg::kWrongPassword);
    // The client asks its user for new credentials and connects anew.
    close(QStringLiteral("wrong name or password"));
}

void Session::finishLogin(bool known, const PasswordChecker::Result& result)
{
    if (m_stage != Stage::Checking)
        return;
    // Read again after the check: the participant may have been blocked meanwhile.
    const std::optional<Participant> found = known && result.ok ? m_server.store().find(m_loginName) : std::nullopt;
    if (!found) {
        refuseLogin();
        return;
    }
    m_server.guard().succeeded(m_loginName, m_address);
    if (!result.upgradedHash.isEmpty()) {
        QString error;
        if (m_server.store().setPasswordHash(found->id, result.upgradedHash, error))
            logLine(QStringLiteral("%1 password hash of '%2' renewed with %3 rounds")
                        .arg(who(), printable(m_loginName))
                        .arg(m_server.options().hashIterations));
        else
            logLine(QStringLiteral("%1 cannot renew the password hash: %2").arg(who(), error));
    }
    if (found->blocked) {
        logEvent(QStringLiteral("refused"), QStringLiteral("%1 login refused for '%2': blocked").arg(who(), printable(m_loginName)));
        send(msg::kBlocked);
        close(QStringLiteral("participant blocked"));
        return;
    }
    const Participant& p = *found;
    m_participant = p;
    m_stage = Stage::Playing;
    logEvent(QStringLiteral("logged in ") + QString::fromLatin1(p.shortId),
             QStringLiteral("%1 logged in (%2)").arg(who(), QString::fromLatin1(p.shortId)));
    m_server.loggedIn(this);
    // What the engine holds is committed first, so the greeting shows nothing a crash
    // could still take back; the logins of one turn share that commit. Until then nothing
    // else goes out to this connection.
    holdAnswer(Answer::Greeting);
    m_greetingHeld = true;
    m_lastHeartbeatAt = m_server.now();
    // What the client sent while its password was checked is handled now.
    if (!m_pumpQueued)
        pump();
}

void Session::handleRequest(QByteArrayView message)
{
    const CommandParts parts = splitCommand(message);
    const qint64 id = m_participant.id;
    if (m_server.options().testControl && handleTestControl(parts))
        return;
    const std::optional<Cmd> cmd = message.startsWith('@') ? lookupCommand(parts.word) : std::nullopt;
    if (!cmd) {
        note(QStringLiteral("unknown"), QStringLiteral("unknown message ignored: %1").arg(printable(message)));
        return;
    }
    switch (*cmd) {
    case Cmd::Keepalive:
    case Cmd::Heartbeat:
        return;
    case Cmd::RequestAll:
        holdAnswer(Answer::AllOrders);
        return;
    case Cmd::RequestOpenOrders:
        holdAnswer(Answer::OpenOrders);
        return;
    case Cmd::RequestAllExecutions:
        holdAnswer(Answer::AllExecutions);
        return;
    case Cmd::InstrumentRequest:
        send(msg::instruments(m_server.definitions(), m_server.quotes()));
        return;
    case Cmd::TimeGet:
        send(msg::serverTime(QTime::currentTime()));
        return;
    case Cmd::GetUserKonto:
        holdAnswer(Answer::Account);
        return;
    case Cmd::RequestInfo:
        holdAnswer(Answer::Info);
        return;
    case Cmd::SendVersion:
        m_clientVersion = parts.body.first(std::min<qsizetype>(parts.body.size(), 64)).toByteArray();
        note(QStringLiteral("version"), QStringLiteral("runs client version %1").arg(printable(parts.body)));
        m_server.versionReported(this);
        return;
    case Cmd::VersionKnown:
        note(QStringLiteral("versionknown"), QStringLiteral("version report complete (%1)").arg(printable(parts.body)));
        return;
    case Cmd::PlaceOrder:
        m_server.engine().placeOrder(id, parts.body);
        m_server.scheduleFlush();
        return;
    case Cmd::CancelOrder:
        m_server.engine().cancelOrder(id, parts.body);
        m_server.scheduleFlush();
        return;
    case Cmd::BracketMain:
        m_server.engine().makeBracketMain(id, parts.body);
        m_server.scheduleFlush();
        return;
    case Cmd::BracketQuery:
        m_server.engine().bracketQuery(id, parts.body);
        m_server.scheduleFlush();
        return;
    case Cmd::Chat:
    case Cmd::ChatChannel:
    case Cmd::ChatTo:
    case Cmd::RequestChatUsers:
        m_server.chat().handle(this, *cmd, parts.body);
        return;
    case Cmd::GetKontoauszug: {
        const std::optional<qint32> day = toInt32(readNumber(parts.body));
        if (!day || *day < 1 || *day > 2958465) { // up to 31 December 9999
            note(QStringLiteral("badday"), QStringLiteral("statement request for an impossible day: %1").arg(printable(parts.body)));
            return;
        }
        holdAnswer(Answer::Statement, *day);
        return;
    }
    default:
        note(QStringLiteral("unserved"), QStringLiteral("message not served: %1").arg(printable(message)));
        return;
    }
}

bool Session::handleTestControl(const CommandParts& parts)
{
    if (parts.word == "@TESTCLOSE") {
        logLine(QStringLiteral("%1 asks for the daily close").arg(who()));
        m_server.dailyClose();
        return true;
    }
    if (parts.word == "@TESTQUOTE") {
        Fields f;
        f.split(parts.body, 10, ';');
        const std::optional<qint32> number = toInt32(readNumber(f[1]));
        PriceState q;
        q.last = readNumber(f[2]);
        q.bid = readNumber(f[3]);
        q.ask = readNumber(f[4]);
        q.bidSize = toInt32(readNumber(f[5])).value_or(1);
        q.askSize = toInt32(readNumber(f[6])).value_or(1);
        const bool sane = std::isfinite(q.last) && std::isfinite(q.bid) && std::isfinite(q.ask) && q.last > 0
                          && q.bid > 0 && q.ask > 0 && q.last < 1e9 && q.bid < 1e9 && q.ask < 1e9;
        if (number && sane)
            m_server.setQuote(*number - 1, q);
        return true;
    }
    return false;
}

} // namespace korvi::server
