#pragma once

#include <QByteArray>
#include <QByteArrayView>
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
// comes.
class PasswordChecker : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool ok = false;
        QByteArray upgradedHash; // with `targetIterations` rounds, when the stored one had fewer
    };
    using Done = std::function<void(const Result&)>;

    // `threads`: workers at most; 0 leaves one core to the event loop.
    explicit PasswordChecker(int threads = 0, QObject* parent = nullptr);
    ~PasswordChecker() override;

    // Checks `password` against `stored`; `done` runs later on this object's thread,
    // unless `cancelled` was set by then.
    void check(QByteArray password, QByteArray stored, int targetIterations,
               std::shared_ptr<std::atomic_bool> cancelled, Done done);
    // Waits for the checks under way (for tests and shutdown).
    void waitForDone() { m_pool.waitForDone(); }
    int pending() const { return m_pending; }

private:
    QThreadPool m_pool;
    int m_pending = 0;
};

} // namespace korvi::server
