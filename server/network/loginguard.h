#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

namespace korvi::server {

// Slows down password guessing without locking the owner of a name out.
//
// A name is throttled per address it is tried from: the first attempts of a name from an
// address are prompt, further ones wait, twice as long each time up to a ceiling, and
// attempts arriving in parallel line up one delay apart; beyond the ceiling they are
// refused before any password is checked. Failures for "alice" from one address therefore
// never slow down "alice" from another.
//
// An address is throttled by the number of different names that failed from there
// (spraying one password over many names), not by how many participants log in from it:
// a name that then logs in from the address is struck off, and every different name that
// logged in from there takes one step off the address's delay, so a class behind one
// router is not held back by one guesser among them. The address's delay is a wait per
// attempt, not a queue, so participants sharing it wait at most the ceiling, in parallel.
//
// Time is passed in by the caller. Entries are forgotten after a quiet spell; the tables
// and the name sets are bounded.
class LoginGuard {
public:
    struct Limits {
        int freeAttemptsPerName = 3;   // per name and address: a few typing errors cost nothing
        int freeNamesPerAddress = 5;   // different names failed from one address
        qint64 firstDelayMs = 1000;
        // Below the client's 10-second watchdog, which would otherwise reconnect.
        qint64 maxDelayMs = 8000;
        qint64 forgetAfterMs = 15 * 60'000;
        int maxTracked = 10'000;       // entries per table
        int maxNamesPerAddress = 32;   // names remembered per address and kind
    };
    struct Admission {
        bool refused = false;    // this name from this address has too many attempts waiting
        qint64 waitMs = 0;
        int attempts = 0;        // earlier attempts of the name from the address
        int guessedNames = 0;    // names that failed from the address
    };

    LoginGuard() = default;
    explicit LoginGuard(Limits limits) : m_limits(limits) {}

    // When an attempt for `name` from `address`, arriving at `now`, may be checked. An
    // admitted attempt counts from now on; a refused one does not.
    Admission admit(const QByteArray& name, const QString& address, qint64 now);
    // The password was wrong. Returns the attempts of the name from the address so far.
    int failed(const QByteArray& name, const QString& address, qint64 now);
    // The password was right: the name starts afresh from the address, and the address
    // counts one more participant. An address is forgotten after a quiet spell without
    // failures, whatever logs in from there.
    void succeeded(const QByteArray& name, const QString& address);
    // The participant got a new password: its failed attempts no longer count anywhere.
    void forgetName(const QByteArray& name);

    int tracked() const { return static_cast<int>(m_byPair.size() + m_byAddress.size()); }
    const Limits& limits() const { return m_limits; }

private:
    struct Pair {
        int attempts = 0;
        qint64 lastAt = 0;
        qint64 nextAt = 0;  // the earliest start of the next attempt
    };
    struct Address {
        QSet<QString> guessed;   // names that failed from here
        QSet<QString> loggedIn;  // names that logged in from here
        qint64 lastAt = 0;       // of the last failure
    };
    qint64 delayFor(int step) const;
    qint64 addressDelay(const Address& a) const;
    template <typename Table>
    void makeRoom(Table& table, qint64 now);
    static QString nameKey(const QByteArray& name);
    static QString pairKey(const QByteArray& name, const QString& address);

    Limits m_limits;
    QHash<QString, Pair> m_byPair;
    QHash<QString, Address> m_byAddress;
};

} // namespace korvi::server
