#include "transport.h"

#include "serverlog.h"

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <algorithm>
#include <array>
#include <chrono>

namespace korvi::server {

namespace {

// Buffers gathered into one write at most (the system takes up to 1024).
constexpr size_t kBuffersPerWrite = 64;
// A close reads and throws away at most this much of what the client still sent, so the
// system ends the connection with an orderly close rather than a reset that could take the
// last answer with it.
constexpr int kDiscardReadsOnClose = 4;

QString reasonOf(const asio::error_code& ec) { return QString::fromStdString(ec.message()); }

} // namespace

Connection::Connection(Transport& transport, asio::ip::tcp::socket socket)
    : m_transport(transport), m_socket(std::move(socket))
{
    if (!m_socket.is_open())
        return;
    m_open = true;
    asio::error_code ec;
    m_socket.non_blocking(true, ec);
    const asio::ip::tcp::endpoint peer = m_socket.remote_endpoint(ec);
    if (!ec) {
        m_address = QString::fromStdString(peer.address().to_string());
        m_port = peer.port();
    }
}

Connection::~Connection()
{
    asio::error_code ec;
    m_socket.close(ec);
}

void Connection::detach()
{
    m_listener = nullptr;
    abort();
}

Connection::ReadResult Connection::read(QByteArray& out, qsizetype max)
{
    out.resize(max);
    if (!m_open || m_closing) {
        out.clear();
        return m_open ? ReadResult::Nothing : ReadResult::Closed;
    }
    asio::error_code ec;
    const size_t n = m_socket.read_some(asio::buffer(out.data(), static_cast<size_t>(max)), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
        out.clear();
        waitReadable();
        return ReadResult::Nothing;
    }
    if (ec) {
        out.clear();
        return ReadResult::Closed;
    }
    out.resize(static_cast<qsizetype>(n));
    if (static_cast<qsizetype>(n) < max) {
        // Less than asked for: the socket was empty then. Whatever comes later is a new
        // edge for epoll, so no read is needed just to learn that nothing is left.
        waitReadable();
    }
    return ReadResult::Data;
}

void Connection::waitReadable()
{
    if (m_readWaiting || !m_open)
        return;
    m_readWaiting = true;
    // Armed only after a read found the socket empty: epoll reports the next arrival.
    m_socket.async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
        self->m_readWaiting = false;
        if (ec || !self->m_open || !self->m_listener)
            return;
        self->m_listener->connectionReadable();
    });
}

void Connection::send(const QByteArray& frames, Lane lane)
{
    if (!m_open || m_closing || frames.isEmpty())
        return;
    m_queue.push_back(frames);
    m_queued += frames.size();
    const bool bulkDue = lane == Lane::Bulk && !m_dirty && !m_writeWaiting;
    const qint64 now = m_queuedSince < 0 || bulkDue ? m_transport.now() : 0; // the clock read once
    if (m_queuedSince < 0)
        m_queuedSince = now;
    if (m_writeWaiting)
        return; // goes out when the system takes more
    if (lane == Lane::Prompt && !m_promptDirty) {
        m_promptDirty = true;
        m_transport.markDirty(shared_from_this(), Lane::Prompt);
    } else if (bulkDue) {
        m_dirty = true;
        m_dirtySince = now;
        m_transport.markDirty(shared_from_this(), Lane::Bulk);
    }
}

