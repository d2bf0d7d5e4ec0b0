#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace korvi::server {

// A login must stay well under a millisecond or two on one core, so a thousand
// participants can log in within seconds on a single-threaded server.
inline constexpr int kDefaultIterations = 1000;

// Passwords are stored only as salted PBKDF2-SHA256 hashes, written as
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>". The iteration count travels with
// the hash, so it can be raised later without breaking stored accounts.
QByteArray hashPassword(QByteArrayView password, int iterations);
QByteArray hashPassword(QByteArrayView password);
bool verifyPassword(QByteArrayView password, QByteArrayView stored);

} // namespace korvi::server
