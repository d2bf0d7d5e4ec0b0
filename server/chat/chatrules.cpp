#include "chatrules.h"

#include "numbers.h"

#include <algorithm>

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

ChatLine parseLine(QByteArrayView body)
{
    ChatLine line;
    line.text = body;
    const qsizetype cut = body.indexOf(';');
    if (cut < 0)
        return line;
    line.text = body.sliced(cut + 1);
    if (cut == 0)
        return line;
    line.isPrivate = true;
    line.recipient = body.first(cut).toByteArray();
    return line;
}

LineBudget::Verdict LineBudget::take(qint64 nowMs)
{
    if (m_last >= 0 && nowMs > m_last)
        m_tokens = std::min<double>(kMaxLinesPerSecond, m_tokens + (nowMs - m_last) * kMaxLinesPerSecond / 1000.0);
    m_last = std::max(m_last, nowMs);
    if (m_tokens >= 1) {
        m_tokens -= 1;
        return Verdict::Pass;
    }
    const bool warn = m_lastDrop < 0 || nowMs - m_lastDrop >= 1000;
    m_lastDrop = nowMs;
    return warn ? Verdict::DropAndWarn : Verdict::Drop;
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

bool PresenceNotices::entered(qint64 participant, qint64* leftAt)
{
    const auto it = std::find_if(m_leaves.begin(), m_leaves.end(), [&](const Leave& l) { return l.participant == participant; });
    if (it == m_leaves.end())
        return true;
    if (leftAt)
        *leftAt = it->at;
    m_leaves.erase(it);
    return false;
}

void PresenceNotices::left(qint64 participant, const QByteArray& name, qint64 nowMs)
{
    m_leaves.push_back(Leave{participant, name, nowMs});
}

std::vector<QByteArray> PresenceNotices::due(qint64 nowMs)
{
    std::vector<QByteArray> out;
    while (!m_leaves.empty() && nowMs - m_leaves.front().at >= kQuietMs) {
        out.push_back(std::move(m_leaves.front().name));
        m_leaves.erase(m_leaves.begin());
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
