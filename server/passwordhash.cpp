#include "passwordhash.h"

#include <QByteArrayList>
#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

namespace korvi::server {

namespace {

QByteArray derive(QByteArrayView password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toByteArray(), salt,
                                              iterations, 32);
}

// Compares without stopping at the first difference, so the time taken tells nothing.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
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
    const QList<QByteArray> parts = stored.toByteArray().split('$');
    if (parts.size() != 4 || parts[0] != "pbkdf2-sha256")
        return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    if (!ok || iterations < 1 || iterations > 10'000'000)
        return false;
    const QByteArray salt = QByteArray::fromHex(parts[2]);
    const QByteArray expected = QByteArray::fromHex(parts[3]);
    if (salt.isEmpty() || expected.size() != 32)
        return false;
    return sameBytes(derive(password, salt, iterations), expected);
}

} // namespace korvi::server
