#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace korvi::server {

class Transport;

// Which write list a message waits in. Answers and a participant's own trading messages
// are written at the start of the next turn, ahead of any block of prices still going out
// to thousands of others; prices and messages to everyone wait their turn in the bulk list.
enum class Lane { Prompt, Bulk };

// What a connection tells its owner. All of it runs on the server's thread, from the
// transport's turn of the event loop, never from inside a call the owner made.
class ConnectionListener {
public:
    virtual ~ConnectionListener() = default;
    // Bytes (or the end of the stream) are waiting; read() takes them.
    virtual void connectionReadable() = 0;
    // The queue went out in full, or in part: room for more. Only after notifyWritten(true).
    virtual void connectionWritten() = 0;
    // The connection ended (the peer closed it, an error, or a close that finished).
    virtual void connectionClosed(const QString& reason) = 0;
};

// One client's TCP connection. The socket is non-blocking and waits for readiness through
// the transport's epoll-driven context, so an idle connection costs nothing per event.
// What is sent is queued as shared buffers (a block of prices encoded once is held by every
// queue it is in, not copied) and goes out at the transport's next flush as one gathered
// write: however many messages became due since the last write, the participant gets one.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Transport& transport, asio::ip::tcp::socket socket);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setListener(ConnectionListener* listener) { m_listener = listener; }
    // Whether connectionWritten() is wanted: only a sender that feeds the queue piece by
    // piece asks for it, so the thousands of other writes a second report nothing.
    void notifyWritten(bool on) { m_notifyWritten = on; }
    // Forgets the listener and closes the socket at once; nothing is reported any more.
    void detach();

    bool isOpen() const { return m_open; }
    const QString& peerAddress() const { return m_address; }
    quint16 peerPort() const { return m_port; }

    enum class ReadResult { Data, Nothing, Closed };
    // Reads what is there, up to `max` bytes, into `out` (replacing its content). Nothing:
    // the socket is drained, and connectionReadable() comes when more arrives. Closed: the peer closed
    // the connection or it failed; the caller ends it.
    ReadResult read(QByteArray& out, qsizetype max);
    // True when the socket was found empty and connectionReadable() comes with more.
    bool waitingForData() const { return m_readWaiting; }

    // Queues already framed messages; they go out at the next flush of their lane (a
    // prompt message takes what is queued before it along). Ignored once closed.
    void send(const QByteArray& frames, Lane lane = Lane::Prompt);
    qint64 queuedBytes() const { return m_queued; }
    // Since when the queue has not been empty (the transport's clock); -1 while it is.
    qint64 queuedSince() const { return m_queuedSince; }
    // Ends the connection once the queue went out; connectionClosed() follows.
    void closeAfterSending();
    // Ends the connection now; what is queued is thrown away. Nothing is reported.
    void abort();

    // Writes what is queued as far as the system takes it (the transport calls this).
    void flush();

private:
    friend class Transport;
    void waitReadable();
    void waitWritable();
    void fail(const QString& reason);
    void finishClose();
    void reportClosed(const QString& reason);

    Transport& m_transport;
    asio::ip::tcp::socket m_socket;
    ConnectionListener* m_listener = nullptr;
    QString m_address;
    quint16 m_port = 0;
    std::deque<QByteArray> m_queue;
    qsizetype m_frontOffset = 0; // bytes of the first buffer already written
    qint64 m_queued = 0;
    qint64 m_queuedSince = -1;
    bool m_open = false;
    bool m_closing = false;       // closes once the queue is empty
    bool m_dirty = false;         // in the transport's bulk list of connections to flush
    bool m_promptDirty = false;   // in its prompt list
    qint64 m_dirtySince = 0;      // when it went into the bulk list
    bool m_readWaiting = false;
    bool m_writeWaiting = false;
    bool m_notifyWritten = false;
};

// The sockets of the game port: accepting, and the readiness of every connection through
// one Asio io_context (epoll on Linux), so the cost of a turn follows the connections that
// are ready, not all of them. The context runs on the server's own thread, in short turns
// of the Qt event loop: a precise timer of one millisecond hands it the thread, it runs the
// handlers that are ready (at most a bounded number per turn) and flushes every connection
// that has something queued. Nothing is shared between threads.
class Transport : public QObject {
    Q_OBJECT
public:
    // Handlers run per turn at most, so a flood of ready sockets never starves the timers.
    static constexpr int kHandlersPerTurn = 64;
    static constexpr int kTurnMs = 1;
    // Connections flushed per turn at most, from each list.
    static constexpr int kFlushesPerTurn = 256;

    using Accepted = std::function<void(std::shared_ptr<Connection>)>;

    // `clock`: the owner's milliseconds, used for the age of send queues.
    Transport(std::function<qint64()> clock, QObject* parent = nullptr);
    ~Transport() override;

    // Listens on `address`:`port` (0: any free port); every accepted connection goes to
    // `accepted`. False with `error` set when the port cannot be had.
    bool listen(const QString& address, quint16 port, int backlog, int sendBufferBytes, Accepted accepted, QString& error);
    quint16 port() const { return m_port; }
    void close();

    // A connection over a socket made elsewhere (a socket pair in the fuzz harness).
    std::shared_ptr<Connection> adoptDescriptor(int fd, QString& error);
    // A connection that is already closed: everything sent to it is skipped.
    std::shared_ptr<Connection> closedConnection();

    // One turn: ready handlers, then the queued writes.
    void poll();
    // Connections waiting for the flush of their lane.
    void markDirty(std::shared_ptr<Connection> connection, Lane lane = Lane::Bulk);
    // The prompt list first, then the bulk list, each up to its share of the turn.
    void flushDirty();
    qint64 now() const { return m_clock(); }
    // Longest time a connection with something to send waited for its write since the last
    // call, in milliseconds: the server's own share of a message's delay.
    qint64 takeLongestWriteWait() { return std::exchange(m_longestWriteWait, 0); }
    asio::io_context& context() { return m_context; }

private:
    void acceptNext();

    std::function<qint64()> m_clock;
    asio::io_context m_context{1};
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_acceptPause;
    Accepted m_accepted;
    int m_sendBufferBytes = 0;
    quint16 m_port = 0;
    // Connections to flush, in the order they became due, and how many of the front ones
    // were flushed already.
    struct DirtyList {
        std::vector<std::shared_ptr<Connection>> connections;
        size_t done = 0;
        bool pending() const { return done < connections.size(); }
        void clear()
        {
            connections.clear();
            done = 0;
        }
    };
    void flushList(DirtyList& list, bool Connection::*inList);
    DirtyList m_prompt;
    DirtyList m_dirty;
    qint64 m_longestWriteWait = 0;
    bool m_againQueued = false; // a turn is queued right after the current events
    QTimer m_turn;
};

} // namespace korvi::server
