#pragma once

#include <QHash>
#include <QString>
#include <algorithm>
#include <functional>

namespace korvi::server {

// The server's log of connections, logins and errors: one line per event on stderr,
// with the local time in front. Control characters (below 0x20 and 0x7F to 0x9F) are
// written as "\xNN", so text from a client can neither break a line nor steer a terminal.
void logLine(const QString& text);
// `text` with its control characters escaped as the log writes them.
QString escapedForLog(const QString& text);
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

    // `burst`: lines of a kind written per interval before counting starts.
    explicit LogSummary(qint64 intervalMs = kIntervalMs, int burst = 1, int maxKinds = kMaxKinds)
        : m_intervalMs(intervalMs), m_burst(std::max(1, burst)), m_maxKinds(maxKinds)
    {
    }
    ~LogSummary() { flush(m_lastNow, true); }
    LogSummary(const LogSummary&) = delete;
    LogSummary& operator=(const LogSummary&) = delete;

    void line(const QString& kind, const QString& text, qint64 now);
    // Writes the counts of the intervals that are over; with `all`, of every interval.
    void flush(qint64 now, bool all = false);

private:
    struct Entry {
        qint64 since = 0;
        int written = 0;
        qint64 repeated = 0;
        QString last;
    };
    qint64 m_intervalMs;
    int m_burst;
    int m_maxKinds;
    QHash<QString, Entry> m_entries;
    qint64 m_untracked = 0;
    qint64 m_lastNow = 0;
};

// Repeatable lines of parts without a summary of their own (the trading engine, the
// address pages): summed up per kind over the whole process, like a LogSummary's.
void logRepeated(const QString& kind, const QString& text);
// Writes those summaries whose interval is over; with `all`, every one.
void flushRepeated(bool all = false);

} // namespace korvi::server
