#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpSocket>
#include <optional>

// One instrument of the list Korvi sends after the user name was accepted; its number is
// its position in the list.
struct RemoteInstrument {
    int number = 0;
    QByteArray ticker;
    QByteArray lumticker;
    QByteArray name;
};

// The outside program's side of Korvi's order socket: connects, announces the user name,
// sends commands and reads the framed answers, every wait bounded.
class RemoteSession {
public:
    enum class Login { Ok, Unreachable, Refused, Busy };

    // Connects and announces `user`; on success the instrument list is read.
    Login login(const QString& host, quint16 port, const QByteArray& user, int timeoutMs);
    QString lastError() const { return m_error; }

    // Sends one command framed, or raw (for "HI").
    void send(QByteArrayView command);
    void sendRaw(QByteArrayView bytes);
    // The next message (the text between the frame characters, or the unframed answer to
    // "HI"); none when the time ran out or Korvi closed the connection.
    std::optional<QByteArray> next(int timeoutMs);
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    const QList<RemoteInstrument>& instruments() const { return m_instruments; }
    // The instrument list as Korvi sent it, after "@IL;".
    const QByteArray& instrumentListBody() const { return m_listBody; }
    // The instrument by Lumticker or Ticker (any case) or by its number.
    std::optional<RemoteInstrument> find(const QByteArray& name) const;

private:
    std::optional<QByteArray> take();

    QTcpSocket m_socket;
    QByteArray m_buffer;
    QList<RemoteInstrument> m_instruments;
    QByteArray m_listBody;
    QString m_error;
};

// The pieces of an "@IL" message.
QList<RemoteInstrument> parseInstrumentList(QByteArrayView message);
