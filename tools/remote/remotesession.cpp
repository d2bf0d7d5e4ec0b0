#include "remotesession.h"

#include "framing.h"

#include <QDeadlineTimer>

namespace {
// The answer to "HI": "HERE I AM;" and the time as HH:MM:SS.
constexpr QByteArrayView kHereIAm = "HERE I AM;";
constexpr qsizetype kHereIAmLength = 18;
// More than this without a complete message means the peer is not Korvi.
constexpr qsizetype kMaxBuffer = 64 * 1024 * 1024;
} // namespace

QList<RemoteInstrument> parseInstrumentList(QByteArrayView message)
{
    QList<RemoteInstrument> list;
    if (!message.startsWith("@IL;"))
        return list;
    const QList<QByteArray> lines = message.sliced(4).toByteArray().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> f = line.split(';');
        RemoteInstrument ins;
        ins.number = static_cast<int>(list.size()) + 1;
        ins.ticker = f.value(0);
        ins.lumticker = f.value(1);
        ins.name = f.value(2);
        list.append(ins);
    }
    return list;
}

RemoteSession::Login RemoteSession::login(const QString& host, quint16 port, const QByteArray& user, int timeoutMs)
{
    m_socket.connectToHost(host, port);
    if (!m_socket.waitForConnected(timeoutMs)) {
        m_error = m_socket.errorString();
        return Login::Unreachable;
    }
    const std::optional<QByteArray> hello = next(timeoutMs);
    if (hello && *hello == "BUSY") {
        m_error = QStringLiteral("Korvi is busy: another program is connected to its order socket");
        return Login::Busy;
    }
    if (!hello || *hello != "WHOISIT") {
        m_error = QStringLiteral("Korvi did not greet this program (is its address permitted?)");
        return Login::Unreachable;
    }
    send("USER;" + user);
    const std::optional<QByteArray> answer = next(timeoutMs);
    if (!answer || *answer != "USER OK") {
        m_error = QStringLiteral("the user name %1 was refused").arg(QString::fromLatin1(user));
        return Login::Refused;
    }
    const std::optional<QByteArray> list = next(timeoutMs);
    if (!list || !(list->startsWith("@IL"))) {
        m_error = QStringLiteral("no instrument list came");
        return Login::Unreachable;
    }
    m_instruments = parseInstrumentList(*list);
    m_listBody = list->startsWith("@IL;") ? list->mid(4) : QByteArray();
    return Login::Ok;
}

void RemoteSession::send(QByteArrayView command) { sendRaw(korvi::frame(command)); }

void RemoteSession::sendRaw(QByteArrayView bytes)
{
    m_socket.write(bytes.data(), bytes.size());
    m_socket.flush();
}

std::optional<QByteArray> RemoteSession::take()
{
    const qsizetype start = m_buffer.indexOf(korvi::FrameStart);
    const qsizetype hi = m_buffer.indexOf(kHereIAm);
    if (hi >= 0 && (start < 0 || hi < start)) {
        if (m_buffer.size() < hi + kHereIAmLength)
            return std::nullopt;
        QByteArray message = m_buffer.mid(hi, kHereIAmLength);
        m_buffer.remove(0, hi + kHereIAmLength);
        return message;
    }
    const korvi::FrameCut cut = korvi::cutFrame(m_buffer);
    if (cut.state == korvi::FrameCut::Message) {
        QByteArray message = cut.message.toByteArray();
        m_buffer.remove(0, cut.consumed);
        return message;
    }
    if (cut.consumed > 0 && hi < 0)
        m_buffer.remove(0, cut.consumed);
    return std::nullopt;
}

std::optional<QByteArray> RemoteSession::next(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (std::optional<QByteArray> message = take())
            return message;
        if (m_buffer.size() > kMaxBuffer || m_socket.state() != QAbstractSocket::ConnectedState)
            return std::nullopt;
        const qint64 left = deadline.remainingTime();
        if (left == 0 || (!m_socket.waitForReadyRead(left < 0 ? -1 : static_cast<int>(left)) &&
                          m_socket.bytesAvailable() == 0))
            return std::nullopt;
        m_buffer += m_socket.readAll();
    }
}

std::optional<RemoteInstrument> RemoteSession::find(const QByteArray& name) const
{
    const QByteArray wanted = name.trimmed().toUpper();
    for (const RemoteInstrument& ins : m_instruments) {
        if (ins.lumticker.trimmed().toUpper() == wanted)
            return ins;
    }
    for (const RemoteInstrument& ins : m_instruments) {
        if (ins.ticker.trimmed().toUpper() == wanted)
            return ins;
    }
    bool numeric = false;
    const int n = name.toInt(&numeric);
    if (numeric && n >= 1 && n <= m_instruments.size())
        return m_instruments[n - 1];
    return std::nullopt;
}
