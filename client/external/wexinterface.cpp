#include "wexinterface.h"

#include "account/account.h"
#include "chat/messages.h"
#include "connection/connection.h"
#include "externalorders.h"
#include "framing.h"
#include "loglist.h"
#include "numbers.h"
#include "ports.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <string_view>

namespace korvi {

namespace {

// After a failed listen: who usually holds the port, and where this one is set.
QString listenHint(int port)
{
    QString hint = port > 0 && port <= 65535 ? usualPortHolderGerman(static_cast<quint16>(port)) : QString();
    if (!hint.isEmpty())
        hint = QStringLiteral(" \u2013 ") + hint;
    return hint + QStringLiteral(" \u2013 anderer Port: Einstellungszeile 22 bzw. \"Port:\" unter \"Externe "
                                 "Kontrolle Fennix\"");
}

constexpr int kClosed = 0, kListening = 2, kConnected = 7, kClosing = 8, kError = 9;
// More than this waiting to be sent to an outside program that does not read is dropped.
constexpr qint64 kMaxUnsent = 16 * 1024 * 1024;

// A protocol line shows the text without its frame characters.
QString shown(QByteArrayView text)
{
    QString s = fromWire(text);
    s.remove(QLatin1Char(FrameStart));
    s.remove(QLatin1Char(FrameEnd));
    return s;
}

QString peerText(const QTcpSocket& socket)
{
    const QHostAddress a = socket.peerAddress();
    bool v4 = false;
    const quint32 ip = a.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : a.toString();
}

// How a web browser's request begins (methods in any case), up to the longest.
constexpr std::string_view kHttpMethods[] = {"GET ", "POST ", "PUT ", "OPTIONS ", "HEAD ",
                                             "DELETE ", "PATCH ", "CONNECT ", "TRACE "};

bool startsWithNoCase(QByteArrayView text, std::string_view prefix)
{
    return text.size() >= static_cast<qsizetype>(prefix.size()) &&
           qstrnicmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// A line beginning "Host:", as every browser request carries.
bool hasHostLine(QByteArrayView bytes)
{
    for (qsizetype at = 0; at < bytes.size();) {
        if (startsWithNoCase(bytes.sliced(at), "Host:"))
            return true;
        const qsizetype lineEnd = bytes.indexOf('\n', at);
        if (lineEnd < 0)
            break;
        at = lineEnd + 1;
    }
    return false;
}

enum class Head { Undecided, Http, Other };

// What the first bytes of a connection are: a browser's request, something else, or too
// few bytes to tell yet.
Head classifyHead(QByteArrayView head)
{
    if (hasHostLine(head))
        return Head::Http;
    bool couldBe = false;
    for (const std::string_view method : kHttpMethods) {
        if (startsWithNoCase(head, method))
            return Head::Http;
        couldBe |= startsWithNoCase(QByteArrayView(method.data(), static_cast<qsizetype>(method.size())),
                                    std::string_view(head.data(), static_cast<size_t>(head.size())));
    }
    return couldBe ? Head::Undecided : Head::Other;
}

} // namespace

WexInterface::WexInterface(State& state, Connection& connection, Account& account, ExternalOrders& orders,
                           Messages& messages, Clock& clock, LogList& list1, QObject* parent)
    : QObject(parent), m_state(state), m_connection(connection), m_account(account), m_orders(orders),
      m_messages(messages), m_clock(clock), m_list1(list1)
{
    m_closeWait.setSingleShot(true);
    m_retry.setSingleShot(true);
    m_userWait.setSingleShot(true);
    setTiming(m_timing);
    connect(&m_server, &QTcpServer::newConnection, this, &WexInterface::onNewConnection);
    connect(&m_closeWait, &QTimer::timeout, this, &WexInterface::finishClose);
    connect(&m_retry, &QTimer::timeout, this, [this] { startListening(false); });
    connect(&m_userWait, &QTimer::timeout, this, [this] {
        if (m_client && !m_userOk && !m_closing)
            refuseStranger(QStringLiteral("kein USER nach %1 ms").arg(m_timing.userWaitMs));
    });
}

WexInterface::~WexInterface() { dropClient(); }

void WexInterface::setTiming(const WexTiming& timing)
{
    m_timing = timing;
    m_closeWait.setInterval(timing.closeWaitMs);
    m_retry.setInterval(timing.retryMs);
    m_userWait.setInterval(timing.userWaitMs);
}

int WexInterface::configuredPort() const { return toInt32(readNumber(m_state.settings.wexPort)).value_or(-1); }

void WexInterface::Command17_Click() { startListening(true); }

void WexInterface::startListening(bool logListen)
{
    m_retry.stop();
    m_closeWait.stop();
    m_closing = false;
    dropClient();
    m_server.close();
    m_connected = false;
    int port = configuredPort();
    // Port 0 lets the system choose; listening again keeps the port it chose.
    if (port == 0)
        port = m_chosenPort;
    if (logListen)
        m_list1.add(QStringLiteral("Listen ") + fromWire(leadingBlank(port)));
    // A permitted address on this machine needs no listening on the network.
    const QHostAddress permitted(fromWire(m_state.settings.wexIp.trimmed()));
    const QHostAddress on = permitted.isLoopback() ? QHostAddress(QHostAddress::LocalHost)
                                                   : QHostAddress(QHostAddress::AnyIPv4);
    if (port < 0 || port > 65535 || !m_server.listen(on, static_cast<quint16>(port))) {
        // A busy or refused port is tried again a little later, one line per attempt.
        m_list1.add(QStringLiteral("F:Listen ") + QString::number(port) + QLatin1Char(' ') +
                    (port < 0 || port > 65535 ? QStringLiteral("kein Port") : m_server.errorString()) +
                    listenHint(port));
        m_socketState = kError;
        m_retry.start();
        return;
    }
    m_socketState = kListening;
    if (configuredPort() == 0)
        m_chosenPort = m_server.serverPort();
}

void WexInterface::Command22_Click()
{
    m_retry.stop();
    m_closeWait.stop();
    m_closing = false;
    dropClient();
    m_server.close();
    m_connected = false;
    m_socketState = kClosed;
}

void WexInterface::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString ip = peerText(*socket);
        m_list1.add(QStringLiteral("C.REQ IP=") + ip + QStringLiteral(" ID=") + fromWire(leadingBlank(++m_requestId)));
        // The address is checked first: a program that may not connect learns nothing,
        // not even whether another one is connected.
        if (ip != fromWire(m_state.settings.wexIp.trimmed())) {
            m_list1.add(QStringLiteral("Falsche Client IP!"));
            socket->abort();
            socket->deleteLater();
        } else if (m_client) {
            // One outside program at a time; a second one is told so rather than left to
            // guess whether the client runs at all.
            m_list1.add(QStringLiteral("Besetzt: ") + ip);
            socket->setParent(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(wexFrame("BUSY"));
            socket->disconnectFromHost();
        } else {
            accept(socket);
        }
    }
}

void WexInterface::accept(QTcpSocket* socket)
{
    // While connected the socket keeps listening, only to tell further programs that the
    // interface is taken.
    m_client = socket;
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    // Closing is handled after the current handler has finished.
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onClosed(socket, false); },
            Qt::QueuedConnection);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError e) {
                onClosed(socket, e != QAbstractSocket::RemoteHostClosedError);
            },
            Qt::QueuedConnection);
    m_buffer.clear();
    m_head.clear();
    m_headKnown = false;
    m_userOk = false;
    m_connected = true;
    m_socketState = kConnected;
    m_userWait.start();
    write(wexFrame("WHOISIT"));
}

