#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <vector>

namespace korvi::server {

class ParticipantStore;

// Adding many participants from one file, as an operator of a class or a school does.
// Each line is "name;password" (single-byte text, CR LF or LF); a line with only a name, or
// with nothing after the ";", gets a generated password. Blank lines are skipped.
namespace participantimport {

struct Entry {
    int line = 0;          // 1-based, for the operator's messages
    QByteArray name;
    QByteArray password;
    bool generated = false;
};

struct Problem {
    int line = 0;
    QString text;
};

struct Parsed {
    std::vector<Entry> entries;
    std::vector<Problem> problems; // one for every bad line, in line order
};

// Most lines one file may hold, and its largest size: a file beyond them is refused.
inline constexpr int kMaxLines = 100'000;
inline constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// Reads the lines; a bad name or password and a name twice in the file (names compare
// without regard to case) are problems. Names without passwords get one from
// `newPassword`.
Parsed parse(const QByteArray& text, const std::function<QByteArray()>& newPassword);

// A password of 12 letters and digits from the system's random source, without the
// characters that are easily mistaken for one another.
QByteArray generatePassword();

// Hashes every password with `iterations` rounds on `workers` threads (0: one per core);
// the result is in the entries' order.
std::vector<QByteArray> hashAll(const std::vector<Entry>& entries, int iterations, int workers = 0);

// The whole import: reads `path`, checks every line and every name against the store, and
// either adds all participants in one transaction or none. On success `out` holds
// "name;password" for every generated password (and nothing else, so it can go straight
// to a file) and `err` the count; otherwise `err` lists the problems with their lines.
// Returns the exit code.
int run(const QString& path, ParticipantStore& store, QByteArray& out, QByteArray& err);

} // namespace participantimport

} // namespace korvi::server
