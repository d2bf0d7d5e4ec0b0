#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>

namespace korvi::server {

// PBKDF2-HMAC-SHA256 rounds of a new hash, as current guidance for stored passwords asks.
// One hash takes a noticeable fraction of a second, so the game server never computes one
// on its event loop (see PasswordChecker).
inline constexpr int kDefaultIterations = 600'000;
// Fewest rounds an option may ask for (tests only).
inline constexpr int kMinIterations = 1000;

// Passwords are stored only as salted PBKDF2-SHA256 hashes, written as
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>". The iteration count travels with
// the hash, so it can be raised later without breaking stored accounts.
QByteArray hashPassword(QByteArrayView password, int iterations);
QByteArray hashPassword(QByteArrayView password);
bool verifyPassword(QByteArrayView password, QByteArrayView stored);
// The rounds of a stored hash; 0 when it is not a hash of ours.
int hashIterations(QByteArrayView stored);

// Checks passwords on worker threads and hands each result back on the thread the checker
// lives on. A check that is no longer wanted (the connection went) is skipped when its turn
// comes. The queue of checks is bounded.
//
// A password that was right once is remembered for the life of the process, so a
// participant who reconnects costs no new hash: what is kept per name is a keyed digest
// (HMAC-SHA256 under a random key of this process) of the name, the password and the
// stored hash. A new password means a new stored hash, however it was set (administration,
// another process, a renewal), so the digest no longer matches and the next login is
// hashed again.
class PasswordChecker : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool ok = false;
        QByteArray upgradedHash; // with `targetIterations` rounds, when the stored one had fewer
    };
    using Done = std::function<void(const Result&)>;
    static constexpr int kDefaultMaxPending = 1024;
    static constexpr int kMaxRemembered = 100'000;

    // `threads`: workers at most; 0: one per core.
    explicit PasswordChecker(int threads = 0, int maxPending = kDefaultMaxPending, QObject* parent = nullptr);
    ~PasswordChecker() override;

    // Checks `password` of `name` against `stored`; `done` runs later on this object's
    // thread, unless `cancelled` was set by then. A right password is remembered. False
    // (and nothing runs) when the queue is full.
    bool check(QByteArray name, QByteArray password, QByteArray stored, int targetIterations,
               std::shared_ptr<std::atomic_bool> cancelled, Done done);
    // True when this password of `name` was found right against this very stored hash
    // before. Takes microseconds; no worker is involved.
    bool knownRight(QByteArrayView name, QByteArrayView password, QByteArrayView stored) const;
    // Waits for the checks under way (for tests and shutdown).
    void waitForDone() { m_pool.waitForDone(); }
    int pending() const { return m_pending; }
    int threads() const { return m_pool.maxThreadCount(); }

private:
    QByteArray digest(QByteArrayView name, QByteArrayView password, QByteArrayView stored) const;
    static QByteArray nameKey(QByteArrayView name);

    QThreadPool m_pool;
    QByteArray m_key; // set once, read by the workers
    QHash<QByteArray, QByteArray> m_right; // name key -> digest
    int m_pending = 0;
    int m_maxPending;
};

} // namespace korvi::server
