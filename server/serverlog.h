#pragma once

#include <QHash>
#include <QString>
#include <functional>

namespace korvi::server {

// The server's log of connections, logins and errors: one line per event on stderr,
// with the local time in front.
void logLine(const QString& text);
// Switches the log off (for load tests that would otherwise measure the terminal).
void setLogEnabled(bool enabled);
// Sends the lines (without the time) to `sink` instead of stderr; an empty sink restores
// stderr. For tests.
void setLogSink(std::function<void(const QString&)> sink);

// Keeps one source (a connection, or the listener) from flooding the log: the first line
// of a kind in an interval is written, further ones of that kind are only counted, and
// when the interval is over one line tells how many there were and shows the last.
class LogSummary {
public:
    static constexpr qint64 kIntervalMs = 10'000;
    // Kinds tracked at once; lines of further kinds are counted together.
    static constexpr int kMaxKinds = 256;

    explicit LogSummary(qint64 intervalMs = kIntervalMs) : m_intervalMs(intervalMs) {}
    ~LogSummary() { flush(m_lastNow, true); }
    LogSummary(const LogSummary&) = delete;
    LogSummary& operator=(const LogSummary&) = delete;

    void line(const QString& kind, const QString& text, qint64 now);
    // Writes the counts of the intervals that are over; with `all`, of every interval.
    void flush(qint64 now, bool all = false);

private:
    struct Entry {
        qint64 since = 0;
        qint64 repeated = 0;
        QString last;
    };
    qint64 m_intervalMs;
    QHash<QString, Entry> m_entries;
    qint64 m_untracked = 0;
    qint64 m_lastNow = 0;
};

} // namespace korvi::server