void WexInterface::dropClient()
{
    if (!m_client)
        return;
    QTcpSocket* socket = m_client;
    m_client = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
}

void WexInterface::onReadyRead(QTcpSocket* socket)
{
    const QByteArray bytes = socket->readAll();
    if (socket != m_client || m_closing)
        return;
    Wex_DataArrival(bytes);
}

void WexInterface::onClosed(QTcpSocket* socket, bool error)
{
    if (socket != m_client)
        return;
    if (m_closing) {
        finishClose();
        return;
    }
    // The outside program went away ("Wex_Close") or the socket failed ("Wex_Error"):
    // listen for the next one.
    Q_UNUSED(error);
    m_connected = false;
    startListening(true);
}

void WexInterface::Wex_DataArrival(QByteArrayView bytes)
{
    if (m_closing)
        return;
    QByteArray head;
    if (!m_userOk) {
        if (!m_headKnown) {
            // Too few bytes to tell are held back; that is never more than a method's length.
            m_head.append(bytes);
            const Head kind = classifyHead(m_head);
            if (kind == Head::Undecided)
                return;
            if (kind == Head::Http) {
                refuseStranger(QStringLiteral("HTTP-Anfrage abgewiesen: ") + shown(m_head.left(40)));
                return;
            }
            m_headKnown = true;
            head = std::exchange(m_head, QByteArray());
            bytes = head;
        } else if (hasHostLine(bytes)) {
            refuseStranger(QStringLiteral("HTTP-Anfrage abgewiesen"));
            return;
        }
    }
    auto handle = [this](QByteArrayView message, bool framed) {
        // A line typed on a terminal ends with the terminal's line end, which is no part of it.
        while (!framed && (message.endsWith('\n') || message.endsWith('\r')))
            message.chop(1);
        return handleMessage(message);
    };
    if (!m_buffer.receive(bytes, handle))
        m_list1.add(QStringLiteral("F:Wex_DataArrival WexBuffer voll, Daten verworfen"));
}

