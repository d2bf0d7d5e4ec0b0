#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

namespace korvi::server {

// Slows down password guessing: after a few failed logins for one participant name, or
// from one address, each further attempt waits, twice as long after every new failure up
// to a ceiling. Attempts that arrive in parallel queue up one delay apart, so opening
// many connections at once gains nothing. Failures are forgotten after a quiet spell; the
// tables are bounded.
class LoginGuard {
public:
    struct Limits {
        int freeFailuresPerName = 3;      // a few typing errors cost nothing
        int freeFailuresPerAddress = 10;  // several participants may share an address
        qint64 firstDelayMs = 1000;
        // Below the client's 10-second watchdog, which would otherwise reconnect.
        qint64 maxDelayMs = 8000;
        qint64 forgetAfterMs = 15 * 60'000;
        int maxTracked = 10'000;
    };
    struct Admission {
        bool refused = false;  // too many attempts already waiting
        qint64 waitMs = 0;
        int failures = 0;      // the larger of the name's and the address's count
    };

    LoginGuard() = default;
    explicit LoginGuard(Limits limits) : m_limits(limits) {}

    // When an attempt for `name` from `address`, arriving at `now`, may be checked.
    Admission admit(const QByteArray& name, const QString& address, qint64 now);
    // Returns the name's failures so far, this one included.
    int failed(const QByteArray& name, const QString& address, qint64 now);
    // A right password clears the name's count; the address keeps its count until it is
    // forgotten, so one good account cannot wipe the traces of guessing at others.
    void succeeded(const QByteArray& name);

    int tracked() const { return static_cast<int>(m_byName.size() + m_byAddress.size()); }

private:
    struct Entry {
        int failures = 0;
        qint64 lastFailureAt = 0;
        qint64 nextAt = 0;  // the earliest start of the next attempt
    };
    qint64 delayFor(int failures, int free) const;
    void forgetOld(QHash<QString, Entry>& table, qint64 now);
    static QString nameKey(const QByteArray& name);

    Limits m_limits;
    QHash<QString, Entry> m_byName;
    QHash<QString, Entry> m_byAddress;
};

} // namespace korvi::server
