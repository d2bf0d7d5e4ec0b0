#include "session.h"

#include "catalogue.h"
#include "dates.h"
#include "gameserver.h"
#include "messages.h"
#include "fields.h"
#include "numbers.h"
#include "serverlog.h"

#include <QTcpSocket>
#include <QTime>
#include <cmath>

namespace korvi::server {

namespace {

// At most this much is read from the socket at a time, so a burst of many small frames
// never looks like one oversized frame to the receive buffer.
constexpr qint64 kReadChunk = 64 * 1024;

// A piece of client text fit for one log line.
QString printable(QByteArrayView text)
{
    QString out = QString::fromLatin1(text.first(std::min<qsizetype>(text.size(), 80)));
    for (QChar& c : out) {
        if (c.unicode() < 0x20)
            c = QLatin1Char('.');
    }
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

Session::Session(QTcpSocket* socket, quint64 number, GameServer& server)
    : m_socket(socket), m_number(number), m_server(server), m_buffer(GameServer::kMaxFrameBytes)
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connectedAt = m_lastSentAt = m_lastHeartbeatAt = server.now();
    connect(m_socket, &QTcpSocket::readyRead, this, &Session::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &Session::onDisconnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &Session::written);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            logLine(QStringLiteral("%1 socket error: %2").arg(who(), m_socket->errorString()));
    });
    logLine(QStringLiteral("%1 connected from %2:%3").arg(who(), m_socket->peerAddress().toString()).arg(m_socket->peerPort()));
    send(msg::kIdentify);
    // A client may have gone again before we saw it.
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        QMetaObject::invokeMethod(this, &Session::onDisconnected, Qt::QueuedConnection);
}

QString Session::who() const
{
    if (!m_participant.name.isEmpty())
        return QStringLiteral("#%1 %2").arg(m_number).arg(QString::fromLatin1(m_participant.name));
    return QStringLiteral("#%1").arg(m_number);
}

qint64 Session::queuedBytes() const { return m_socket->bytesToWrite(); }

void Session::send(QByteArrayView message)
{
    sendFramed(frame(message));
}

