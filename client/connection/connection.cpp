#include "connection.h"

#include "dispatcher.h"
#include "loglist.h"
#include "numbers.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <cstring>
#include <limits>

namespace korvi {

QString socketStateText(int state)
{
    static const char* const kTexts[] = {"Geschlossen", "Ge\xf6" "ffnet", "\xdc" "berwachen",
                                         "Verbindung anstehend", "Host-Name wird aufgel\xf6st",
                                         "Host-Name wird aufgel\xf6st", "Verbinden", "Verbunden",
                                         "Partner schlie\xdft Verbindung", "Fehler"};
    return state >= 0 && state <= 9 ? QString::fromLatin1(kTexts[state]) : QString();
}

Connection::Connection(State& state, Dispatcher& dispatcher, Clock& clock, LogList& incoming,
                       LogList& outgoing, PageReader& pages, QObject* parent)
    : QObject(parent), m_state(state), m_dispatcher(dispatcher), m_clock(clock),
      m_incoming(incoming), m_outgoing(outgoing), m_pages(pages)
{
    m_watchdog.setInterval(m_timing.watchdogMs);
    connect(&m_watchdog, &QTimer::timeout, this, &Connection::watchdogTick);
}

Connection::~Connection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void Connection::setTiming(const ConnectionTiming& timing)
{
    m_timing = timing;
    m_watchdog.setInterval(timing.watchdogMs);
}

void Connection::load(bool ipChecked)
{
    m_server = m_state.ServerAddress;
    if (!m_state.ServerPort.isEmpty())
        m_port = m_state.ServerPort;
    m_user = m_state.UserName;
    m_password = m_state.UserPassword;
    m_ipChecked = ipChecked;
    if (m_server.isEmpty())
        setServerField(m_addresses.defaultServer);
    if (m_user.isEmpty())
        setUserField("QX");
    m_loaded = true;
    m_watchdog.start();
    emit fieldsChanged();
}

void Connection::unload()
{
    m_loaded = false;
    m_watchdog.stop();
    emit unloaded();
}

void Connection::setServerField(const QByteArray& text)
{
    m_server = text;
    m_state.ServerAddress = text;
    emit fieldsChanged();
}

void Connection::setPortField(const QByteArray& text)
{
    m_port = text;
    m_state.ServerPort = text;
    emit fieldsChanged();
}

void Connection::setUserField(const QByteArray& text)
{
    m_user = text;
    m_state.UserName = text;
    updateUserKey(m_state);
    emit fieldsChanged();
    emit userNameChanged(fromWire(text));
}

void Connection::setPasswordField(const QByteArray& text)
{
    m_password = text;
    m_state.UserPassword = text;
    updateUserKey(m_state);
    emit fieldsChanged();
}

void Connection::connectwinsock(const QByteArray& host)
{
    // A fresh socket each time: closing our own socket is not reported as a server close.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_welcomed = false;
    LinkState = 1;
    m_socket = std::make_unique<QTcpSocket>();
    connect(m_socket.get(), &QTcpSocket::connected, this, &Connection::onConnected);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &Connection::onClosed);
    connect(m_socket.get(), &QTcpSocket::errorOccurred, this, &Connection::onError);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &Connection::onReadyRead);

    const auto port = toInt32(readNumber(m_port));
    const quint16 p = port && *port > 0 && *port <= 65535 ? static_cast<quint16>(*port) : 0;
    m_socket->connectToHost(fromWire(host), p);
}

void Connection::login()
{
    connectwinsock(m_state.ServerAddress);
    KeepConnected = true;
    // The handshake runs while we wait; a socket that never connected sends us to the
    // address pages, and the next watchdog round connects to what they name.
    QTimer::singleShot(m_timing.loginWaitMs, this, [this] {
        if (LinkState == 1)
            readIpPage();
    });
}

void Connection::logout()
{
    KeepConnected = false;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_welcomed = false;
    LinkState = 0;
    TableText = "_";
    arrivals = 0;
    BytesReceived = 0;
}

