#include "wexprotocol.h"
#include "dates.h"

#include "framing.h"
#include "numbers.h"
#include "orders/orderrecord.h"
#include "state.h"

namespace korvi {

CommandFields::CommandFields(QByteArrayView text)
{
    if (text.isEmpty())
        return;
    qsizetype from = 0;
    while (m_count < kMax - 1) {
        const qsizetype cut = text.indexOf(';', from);
        if (cut < 0)
            break;
        m_pieces[m_count++] = text.sliced(from, cut - from);
        from = cut + 1;
    }
    m_pieces[m_count++] = text.sliced(from);
}

QByteArray leadingBlank(qint64 value)
{
    return (value < 0 ? QByteArray() : QByteArray(" ")) + QByteArray::number(value);
}

QByteArray wexFrame(QByteArrayView command, std::initializer_list<QByteArrayView> fields)
{
    QByteArray out;
    out += FrameStart;
    out += command;
    for (QByteArrayView f : fields) {
        out += ';';
        out += f;
    }
    out += FrameEnd;
    return out;
}

QByteArray wexInstrumentList(const State& state)
{
    QByteArray out;
    out += FrameStart;
    out += "@IL;";
    for (int n = 1; n <= state.InstrumentCount && size_t(n) < state.Instruments.size(); ++n) {
        const InstrumentRecord& ins = state.Instruments[size_t(n)];
        out += ins.Ticker.trimmed();
        out += ';';
        out += ins.Lumticker.trimmed();
        out += ';';
        out += ins.Name.trimmed();
        out += '\n';
    }
    // The last character, a line feed or the ";" after "@IL", becomes the frame end.
    out[out.size() - 1] = FrameEnd;
    return out;
}

QByteArray hereIAm(const QTime& time)
{
    return "HERE I AM;" + clockText(time).toLatin1();
}

QByteArray wexNewOrderId(QByteArrayView reference, qint32 orderUserId)
{
    return wexFrame("@OC", {reference, leadingBlank(orderUserId)});
}

QByteArray wexError(int code, QByteArrayView text, QByteArrayView reference)
{
    return wexFrame("@ER", {leadingBlank(code), text, reference});
}

QByteArray wexOrderStatus(const OrderRecord& o)
{
    return wexFrame("@OS", {leadingBlank(o.OrderUserID), leadingBlank(o.Status), leadingBlank(o.Filled),
                            leadingBlank(o.Rem), writeSingle(o.Preis)});
}

bool WexBuffer::receive(QByteArrayView bytes, const std::function<bool(QByteArrayView, bool)>& handle)
{
    if (m_discarding) {
        // The rest of a dropped frame: nothing counts until the next frame start.
        const qsizetype start = bytes.indexOf(FrameStart);
        if (start < 0)
            return true;
        bytes = bytes.sliced(start);
        m_discarding = false;
    }
    m_data.append(bytes);
    const qsizetype firstStart = m_data.indexOf(FrameStart);
    if (firstStart < 0) {
        // Unframed input is taken whole. The buffer is emptied before the handler runs.
        const QByteArray message = std::exchange(m_data, QByteArray());
        m_scanned = 0;
        if (!message.isEmpty())
            handle(message, false);
        return true;
    }
    qsizetype pos = firstStart;
    if (pos > 0)
        m_scanned = 0;
    for (;;) {
        const qsizetype end = m_data.indexOf(FrameEnd, pos + 1 + m_scanned);
        if (end < 0)
            break;
        m_scanned = 0;
        const QByteArray message = m_data.mid(pos + 1, end - pos - 1);
        // Whatever follows up to the next frame start belongs to no message.
        const qsizetype next = m_data.indexOf(FrameStart, end + 1);
        pos = next < 0 ? m_data.size() : next;
        if (!handle(message, true)) {
            clear();
            return true;
        }
        if (next < 0)
            break;
    }
    m_data.remove(0, qMin(pos, m_data.size()));
    m_scanned = m_data.isEmpty() ? 0 : m_data.size() - 1;
    if (m_data.size() > m_capacity) {
        clear();
        m_discarding = true;
        return false;
    }
    return true;
}

void WexBuffer::clear()
{
    m_data.clear();
    m_scanned = 0;
    m_discarding = false;
}

} // namespace korvi
