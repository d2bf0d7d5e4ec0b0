#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QObject>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace korvi::server {

// The answer to one HTTP request for an address page. "/ipkorvi.html", "/ip.html" and
// "/ipvarn3.html" give one plain text line "host:port" naming the game port; any other
// page gives 404 with a text containing "existiert", which the client takes as "no page".
// "/metrics" gives what `metrics` returns (the server's figures for monitoring), when set.
// Returns an empty array while `request` is not yet a complete header.
QByteArray addressPageResponse(QByteArrayView request, QByteArrayView host, quint16 gamePort,
                               const std::function<QByteArray()>& metrics = {});

// A tiny HTTP server for the address pages. Each connection gets one answer and is
// closed; a request that is too large or too slow is dropped.
class AddressPageServer : public QObject {
    Q_OBJECT
public:
    explicit AddressPageServer(QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString errorString() const;
    void setGamePort(quint16 port) { m_gamePort = port; }
    // The host written on the pages; empty means the address the client connected to.
    void setPublicHost(const QByteArray& host) { m_publicHost = host; }
    // The text of "/metrics".
    void setMetrics(std::function<QByteArray()> metrics) { m_metrics = std::move(metrics); }
    void close();

private:
    void onConnection();
    void answer(QTcpSocket* socket);

    QTcpServer* m_server;
    quint16 m_gamePort = 0;
    QByteArray m_publicHost;
    std::function<QByteArray()> m_metrics;
};

} // namespace korvi::server
