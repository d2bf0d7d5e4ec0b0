#include "loginguard.h"

#include <algorithm>

namespace korvi::server {

QString LoginGuard::nameKey(const QByteArray& name)
{
    // Names compare without regard to case in the store, so here too.
    return QString::fromLatin1(name).toCaseFolded();
}

void LoginGuard::forgetName(const QByteArray& name)
{
    const QString key = nameKey(name);
    const QString prefix = key + QLatin1Char('%');
    for (auto it = m_byPair.begin(); it != m_byPair.end();)
        it = it.key().startsWith(prefix) ? m_byPair.erase(it) : std::next(it);
    for (Address& a : m_byAddress)
        a.guessed.remove(key);
}

QString LoginGuard::pairKey(const QByteArray& name, const QString& address)
{
    // A name never holds '%' (it ends the name in the login request).
    return nameKey(name) + QLatin1Char('%') + address;
}

qint64 LoginGuard::delayFor(int step) const
{
    if (step < 0)
        return 0;
    return std::min(m_limits.maxDelayMs, m_limits.firstDelayMs << std::min(step, 20));
}

qint64 LoginGuard::addressDelay(const Address& a) const
{
    const auto guessed = static_cast<int>(a.guessed.size());
    const auto participants = static_cast<int>(a.loggedIn.size());
    return delayFor(guessed - m_limits.freeNamesPerAddress - participants);
}

template <typename Table>
void LoginGuard::makeRoom(Table& table, qint64 now)
{
    if (table.size() < m_limits.maxTracked)
        return;
    for (auto it = table.begin(); it != table.end();) {
        if (now - it->lastAt >= m_limits.forgetAfterMs)
            it = table.erase(it);
        else
            ++it;
    }
    // Still full: the oldest go, so new guessing is always counted.
    while (table.size() >= m_limits.maxTracked) {
        auto oldest = std::min_element(table.begin(), table.end(),
                                       [](const auto& a, const auto& b) { return a.lastAt < b.lastAt; });
        table.erase(oldest);
    }
}

LoginGuard::Admission LoginGuard::admit(const QByteArray& name, const QString& address, qint64 now)
{
    Admission out;
    qint64 start = now;
    const QString key = pairKey(name, address);
    auto pair = m_byPair.find(key);
    if (pair != m_byPair.end() && now - pair->lastAt >= m_limits.forgetAfterMs && pair->nextAt <= now)
    {
        m_byPair.erase(pair);
        pair = m_byPair.end();
    }
    if (pair != m_byPair.end()) {
        out.attempts = pair->attempts;
        start = std::max(start, pair->nextAt);
    }
    auto place = m_byAddress.find(address);
    if (place != m_byAddress.end() && now - place->lastAt >= m_limits.forgetAfterMs)
    {
        m_byAddress.erase(place);
        place = m_byAddress.end();
    }
    if (place != m_byAddress.end()) {
        out.guessedNames = static_cast<int>(place->guessed.size());
        start = std::max(start, now + addressDelay(*place));
    }
    // The address's wait is capped at the ceiling, so only a queue of attempts of this
    // name from this address goes past it.
    if (start - now > m_limits.maxDelayMs) {
        out.refused = true;
        return out;
    }
    if (pair == m_byPair.end()) {
        makeRoom(m_byPair, now);
        pair = m_byPair.insert(key, Pair{});
    }
    // The slot after this attempt is taken now, so parallel attempts line up.
    ++pair->attempts;
    pair->lastAt = now;
    pair->nextAt = start + delayFor(pair->attempts - m_limits.freeAttemptsPerName);
    out.waitMs = start - now;
    return out;
}

int LoginGuard::failed(const QByteArray& name, const QString& address, qint64 now)
{
    const QString key = pairKey(name, address);
    auto pair = m_byPair.find(key);
    if (pair == m_byPair.end()) {
        // Pushed out of a full table meanwhile: counted again from here.
        makeRoom(m_byPair, now);
        pair = m_byPair.insert(key, Pair{1, now, now});
    }
    pair->lastAt = now;
    auto place = m_byAddress.find(address);
    if (place == m_byAddress.end()) {
        makeRoom(m_byAddress, now);
        place = m_byAddress.insert(address, Address{});
    }
    place->lastAt = now;
    if (place->guessed.size() < m_limits.maxNamesPerAddress)
        place->guessed.insert(nameKey(name));
    return pair->attempts;
}

void LoginGuard::succeeded(const QByteArray& name, const QString& address)
{
    m_byPair.remove(pairKey(name, address));
    // Only an address that saw failures keeps its participants; others cost nothing.
    const auto place = m_byAddress.find(address);
    if (place == m_byAddress.end())
        return;
    const QString key = nameKey(name);
    // A name that logs in after failing from here was mistyped, not guessed.
    place->guessed.remove(key);
    if (place->loggedIn.size() < m_limits.maxNamesPerAddress)
        place->loggedIn.insert(key);
}

} // namespace korvi::server