bool WexInterface::handleMessage(QByteArrayView message)
{
    m_list1.add(QStringLiteral("IN:") + shown(message));
    const CommandFields f(message);
    if (f[1] == "USER") {
        if (f[2] == m_state.settings.wexUser) {
            m_userOk = true;
            m_userWait.stop();
            WexSenddata(wexFrame("USER OK"));
            WexSendInstruments();
            return true;
        }
        m_list1.add(QStringLiteral("Wrong User ") + fromWire(f[2]));
        refuseUser();
        return false;
    }
    if (f[1] == "HI") {
        // The time tells nothing about orders or the account: also before the user.
        const QByteArray answer = hereIAm(m_clock.now().time());
        if (m_userOk)
            WexSenddata(answer);
        else
            write(answer);
        return true;
    }
    if (!m_userOk) {
        // Before the user nothing acts: a command that would act closes the connection;
        // what is ignored anyway (a user line in lower case, an unknown word) stays ignored.
        if (!actsForSomeone(f[1]))
            return true;
        refuseStranger(QStringLiteral("vor USER: ") + shown(f[1].first(std::min<qsizetype>(f[1].size(), 40))));
        return false;
    }
    WEXVerarbeiten(message, f);
    return true;
}

bool WexInterface::actsForSomeone(QByteArrayView command)
{
    const QByteArray word = upperSingleByte(command);
    return word == "@PO" || word == "@CO" || word == "@WT_RA" || word == "@WT_REX";
}

void WexInterface::WEXVerarbeiten(QByteArrayView message, const CommandFields& f)
{
    const QByteArray command = upperSingleByte(f[1]);
    if (command == "@PO") {
        m_orders.Ext_Placeorder(message.size() > 4 ? message.sliced(4) : QByteArrayView());
    } else if (command == "@CO") {
        m_orders.Ext_CancelOrder(toInt32(readNumber(f[2])).value_or(0));
    } else if (command == "@WT_RA") {
        Command20_Click();
    } else if (command == "@WT_REX") {
        m_executionsPending = true;
        m_connection.Senddata(frame("@RAE"));
    }
}

void WexInterface::Command20_Click()
{
    m_account.WexAccountPending = true;
    m_connection.Senddata(frame("@GSUK"));
}

void WexInterface::refuseUser()
{
    // The connection ends; it is no longer counted as connected while it closes.
    m_connected = false;
    m_closing = true;
    m_socketState = kClosing;
    m_userWait.stop();
    m_buffer.clear();
    m_head.clear();
    if (m_client && m_client->state() != QAbstractSocket::UnconnectedState) {
        m_client->disconnectFromHost();
        m_closeWait.start();
        return;
    }
    QTimer::singleShot(0, this, &WexInterface::finishClose);
}

void WexInterface::refuseStranger(const QString& why)
{
    m_list1.add(QStringLiteral("F:Wex_DataArrival ") + why);
    refuseUser();
}

void WexInterface::finishClose()
{
    if (!m_closing)
        return;
    startListening(true);
    m_buffer.clear();
}

void WexInterface::WexSenddata(const QByteArray& text)
{
    // A program that has not named the user learns nothing of orders or the account.
    if (!m_userOk) {
        m_list1.add(QStringLiteral("F:WexSenddata ") + shown(text));
        return;
    }
    write(text);
}

void WexInterface::write(const QByteArray& text)
{
    if (!m_client || m_closing || m_client->state() != QAbstractSocket::ConnectedState) {
        m_list1.add(QStringLiteral("F:WexSenddata ") + shown(text));
        return;
    }
    if (m_client->bytesToWrite() + text.size() > kMaxUnsent) {
        m_list1.add(QStringLiteral("F:WexSenddata voll ") + shown(text));
        return;
    }
    m_list1.add(QStringLiteral("OUT:") + shown(text));
    m_client->write(text);
}

void WexInterface::WexSendInstruments() { WexSenddata(wexInstrumentList(m_state)); }

void WexInterface::ExtS_NewOrderId(const QByteArray& reference, qint32 orderUserId)
{
    WexSenddata(wexNewOrderId(reference, orderUserId));
}

void WexInterface::ExtS_Error(int code, const QByteArray& text, const QByteArray& reference)
{
    WexSenddata(wexError(code, text, reference));
}

void WexInterface::ExtS_Orderstatus(int orderIndex)
{
    if (m_state.book.orders.valid(orderIndex))
        WexSenddata(wexOrderStatus(m_state.book.orders[orderIndex]));
}

void WexInterface::ExtEx(QByteArrayView text) { m_list1.add(QStringLiteral("Ex:") + fromWire(text)); }

void WexInterface::refreshStatus()
{
    const QString connectedText = QStringLiteral("Fennix connected");
    if (m_connected) {
        if (m_messages.messageLine() != connectedText)
            m_messages.setMessageLine(connectedText);
    } else if (m_messages.messageLine() == connectedText) {
        m_messages.setMessageLine(QStringLiteral("Fennix nicht connected"));
    }
}

} // namespace korvi