void Connection::watchdogTick()
{
    if (KeepConnected && m_clock.tickMs() - LastReceiveTick > m_timing.silenceMs) {
        logout();
        QTimer::singleShot(m_timing.logoutPauseMs, this, [this] { login(); });
    }
    emit byteCounterChanged(byteCounterText());
}

QString Connection::lkursText() const
{
    return m_lkursRaw.isNull() ? QStringLiteral("KURSE") : QStringLiteral("IN:") + fromWire(m_lkursRaw);
}

bool Connection::takeLkursChange()
{
    const bool changed = m_lkursDirty;
    m_lkursDirty = false;
    return changed;
}

QString Connection::byteCounterText() const
{
    return QStringLiteral("Bytes:") + fromWire(writeDouble(BytesReceived));
}

void Connection::onConnected()
{
    m_incoming.add(QStringLiteral("WS connected!"));
    LinkState = 2;
    TableText = "?";
}

void Connection::onClosed()
{
    m_incoming.add(QStringLiteral("WS closed"));
    m_welcomed = false;
    TableText = "";
}

void Connection::onError()
{
    // A server close is reported by onClosed; every other failure is logged as the socket
    // layer words it.
    if (m_socket && m_socket->error() != QAbstractSocket::RemoteHostClosedError)
        m_incoming.add(m_socket->errorString());
}

void Connection::onReadyRead()
{
    // A handler that lets events run may see more data arrive; it is read after the
    // current messages, so every frame is still handled once and in order. The socket
    // does not announce data that arrived while this handler ran, so the loop asks it.
    if (m_receiving) {
        m_readAgain = true;
        return;
    }
    m_receiving = true;
    do {
        m_readAgain = false;
        if (!m_socket)
            break;
        const QByteArray bytes = m_socket->readAll();
        if (!bytes.isEmpty())
            receive(bytes);
    } while (m_readAgain || (m_socket && m_socket->bytesAvailable() > 0));
    m_receiving = false;
}

void Connection::receive(QByteArrayView bytes)
{
    LinkState = 3;
    LastReceiveTick = m_clock.tickMs();
    // An overflowing counter skips its update, as any failing step does.
    if (arrivals < std::numeric_limits<quint32>::max())
        ++arrivals;
    if (BytesReceived <= std::numeric_limits<quint32>::max() - static_cast<quint32>(bytes.size()))
        BytesReceived += static_cast<quint32>(bytes.size());

    if (!m_buffer.append(bytes))
        m_incoming.add(QStringLiteral("F:Empfangspuffer übergelaufen, Inhalt verworfen"));

    // All messages of this arrival form one batch: the grids catch up once, at its end.
    m_dispatcher.beginBatch();
    QByteArrayView message;
    while (m_buffer.next(message)) {
        if (m_kursprotokoll)
            m_incoming.add(fromWire(message.first(qMin<qsizetype>(50, message.size()))));
        if (message.startsWith("@KU=")) {
            // Only the bytes are kept here: full price messages arrive many times a second,
            // and the label's text is built when the window shows it.
            m_lkursRaw.resize(message.size());
            std::memcpy(m_lkursRaw.data(), message.data(), size_t(message.size()));
            m_lkursDirty = true;
        } else if (message.startsWith("@FID=")) {
            // Pieces of a file: the list shows the piece, not megabytes of escaped bytes.
            const QByteArrayView body = message.sliced(5);
            const qsizetype cut = body.indexOf(';');
            m_incoming.add(QStringLiteral("IN:@FID=") + fromWire(body.first(qMin<qsizetype>(cut < 0 ? body.size() : cut, 40)))
                           + QStringLiteral(" (%1 Bytes)").arg(cut < 0 ? 0 : body.size() - cut - 1));
        } else if (message != QByteArrayView("@=") && !message.startsWith('~') && !message.startsWith('^')) {
            m_incoming.add(QStringLiteral("IN:") + fromWire(message));
        }
        try {
            m_dispatcher.dispatch(message);
        } catch (const std::exception& e) {
            // A failing handler abandons only its own message.
            m_incoming.add(QStringLiteral("F:Winsock1_DataArrival ") + QString::fromLatin1(e.what()));
        }
        // Handling what the server sent shows the connection is alive: a long burst must not
        // look like silence to the watchdog.
        LastReceiveTick = m_clock.tickMs();
    }
    m_buffer.compact();
    try {
        m_dispatcher.endBatch();
    } catch (const std::exception& e) {
        m_incoming.add(QStringLiteral("F:Winsock1_DataArrival ") + QString::fromLatin1(e.what()));
    }
    LastReceiveTick = m_clock.tickMs();
}

