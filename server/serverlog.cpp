#include "serverlog.h"

#include <QDateTime>
#include <cstdio>

namespace korvi::server {

namespace {
bool g_enabled = true;
std::function<void(const QString&)> g_sink;
}

void setLogEnabled(bool enabled) { g_enabled = enabled; }

void setLogSink(std::function<void(const QString&)> sink) { g_sink = std::move(sink); }

void logLine(const QString& text)
{
    if (g_sink) {
        g_sink(text);
        return;
    }
    if (!g_enabled)
        return;
    const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toLatin1()
                            + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void LogSummary::line(const QString& kind, const QString& text, qint64 now)
{
    m_lastNow = std::max(m_lastNow, now);
    auto it = m_entries.find(kind);
    if (it == m_entries.end()) {
        if (m_entries.size() >= kMaxKinds) {
            ++m_untracked;
            return;
        }
        m_entries.insert(kind, Entry{now, 0, {}});
        logLine(text);
        return;
    }
    ++it->repeated;
    it->last = text;
}

void LogSummary::flush(qint64 now, bool all)
{
    m_lastNow = std::max(m_lastNow, now);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (!all && now - it->since < m_intervalMs) {
            ++it;
            continue;
        }
        if (it->repeated > 0)
            logLine(QStringLiteral("%1 (%2 more like this in %3 s)")
                        .arg(it->last)
                        .arg(it->repeated)
                        .arg((std::max<qint64>(now - it->since, 0) + 999) / 1000));
        it = m_entries.erase(it);
    }
    if (m_untracked > 0 && (all || m_entries.isEmpty())) {
        logLine(QStringLiteral("%1 further log lines of other kinds left out").arg(m_untracked));
        m_untracked = 0;
    }
}

} // namespace korvi::server
