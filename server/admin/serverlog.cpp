#include "serverlog.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>

namespace korvi::server {

namespace {
bool g_enabled = true;
std::function<void(const QString&)> g_sink;

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The process-wide summary of logRepeated(), on its own monotonic clock.
struct Repeated {
    QElapsedTimer clock;
    LogSummary summary;
    Repeated() { clock.start(); }
};

Repeated& repeated()
{
    static Repeated r;
    return r;
}
} // namespace

QString escapedForLog(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (isControl(c.unicode()))
            out += QStringLiteral("\\x%1").arg(static_cast<uint>(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void logRepeated(const QString& kind, const QString& text)
{
    Repeated& r = repeated();
    r.summary.line(kind, text, r.clock.elapsed());
}

void flushRepeated(bool all)
{
    Repeated& r = repeated();
    r.summary.flush(r.clock.elapsed(), all);
}

void setLogEnabled(bool enabled) { g_enabled = enabled; }

void setLogSink(std::function<void(const QString&)> sink) { g_sink = std::move(sink); }

void logLine(const QString& rawText)
{
    if (!g_sink && !g_enabled)
        return;
    const QString text = escapedForLog(rawText);
    if (g_sink) {
        g_sink(text);
        return;
    }
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
        if (m_entries.size() >= m_maxKinds) {
            ++m_untracked;
            return;
        }
        it = m_entries.insert(kind, Entry{now, 0, 0, {}});
    }
    if (it->written < m_burst) {
        ++it->written;
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
