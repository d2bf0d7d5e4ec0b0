#include "framing.h"

namespace korvi {

QByteArray frame(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size() + 2);
    out.append(FrameStart);
    out.append(text);
    out.append(FrameEnd);
    return out;
}

FrameCut cutFrame(QByteArrayView buffer, qsizetype endSearchFrom)
{
    FrameCut cut;
    // Resynchronise: drop everything before a FrameStart that is not at the front.
    const qsizetype start = buffer.indexOf(FrameStart);
    if (start > 0) {
        cut.consumed = start;
        buffer = buffer.sliced(start);
        endSearchFrom = 0;
    }
    const qsizetype end = buffer.indexOf(FrameEnd, endSearchFrom);
    if (end < 0)
        return cut;
    cut.state = FrameCut::Message;
    cut.message = end > 0 ? buffer.sliced(1, end - 1) : QByteArrayView();
    cut.consumed += end + 1;
    return cut;
}

bool ReceiveBuffer::append(QByteArrayView bytes)
{
    if (m_discarding) {
        const qsizetype start = bytes.indexOf(FrameStart);
        if (start < 0)
            return true;
        bytes = bytes.sliced(start);
        m_discarding = false;
    }
    if (pending() + bytes.size() > m_capacity) {
        clear();
        m_discarding = true;
        const qsizetype start = bytes.lastIndexOf(QByteArrayView(&FrameStart, 1));
        if (start >= 0 && bytes.size() - start <= m_capacity) {
            m_data.append(bytes.sliced(start));
            m_discarding = false;
        }
        return false;
    }
    m_data.append(bytes);
    return true;
}

bool ReceiveBuffer::next(QByteArrayView& message)
{
    const QByteArrayView rest = QByteArrayView(m_data).sliced(m_pos);
    const FrameCut cut = cutFrame(rest, m_scanned);
    m_pos += cut.consumed;
    if (cut.state == FrameCut::Incomplete) {
        m_scanned = pending();
        return false;
    }
    m_scanned = 0;
    message = cut.message;
    return true;
}

void ReceiveBuffer::compact()
{
    if (m_pos == 0)
        return;
    if (m_pos >= m_data.size())
        m_data.resize(0); // keeps the allocation for the next arrival
    else
        m_data.remove(0, m_pos);
    m_pos = 0;
}

void ReceiveBuffer::clear()
{
    m_data.clear();
    m_pos = 0;
    m_scanned = 0;
}

} // namespace korvi
