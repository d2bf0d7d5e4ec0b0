#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace korvi {

inline constexpr char FrameStart = '\x01';
inline constexpr char FrameEnd = '\x02';

// Wraps one message in its frame characters.
QByteArray frame(QByteArrayView text);

// The outcome of looking for the next message at the front of a receive buffer.
struct FrameCut {
    enum State { Message, Incomplete };
    State state = Incomplete;
    QByteArrayView message;  // the text between the frame characters (Message only)
    qsizetype consumed = 0;  // bytes to remove from the front of the buffer
};

// Cuts the next message out of `buffer`. Bytes before a FrameStart are dropped; the
// message runs from the character after the first one up to the first FrameEnd. When no
// FrameEnd is there yet the state is Incomplete and only dropped bytes are consumed.
// `endSearchFrom` lets a caller skip bytes already known to hold no FrameEnd.
FrameCut cutFrame(QByteArrayView buffer, qsizetype endSearchFrom = 0);

// A receive buffer: appends what arrives and hands out complete messages as views into
// itself. The views stay valid until the next append() or compact(). Beyond `capacity`
// bytes without a complete message the buffer is dropped and reading resynchronises at
// the next FrameStart.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(qsizetype capacity = 16 * 1024 * 1024) : m_capacity(capacity) {}

    // Appends `bytes`. Returns false when the buffer overflowed and its content was dropped.
    bool append(QByteArrayView bytes);
    // The next complete message, if any.
    bool next(QByteArrayView& message);
    // Releases the consumed front of the buffer; call once the messages have been handled.
    void compact();
    void clear();

    qsizetype pending() const { return m_data.size() - m_pos; }
    qsizetype capacity() const { return m_capacity; }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
    qsizetype m_scanned = 0;  // bytes after m_pos known to hold no FrameEnd
    qsizetype m_capacity;
    bool m_discarding = false;  // after an overflow: drop bytes up to the next FrameStart
};

} // namespace korvi
