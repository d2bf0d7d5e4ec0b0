#include "addresspages.h"

#include "serverlog.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace korvi::server {

namespace {

constexpr qsizetype kMaxRequest = 8 * 1024;
constexpr int kRequestTimeoutMs = 10'000;

QByteArray httpResponse(QByteArrayView status, const QByteArray& body, bool withBody,
                        QByteArrayView type = "text/plain; charset=ISO-8859-1")
{
    QByteArray out = "HTTP/1.0 " + status.toByteArray() + "\r\n";
    out += "Content-Type: " + type.toByteArray() + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Cache-Control: no-cache\r\n";
    out += "Connection: close\r\n\r\n";
    if (withBody)
        out += body;
    return out;
}

// The host to name on a page: IPv4 in dotted form even on a dual-stack socket.
QByteArray hostOf(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString().toLatin1();
    return address.toString().toLatin1();
}

} // namespace

QByteArray addressPageResponse(QByteArrayView request, QByteArrayView host, quint16 gamePort,
                               const std::function<QByteArray()>& metrics)
{
    const qsizetype headerEnd = request.indexOf(QByteArrayView("\r\n\r\n"));
    const qsizetype lineEnd = request.indexOf('\n');
    if (headerEnd < 0 && (lineEnd < 0 || request.indexOf(QByteArrayView("\n\n")) < 0))
        return {};
    const QList<QByteArray> words = request.first(lineEnd).toByteArray().trimmed().split(' ');
    if (words.size() < 2)
        return httpResponse("400 Bad Request", "Anfrage nicht verstanden\r\n", true);
    const QByteArray& method = words[0];
    if (method != "GET" && method != "HEAD")
        return httpResponse("405 Method Not Allowed", "Nur GET\r\n", true);
    QByteArray path = words[1];
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);
    const bool withBody = method == "GET";
    if (path == "/ipkorvi.html" || path == "/ip.html" || path == "/ipvarn3.html")
        return httpResponse("200 OK", host.toByteArray() + ':' + QByteArray::number(gamePort) + "\r\n", withBody);
    if (path == "/metrics" && metrics)
        return httpResponse("200 OK", metrics(), withBody, "text/plain; version=0.0.4");
    return httpResponse("404 Not Found", "Die Seite existiert nicht\r\n", withBody);
}

AddressPageServer::AddressPageServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &AddressPageServer::onConnection);
}

bool AddressPageServer::listen(const QHostAddress& address, quint16 port) { return m_server->listen(address, port); }
quint16 AddressPageServer::port() const { return m_server->serverPort(); }
QString AddressPageServer::errorString() const { return m_server->errorString(); }
void AddressPageServer::close() { m_server->close(); }

void AddressPageServer::onConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void AddressPageServer::answer(QTcpSocket* socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    if (request.size() > kMaxRequest) {
        logRepeated(QStringLiteral("page too large ") + socket->peerAddress().toString(),
                    QStringLiteral("address page: request too large from %1").arg(socket->peerAddress().toString()));
        socket->abort();
        return;
    }
    const QByteArray host = m_publicHost.isEmpty() ? hostOf(socket->localAddress()) : m_publicHost;
    const QByteArray response = addressPageResponse(request, host, m_gamePort, m_metrics);
    if (response.isEmpty()) {
        socket->setProperty("request", request);
        return;
    }
    socket->setProperty("answered", true);
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace korvi::server