void Connection::flush()
{
    if (!m_open || m_writeWaiting)
        return;
    static thread_local std::vector<asio::const_buffer> buffers;
    bool wrote = false;
    while (!m_queue.empty()) {
        buffers.clear();
        for (auto it = m_queue.begin(); it != m_queue.end() && buffers.size() < kBuffersPerWrite; ++it) {
            const qsizetype skip = buffers.empty() ? m_frontOffset : 0;
            buffers.push_back(asio::buffer(it->constData() + skip, static_cast<size_t>(it->size() - skip)));
        }
        asio::error_code ec;
        size_t n = m_socket.write_some(buffers, ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            waitWritable();
            break;
        }
        if (ec) {
            fail(reasonOf(ec));
            return;
        }
        wrote = wrote || n > 0;
        m_queued -= static_cast<qint64>(n);
        while (n > 0) {
            const size_t left = static_cast<size_t>(m_queue.front().size() - m_frontOffset);
            if (n < left) {
                m_frontOffset += static_cast<qsizetype>(n);
                break;
            }
            n -= left;
            m_queue.pop_front();
            m_frontOffset = 0;
        }
    }
    if (m_queue.empty()) {
        m_queuedSince = -1;
        if (m_closing) {
            finishClose();
            return;
        }
    }
    if (wrote && m_notifyWritten && m_listener)
        m_listener->connectionWritten();
}

void Connection::waitWritable()
{
    if (m_writeWaiting || !m_open)
        return;
    m_writeWaiting = true;
    m_socket.async_wait(asio::ip::tcp::socket::wait_write, [self = shared_from_this()](const asio::error_code& ec) {
        self->m_writeWaiting = false;
        if (ec || !self->m_open)
            return;
        self->flush();
    });
}

void Connection::closeAfterSending()
{
    if (!m_open || m_closing)
        return;
    m_closing = true;
    if (m_queue.empty() && !m_dirty) {
        // Reported from the transport's turn, as every end is.
        m_dirty = true;
        m_transport.markDirty(shared_from_this(), Lane::Bulk);
    }
}

void Connection::finishClose()
{
    asio::error_code ec;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
    char sink[4096];
    for (int i = 0; i < kDiscardReadsOnClose; ++i) {
        if (m_socket.read_some(asio::buffer(sink), ec) == 0 || ec)
            break;
    }
    reportClosed(QStringLiteral("closed"));
}

void Connection::fail(const QString& reason) { reportClosed(reason); }

void Connection::reportClosed(const QString& reason)
{
    if (!m_open)
        return;
    abort();
    if (ConnectionListener* listener = std::exchange(m_listener, nullptr))
        listener->connectionClosed(reason);
}

void Connection::abort()
{
    const bool stuck = m_queued > 0;
    m_open = false;
    m_closing = false;
    m_queue.clear();
    m_frontOffset = 0;
    m_queued = 0;
    m_queuedSince = -1;
    asio::error_code ec;
    if (stuck && m_socket.is_open()) {
        // What the client did not read goes too: a reset frees the system's buffers at
        // once instead of retrying them to a client that does not read.
        m_socket.set_option(asio::socket_base::linger(true, 0), ec);
    }
    m_socket.close(ec);
}

