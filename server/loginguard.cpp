#include "loginguard.h"

#include <algorithm>

namespace korvi::server {

QString LoginGuard::nameKey(const QByteArray& name)
{
    // Names compare without regard to case in the store, so here too.
    return QString::fromLatin1(name).toCaseFolded();
}

qint64 LoginGuard::delayFor(int failures, int free) const
{
    if (failures < free)
        return 0;
    const int doublings = std::min(failures - free, 20);
    return std::min(m_limits.maxDelayMs, m_limits.firstDelayMs << doublings);
}

void LoginGuard::forgetOld(QHash<QString, Entry>& table, qint64 now)
{
    if (table.size() < m_limits.maxTracked)
        return;
    for (auto it = table.begin(); it != table.end();) {
        if (now - it->lastFailureAt >= m_limits.forgetAfterMs && it->nextAt <= now)
            it = table.erase(it);
        else
            ++it;
    }
    // Still full: the oldest go, so new guessing is always counted.
    while (table.size() >= m_limits.maxTracked) {
        auto oldest = std::min_element(table.begin(), table.end(),
                                       [](const Entry& a, const Entry& b) { return a.lastFailureAt < b.lastFailureAt; });
        table.erase(oldest);
    }
}

LoginGuard::Admission LoginGuard::admit(const QByteArray& name, const QString& address, qint64 now)
{
    Admission out;
    qint64 start = now;
    Entry* entries[2] = {nullptr, nullptr};
    const std::pair<QHash<QString, Entry>*, QString> keys[2] = {{&m_byName, nameKey(name)}, {&m_byAddress, address}};
    for (int i = 0; i < 2; ++i) {
        auto it = keys[i].first->find(keys[i].second);
        if (it == keys[i].first->end())
            continue;
        if (now - it->lastFailureAt >= m_limits.forgetAfterMs && it->nextAt <= now) {
            keys[i].first->erase(it);
            continue;
        }
        entries[i] = &*it;
        start = std::max(start, it->nextAt);
        out.failures = std::max(out.failures, it->failures);
    }
    const qint64 delays[2] = {entries[0] ? delayFor(entries[0]->failures, m_limits.freeFailuresPerName) : 0,
                              entries[1] ? delayFor(entries[1]->failures, m_limits.freeFailuresPerAddress) : 0};
    if (start - now > m_limits.maxDelayMs) {
        out.refused = true;
        return out;
    }
    // The slot after this attempt is taken now, so parallel attempts line up.
    for (int i = 0; i < 2; ++i) {
        if (entries[i] && delays[i] > 0)
            entries[i]->nextAt = start + delays[i];
    }
    out.waitMs = start - now;
    return out;
}

int LoginGuard::failed(const QByteArray& name, const QString& address, qint64 now)
{
    forgetOld(m_byName, now);
    forgetOld(m_byAddress, now);
    Entry& byName = m_byName[nameKey(name)];
    Entry& byAddress = m_byAddress[address];
    for (Entry* e : {&byName, &byAddress}) {
        ++e->failures;
        e->lastFailureAt = now;
    }
    // The first attempt after this failure waits already.
    byName.nextAt = std::max(byName.nextAt, now + delayFor(byName.failures, m_limits.freeFailuresPerName));
    byAddress.nextAt = std::max(byAddress.nextAt, now + delayFor(byAddress.failures, m_limits.freeFailuresPerAddress));
    return byName.failures;
}

void LoginGuard::succeeded(const QByteArray& name) { m_byName.remove(nameKey(name)); }

} // namespace korvi::server