void Session::sendFramed(const QByteArray& frames)
{
    if (m_stage == Stage::Closing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(frames);
    m_lastSentAt = m_server.now();
    m_server.countSent(frames.count(FrameEnd), frames.size());
}

void Session::sendPrices(const QByteArray& frames, int frameCount)
{
    if (m_stage != Stage::Playing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_socket->bytesToWrite() > GameServer::kMaxQueuedBytes) {
        if (!m_pricesPaused)
            logLine(QStringLiteral("%1 cannot keep up with the prices; skipping until its queue drains").arg(who()));
        m_pricesPaused = true;
        return;
    }
    if (m_pricesPaused) {
        // This block was built on prices the participant has not seen; the full prices of
        // now replace it.
        m_pricesPaused = false;
        const std::vector<PriceState> quotes = m_server.quotes();
        QByteArray full;
        for (size_t i = 0; i < quotes.size(); ++i)
            full += frame(msg::fullPrice(static_cast<int>(i) + 1, quotes[i]));
        sendFramed(full);
        return;
    }
    m_socket->write(frames);
    m_lastSentAt = m_server.now();
    m_server.countSent(frameCount, frames.size());
}

void Session::sendHeartbeat()
{
    send(msg::kHeartbeatLine);
    m_lastHeartbeatAt = m_server.now();
}

void Session::close(const QString& reason)
{
    if (m_stage == Stage::Closing)
        return;
    logLine(QStringLiteral("%1 closing: %2").arg(who(), reason));
    m_stage = Stage::Closing;
    m_socket->disconnectFromHost(); // sends what is queued first
}

void Session::abort(const QString& reason)
{
    if (m_finished)
        return;
    logLine(QStringLiteral("%1 dropped: %2").arg(who(), reason));
    m_stage = Stage::Closing;
    m_socket->abort();
    onDisconnected();
}

void Session::onDisconnected()
{
    if (m_finished)
        return;
    m_finished = true;
    m_stage = Stage::Closing;
    logLine(QStringLiteral("%1 disconnected").arg(who()));
    emit finished(this);
}

void Session::onReadyRead()
{
    while (m_socket->bytesAvailable() > 0 && !m_finished) {
        const QByteArray chunk = m_socket->read(kReadChunk);
        if (chunk.isEmpty())
            break;
        if (m_stage == Stage::Closing)
            continue; // nothing more is listened to
        if (!m_buffer.append(chunk)) {
            abort(QStringLiteral("frame larger than %1 bytes").arg(GameServer::kMaxFrameBytes));
            return;
        }
        QByteArrayView message;
        while (m_stage != Stage::Closing && m_buffer.next(message))
            handle(message);
        m_buffer.compact();
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
    logLine(QStringLiteral("%1 sent before logging in, ignored: %2").arg(who(), printable(message)));
}

void Session::handleLogin(QByteArrayView body)
{
    const qsizetype cut = body.indexOf('%');
    const QByteArray name = (cut < 0 ? body : body.first(cut)).toByteArray();
    const QByteArray password = cut < 0 ? QByteArray() : body.sliced(cut + 1).toByteArray();
    Participant p;
    switch (m_server.store().checkLogin(name, password, p)) {
    case ParticipantStore::Login::WrongPassword:
        logLine(QStringLiteral("%1 login refused for '%2': wrong name or password").arg(who(), printable(name)));
        send(msg::kWrongPassword);
        // The client asks its user for new credentials and connects anew.
        close(QStringLiteral("wrong name or password"));
        return;
    case ParticipantStore::Login::Blocked:
        logLine(QStringLiteral("%1 login refused for '%2': blocked").arg(who(), printable(name)));
        send(msg::kBlocked);
        close(QStringLiteral("participant blocked"));
        return;
    case ParticipantStore::Login::Ok:
        break;
    }
    m_participant = p;
    m_stage = Stage::Playing;
    logLine(QStringLiteral("%1 logged in (%2)").arg(who(), QString::fromLatin1(p.shortId)));
    m_server.loggedIn(this);
    QByteArray frames;
    for (const QByteArray& m : welcomeSequence(p, m_server.definitions(), m_server.quotes(), &m_server.engine()))
        frames += frame(m);
    // What the engine holds is committed first, so the greeting shows nothing a crash
    // could still take back.
    m_server.flushNow();
    sendFramed(frames);
    m_lastHeartbeatAt = m_server.now();
}

void Session::handleRequest(QByteArrayView message)
{
    const CommandParts parts = splitCommand(message);
    const qint64 id = m_participant.id;
    if (m_server.options().testControl && handleTestControl(parts))
        return;
    const std::optional<Cmd> cmd = message.startsWith('@') ? lookupCommand(parts.word) : std::nullopt;
    if (!cmd) {
        logLine(QStringLiteral("%1 unknown message ignored: %2").arg(who(), printable(message)));
        return;
    }
    switch (*cmd) {
    case Cmd::Keepalive:
    case Cmd::Heartbeat:
        return;
    case Cmd::RequestAll:
        m_server.sendAfterCommit(this, m_server.engine().allOrdersMessage(id));
        return;
    case Cmd::RequestOpenOrders:
        m_server.sendAfterCommit(this, m_server.engine().openOrdersMessage(id));
        return;
    case Cmd::RequestAllExecutions:
        m_server.sendAfterCommit(this, m_server.engine().allExecutionsMessage(id));
        return;
    case Cmd::InstrumentRequest:
        send(msg::instruments(m_server.definitions(), m_server.quotes()));
        return;
    case Cmd::TimeGet:
        send(msg::serverTime(QTime::currentTime()));
        return;
    case Cmd::GetUserKonto:
        m_server.sendAfterCommit(this, m_server.engine().accountMessage(id));
        return;
    case Cmd::RequestInfo:
        m_server.sendAfterCommit(this, msg::systemInfo(m_server.engine().systemInfoLines(m_server.playingCount(),
                                                                                          m_server.closeTimeText())));
        return;
    case Cmd::SendVersion:
        m_clientVersion = parts.body.first(std::min<qsizetype>(parts.body.size(), 64)).toByteArray();
        logLine(QStringLiteral("%1 runs client version %2").arg(who(), printable(parts.body)));
        m_server.versionReported(this);
        return;
    case Cmd::VersionKnown:
        logLine(QStringLiteral("%1 version report complete (%2)").arg(who(), printable(parts.body)));
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
        logLine(QStringLiteral("%1 bracket query: %2").arg(who(), printable(parts.body)));
        return;
    case Cmd::GetKontoauszug: {
        const std::optional<qint32> day = toInt32(readNumber(parts.body));
        if (!day || *day < 1 || *day > 2958465) { // up to 31 December 9999
            logLine(QStringLiteral("%1 statement request for an impossible day: %2").arg(who(), printable(parts.body)));
            return;
        }
        m_server.sendAfterCommit(this, m_server.engine().statementMessage(id, *day));
        return;
    }
    default:
        logLine(QStringLiteral("%1 message not served: %2").arg(who(), printable(message)));
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