bool Connection::Senddata(const QByteArray& framedText)
{
    // A text that cannot be written is never logged as sent.
    if (!isConnected() || m_socket->write(framedText) != framedText.size()) {
        logNotSent(framedText);
        return false;
    }
    m_outgoing.add(QStringLiteral("OUT:") + fromWire(framedText));
    return true;
}

void Connection::logNotSent(QByteArrayView text)
{
    m_outgoing.add(QStringLiteral("NICHT GESENDET:") + fromWire(text));
}

void Connection::sendDirect(QByteArrayView text)
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(frame(text));
}

bool Connection::flush()
{
    return isConnected() && m_socket->flush();
}

bool Connection::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool Connection::sendRequest(QByteArrayView text)
{
    if (!isConnected())
        return false;
    m_socket->write(frame(text));
    return true;
}

int Connection::socketState() const
{
    if (!m_socket)
        return 0;
    if (m_socket->error() != QAbstractSocket::UnknownSocketError &&
        m_socket->state() == QAbstractSocket::UnconnectedState)
        return 9;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState: return 0;
    case QAbstractSocket::HostLookupState: return 4;
    case QAbstractSocket::ConnectingState: return 6;
    case QAbstractSocket::ConnectedState: return 7;
    case QAbstractSocket::BoundState: return 1;
    case QAbstractSocket::ListeningState: return 2;
    case QAbstractSocket::ClosingState: return 8;
    }
    return 0;
}

void Connection::readIpPage()
{
    int selected = 1;
    const QString& option = m_state.startOption;
    if (option.contains(QLatin1String("IP1")))
        selected = 1;
    if (option.contains(QLatin1String("IP2")))
        selected = 2;
    if (option.contains(QLatin1String("IP3")))
        selected = 3;
    ++m_lookupGeneration;
    tryNextPage(selected, 0);
}

void Connection::tryNextPage(int selected, int index)
{
    if (m_state.startOption.contains(QLatin1String("IPTEST"))) {
        for (int i = 0; i < 3; ++i)
            addresses.entry[i + 1] = m_addresses.tests[i];
        addresses.count = 3;
        applyAddress(selected);
        return;
    }
    const QStringList pages =
        addressPages(m_addresses.webHost1, m_addresses.webHost2, m_state.GameEdition == 1);
    if (index >= pages.size()) {
        addresses.entry[1] = m_addresses.fallback;
        addressInUse = 1;
        applyAddress(selected);
        return;
    }
    const int generation = m_lookupGeneration;
    m_pages.read(QUrl(pages[index]), [this, selected, index, generation](QByteArray text) {
        if (generation != m_lookupGeneration)
            return; // a newer lookup has started
        AddressList list;
        if (parseAddressPage(std::move(text), list) > 0) {
            addresses = list;
            applyAddress(selected);
        } else {
            addresses = list;
            tryNextPage(selected, index + 1);
        }
    });
}

void Connection::applyAddress(int selected)
{
    const QByteArray entry = addresses.entry[selected];
    if (!m_ipChecked) {
        const qsizetype colon = entry.indexOf(':');
        if (colon >= 0) {
            setServerField(entry.left(colon));
            setPortField(entry.mid(colon + 1).trimmed());
        } else {
            setServerField(entry);
        }
    }
    addressInUse = selected;
}

} // namespace korvi
