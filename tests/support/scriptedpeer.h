#pragma once

#include "framing.h"

#include <QByteArrayList>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

namespace korvi::test {

// A game server double on 127.0.0.1 and a free port: it records the frames each
// connection sends and sends what the test tells it.
class ScriptedPeer : public QObject {
public:
    ScriptedPeer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                m_connections.push_back(s);
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    m_buffer.append(s->readAll());
                    QByteArrayView m;
                    while (m_buffer.next(m))
                        received.append(m.toByteArray());
                    m_buffer.compact();
                });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int connectionCount() const { return static_cast<int>(m_connections.size()); }
    QTcpSocket* last() const { return m_connections.empty() ? nullptr : m_connections.back(); }

    // Sends raw bytes on the newest connection.
    void sendRaw(const QByteArray& bytes)
    {
        if (QTcpSocket* s = last()) {
            s->write(bytes);
            s->flush();
        }
    }
    void send(QByteArrayView message) { sendRaw(frame(message)); }
    void closeLast()
    {
        if (QTcpSocket* s = last())
            s->disconnectFromHost();
    }

    QByteArrayList received;

private:
    QTcpServer m_server;
    std::vector<QTcpSocket*> m_connections;
    ReceiveBuffer m_buffer;
};

} // namespace korvi::test