Transport::Transport(std::function<qint64()> clock, QObject* parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_work(asio::make_work_guard(m_context))
    , m_acceptor(m_context)
    , m_acceptPause(m_context)
{
    m_turn.setTimerType(Qt::PreciseTimer);
    m_turn.setInterval(kTurnMs);
    connect(&m_turn, &QTimer::timeout, this, &Transport::poll);
    m_turn.start();
}

Transport::~Transport()
{
    close();
    m_turn.stop();
    // Handlers still queued hold their connections; running them out frees everything.
    m_prompt.clear();
    m_dirty.clear();
    m_work.reset();
    m_context.restart();
    m_context.poll();
}

bool Transport::listen(const QString& address, quint16 port, int backlog, int sendBufferBytes, Accepted accepted,
                       QString& error)
{
    asio::error_code ec;
    const asio::ip::address ip = asio::ip::make_address(address.toStdString(), ec);
    if (ec) {
        error = QStringLiteral("not an address: %1").arg(address);
        return false;
    }
    const asio::ip::tcp::endpoint endpoint(ip, port);
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m_acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        m_acceptor.bind(endpoint, ec);
    if (!ec)
        m_acceptor.listen(backlog, ec);
    if (!ec)
        m_acceptor.non_blocking(true, ec);
    if (ec) {
        error = reasonOf(ec);
        m_acceptor.close(ec);
        return false;
    }
    m_port = m_acceptor.local_endpoint(ec).port();
    m_sendBufferBytes = sendBufferBytes;
    m_accepted = std::move(accepted);
    acceptNext();
    return true;
}

void Transport::close()
{
    asio::error_code ec;
    m_acceptor.close(ec);
    m_acceptPause.cancel();
}

void Transport::acceptNext()
{
    if (!m_acceptor.is_open())
        return;
    m_acceptor.async_accept([this](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (ec) {
            // Out of descriptors or memory: the kernel keeps the newcomers queued meanwhile;
            // trying again at once would only spin.
            logRepeated(QStringLiteral("accept"), QStringLiteral("cannot accept a connection: %1").arg(reasonOf(ec)));
            m_acceptPause.expires_after(std::chrono::milliseconds(100));
            m_acceptPause.async_wait([this](const asio::error_code& waited) {
                if (!waited)
                    acceptNext();
            });
            return;
        }
        asio::error_code option;
        socket.set_option(asio::ip::tcp::no_delay(true), option);
        if (m_sendBufferBytes > 0)
            socket.set_option(asio::socket_base::send_buffer_size(m_sendBufferBytes), option);
        auto connection = std::make_shared<Connection>(*this, std::move(socket));
        if (m_accepted)
            m_accepted(std::move(connection));
        acceptNext();
    });
}

std::shared_ptr<Connection> Transport::adoptDescriptor(int fd, QString& error)
{
    asio::ip::tcp::socket socket(m_context);
    asio::error_code ec;
    socket.assign(asio::ip::tcp::v4(), fd, ec);
    if (ec) {
        error = reasonOf(ec);
        return nullptr;
    }
    return std::make_shared<Connection>(*this, std::move(socket));
}

std::shared_ptr<Connection> Transport::closedConnection()
{
    return std::make_shared<Connection>(*this, asio::ip::tcp::socket(m_context));
}

void Transport::markDirty(std::shared_ptr<Connection> connection, Lane lane)
{
    (lane == Lane::Prompt ? m_prompt : m_dirty).connections.push_back(std::move(connection));
}

void Transport::flushList(DirtyList& list, bool Connection::*inList)
{
    // A flush may queue more (a written() that sends the next piece); those come at the
    // end of the list. A turn flushes a bounded number, so the requests that came in are
    // handled between the parts of a large block of prices.
    for (int budget = kFlushesPerTurn; budget > 0 && list.pending(); --budget) {
        const std::shared_ptr<Connection> c = std::move(list.connections[list.done++]);
        if (inList == &Connection::m_dirty && c->m_dirty)
            m_longestWriteWait = std::max(m_longestWriteWait, now() - c->m_dirtySince);
        (*c).*inList = false;
        if (c->m_open && c->m_closing && c->m_queue.empty())
            c->finishClose();
        else
            c->flush();
    }
    if (!list.pending())
        list.clear();
}

void Transport::flushDirty()
{
    flushList(m_prompt, &Connection::m_promptDirty);
    flushList(m_dirty, &Connection::m_dirty);
}

void Transport::poll()
{
    bool more = true;
    for (int i = 0; i < kHandlersPerTurn; ++i) {
        if (m_context.poll_one() == 0) {
            more = false;
            break;
        }
    }
    flushDirty();
    more = more || m_prompt.pending() || m_dirty.pending();
    if (more && !m_againQueued) {
        // Work is left: the next turn comes as soon as the other events had theirs, not
        // after the timer's millisecond.
        m_againQueued = true;
        QMetaObject::invokeMethod(this, [this] {
            m_againQueued = false;
            poll();
        }, Qt::QueuedConnection);
    }
}

} // namespace korvi::server
