#include "chatrules.h"

#include "numbers.h"

namespace korvi::server::chat {

QByteArray cleanText(QByteArrayView text)
{
    QByteArray out;
    out.reserve(std::min(text.size(), kMaxLineChars));
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            continue;
        out.append(c);
        if (out.size() == kMaxLineChars)
            break;
    }
    return out;
}

ChatLine parseLine(QByteArrayView body, const std::function<bool(QByteArrayView name)>& isParticipant)
{
    ChatLine line;
    line.text = body;
    const qsizetype cut = body.indexOf(';');
    if (cut <= 0)
        return line;
    const QByteArrayView name = body.first(cut);
    if (!isParticipant(name))
        return line;
    line.isPrivate = true;
    line.recipient = name.toByteArray();
    line.text = body.sliced(cut + 1);
    return line;
}

LineBudget::Verdict LineBudget::take(qint64 nowMs)
{
    if (m_windowStart < 0 || nowMs - m_windowStart >= 1000) {
        if (!m_droppedInWindow)
            m_warned = false;
        m_windowStart = nowMs;
        m_count = 0;
        m_droppedInWindow = false;
    }
    if (++m_count <= kMaxLinesPerSecond)
        return Verdict::Pass;
    m_droppedInWindow = true;
    if (m_warned)
        return Verdict::Drop;
    m_warned = true;
    return Verdict::DropAndWarn;
}

QByteArray userList(const std::vector<QByteArray>& names)
{
    QByteArray out = "@SCU=";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out.append(';');
        out.append(names[i]);
    }
    return out;
}

QByteArray userEnters(QByteArrayView name) { return "@CU1=" + name.toByteArray(); }
QByteArray userLeaves(QByteArrayView name) { return "@CU0=" + name.toByteArray(); }

QByteArray chatLine(QByteArrayView sender, QByteArrayView text, bool isPrivate)
{
    QByteArray out = "@RC=";
    out.append(sender).append(':');
    if (isPrivate)
        out.append("(privat) ");
    return out.append(text);
}

QByteArray tradeLine(QByteArrayView ticker, bool buy, qint32 quantity, double price)
{
    return "@RT=" + ticker.toByteArray() + ';' + stri(buy ? quantity : -qint64(quantity)) + ';' + writeDouble(price);
}

QByteArray notPresent(QByteArrayView name) { return "@MSG=Chat: " + name.toByteArray() + " ist nicht im Chat"; }

} // namespace korvi::server::chat
