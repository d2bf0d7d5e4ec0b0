#include "serverprocess.h"

#include "catalogue.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QElapsedTimer>
#include <csignal>

ServerProcess::~ServerProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        kill();
}

bool ServerProcess::start(const QStringList& extra)
{
    const QString program = qEnvironmentVariable("KORVI_SERVER");
    if (program.isEmpty()) {
        m_error = QStringLiteral("KORVI_SERVER is not set");
        return false;
    }
    if (m_participants == Participants::Demo && !QFile::exists(m_dataDir + QStringLiteral("/korvi.sqlite"))
        && admin(m_dataDir, {QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("demo"), QStringLiteral("demo")}) != 0) {
        m_error = QStringLiteral("cannot add the participant demo");
        return false;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    // Cheap password hashes keep logins fast in tests, and no daily close comes from the
    // wall clock (a start after the close time would book one); a later value in `extra`
    // wins.
    m_process->setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--http-port"),
                                        QStringLiteral("0"), QStringLiteral("--data"), m_dataDir,
                                        QStringLiteral("--hash-iterations"), QStringLiteral("1000"),
                                        QStringLiteral("--close-time"), QStringLiteral("off")}
                            + extra);
    // The log goes to a file, so it can be read at any moment without an event loop.
    m_logPath = m_dataDir + QStringLiteral("/server-%1.log").arg(++s_logCount);
    m_process->setStandardErrorFile(m_logPath);
    m_process->start();
    if (!m_process->waitForStarted(10000)) {
        m_error = m_process->errorString();
        return false;
    }
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (m_process->state() == QProcess::NotRunning)
            break;
        m_process->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        out += m_process->readAllStandardOutput();
    }
    const QList<QByteArray> words = out.trimmed().split(' ');
    if (words.size() != 3 || words[0] != "listening") {
        m_error = QStringLiteral("no listening line; stdout '%1', stderr '%2'")
                      .arg(QString::fromLatin1(out), log());
        return false;
    }
    m_tcpPort = static_cast<quint16>(words[1].toUInt());
    m_httpPort = static_cast<quint16>(words[2].toUInt());
    return m_tcpPort != 0 && m_httpPort != 0;
}

int ServerProcess::stopWith(int signalNumber)
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return -1;
    ::kill(static_cast<pid_t>(m_process->processId()), signalNumber);
    if (!m_process->waitForFinished(10000)) {
        kill();
        return -1;
    }
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

int ServerProcess::terminate() { return stopWith(SIGTERM); }
int ServerProcess::interrupt() { return stopWith(SIGINT); }

void ServerProcess::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(10000);
}

int ServerProcess::s_logCount = 0;

QString ServerProcess::log()
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

int ServerProcess::admin(const QString& dataDir, const QStringList& command, QByteArray* out)
{
    QProcess p;
    p.start(qEnvironmentVariable("KORVI_SERVER"),
            QStringList{QStringLiteral("--data"), dataDir, QStringLiteral("--hash-iterations"), QStringLiteral("1000")}
                + command);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitCode();
}

bool Peer::connectTo(quint16 port, const QHostAddress& host, const QHostAddress& from)
{
    if (!from.isNull() && !m_socket.bind(from, 0))
        return false;
    m_socket.connectToHost(host, port);
    return m_socket.waitForConnected(5000);
}

void Peer::stopReading()
{
    m_socket.setReadBufferSize(4096);
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
}

void Peer::send(QByteArrayView message) { sendRaw(korvi::frame(message)); }

void Peer::sendRaw(QByteArrayView bytes)
{
    m_socket.write(bytes.data(), bytes.size());
    m_socket.waitForBytesWritten(5000);
}

std::optional<QByteArray> Peer::next(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QByteArrayView message;
        if (m_buffer.next(message)) {
            QByteArray copy = message.toByteArray();
            m_buffer.compact();
            return copy;
        }
        if (deadline.hasExpired() || m_socket.state() != QAbstractSocket::ConnectedState) {
            // A closed socket may still hold the last bytes.
            if (m_socket.bytesAvailable() > 0) {
                m_buffer.append(m_socket.readAll());
                continue;
            }
            return std::nullopt;
        }
        if (m_socket.bytesAvailable() == 0)
            m_socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        m_buffer.append(m_socket.readAll());
    }
}

std::optional<QByteArray> Peer::nextNonPrice(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        std::optional<QByteArray> m = next(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        if (!m)
            return std::nullopt;
        if (!isPriceOrKeepalive(*m))
            return m;
    }
    return std::nullopt;
}

bool Peer::waitClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        m_buffer.append(m_socket.readAll());
        m_buffer.compact();
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

std::optional<QByteArray> Peer::login(QByteArrayView name, QByteArrayView password)
{
    const std::optional<QByteArray> identify = next();
    if (!identify || !identify->startsWith("!;ID"))
        return std::nullopt;
    send("TTUSER=" + name.toByteArray());
    const std::optional<QByteArray> askUser = next();
    if (!askUser || !askUser->startsWith("!;USER"))
        return std::nullopt;
    send("@U=" + name.toByteArray() + '%' + password.toByteArray());
    return nextNonPrice();
}

std::vector<QByteArray> Peer::loginAndGreeting(QByteArrayView name, QByteArrayView password)
{
    std::vector<QByteArray> greeting;
    std::optional<QByteArray> m = login(name, password);
    while (m) {
        greeting.push_back(*m);
        if (*m == "@RV")
            break;
        m = nextNonPrice();
    }
    return greeting;
}

bool isPriceOrKeepalive(QByteArrayView message)
{
    return message.startsWith('~') || message.startsWith('^') || message.startsWith("@KU=") || message == "@=";
}

QByteArray commandWordOf(QByteArrayView message)
{
    if (message.startsWith('!'))
        return message.first(std::min<qsizetype>(message.size(), 4)).toByteArray();
    return korvi::splitCommand(message).word.toByteArray();
}
