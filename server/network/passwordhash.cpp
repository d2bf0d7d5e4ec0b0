#include "passwordhash.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QThread>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace korvi::server {

namespace {

constexpr int kMaxIterations = 10'000'000;

QByteArray derive(QByteArrayView password, const QByteArray& salt, int iterations)
{
    QByteArray key(32, '\0');
    const int ok = PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                                     reinterpret_cast<const unsigned char*>(salt.constData()),
                                     static_cast<int>(salt.size()), iterations, EVP_sha256(),
                                     static_cast<int>(key.size()), reinterpret_cast<unsigned char*>(key.data()));
    return ok == 1 ? key : QByteArray();
}

struct Parsed {
    int iterations = 0;
    QByteArray salt;
    QByteArray expected;
};

bool parse(QByteArrayView stored, Parsed& out)
{
    const QList<QByteArray> parts = stored.toByteArray().split('$');
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256")
        return false;
    bool ok = false;
    out.iterations = parts[1].toInt(&ok);
    if (!ok || out.iterations < 1 || out.iterations > kMaxIterations)
        return false;
    out.salt = QByteArray::fromHex(parts[2]);
    out.expected = QByteArray::fromHex(parts[3]);
    return !out.salt.isEmpty() && out.expected.size() == 32;
}

} // namespace

QByteArray hashPassword(QByteArrayView password) { return hashPassword(password, kDefaultIterations); }

QByteArray hashPassword(QByteArrayView password, int iterations)
{
    QByteArray salt(16, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    return "pbkdf2-sha256$" + QByteArray::number(iterations) + '$' + salt.toHex() + '$'
           + derive(password, salt, iterations).toHex();
}

bool verifyPassword(QByteArrayView password, QByteArrayView stored)
{
    Parsed p;
    if (!parse(stored, p))
        return false;
    const QByteArray actual = derive(password, p.salt, p.iterations);
    // Compared without stopping at the first difference, so the time taken tells nothing.
    return actual.size() == p.expected.size() && CRYPTO_memcmp(actual.constData(), p.expected.constData(), 32) == 0;
}

int hashIterations(QByteArrayView stored)
{
    Parsed p;
    return parse(stored, p) ? p.iterations : 0;
}

namespace {

// The scheduling niceness of the checkers: a weight of about a third of the server thread.
constexpr int kCheckerNice = 5;

// A wave of logins must not hold up the prices and orders of those already playing: the
// checkers run a little behind the server's own thread whenever the cores are busy, and at
// full speed when they are not.
void yieldToTheGame()
{
#ifdef __linux__
    static thread_local const bool lowered = [] {
        return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kCheckerNice) == 0;
    }();
    (void)lowered;
#endif
}

} // namespace

PasswordChecker::PasswordChecker(int threads, int maxPending, QObject* parent)
    : QObject(parent), m_key(32, '\0'), m_maxPending(std::max(1, maxPending))
{
    if (threads <= 0)
        threads = std::max(1, QThread::idealThreadCount());
    m_pool.setMaxThreadCount(threads);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(m_key.data()), m_key.size() / 4);
}

PasswordChecker::~PasswordChecker()
{
    m_pool.clear();
    m_pool.waitForDone();
}

QByteArray PasswordChecker::nameKey(QByteArrayView name)
{
    // Names compare without regard to case in the store.
    return QString::fromLatin1(name).toCaseFolded().toLatin1();
}

QByteArray PasswordChecker::digest(QByteArrayView name, QByteArrayView password, QByteArrayView stored) const
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, m_key);
    // Lengths first, so no two different triples give the same input.
    const QByteArray key = nameKey(name);
    for (const QByteArrayView part : {QByteArrayView(key), password, stored}) {
        mac.addData(QByteArray::number(part.size()) + ':');
        mac.addData(part.data(), part.size());
    }
    return mac.result();
}

bool PasswordChecker::knownRight(QByteArrayView name, QByteArrayView password, QByteArrayView stored) const
{
    const auto it = m_right.constFind(nameKey(name));
    if (it == m_right.cend())
        return false;
    const QByteArray actual = digest(name, password, stored);
    return actual.size() == it->size() && CRYPTO_memcmp(actual.constData(), it->constData(), actual.size()) == 0;
}

bool PasswordChecker::check(QByteArray name, QByteArray password, QByteArray stored, int targetIterations,
                            std::shared_ptr<std::atomic_bool> cancelled, Done done)
{
    if (m_pending >= m_maxPending)
        return false;
    ++m_pending;
    m_pool.start([this, name = std::move(name), password = std::move(password), stored = std::move(stored),
                  targetIterations, cancelled = std::move(cancelled), done = std::move(done)]() mutable {
        yieldToTheGame();
        Result result;
        QByteArray right;
        const bool wanted = !cancelled || !*cancelled;
        if (wanted) {
            result.ok = verifyPassword(password, stored);
            if (result.ok && hashIterations(stored) < targetIterations)
                result.upgradedHash = hashPassword(password, targetIterations);
            if (result.ok)
                right = digest(name, password, result.upgradedHash.isEmpty() ? stored : result.upgradedHash);
        }
        // The pool is emptied and waited for before this object goes, so `this` is alive.
        QMetaObject::invokeMethod(this, [this, result, wanted, cancelled, name = std::move(name),
                                         right = std::move(right), done = std::move(done)] {
            --m_pending;
            if (!right.isEmpty()) {
                if (m_right.size() >= kMaxRemembered)
                    m_right.clear();
                m_right.insert(nameKey(name), right);
            }
            if (wanted && (!cancelled || !*cancelled))
                done(result);
        }, Qt::QueuedConnection);
    });
    return true;
}

} // namespace korvi::server
