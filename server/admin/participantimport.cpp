#include "participantimport.h"

#include "participantstore.h"
#include "passwordhash.h"

#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <algorithm>
#include <atomic>
#include <thread>

namespace korvi::server::participantimport {

namespace {

// Names compare as the store compares them: ASCII letters without regard to case.
QByteArray nameKey(const QByteArray& name) { return name.toLower(); }

// At most this many problems are printed; the rest are counted.
constexpr size_t kMaxProblemsShown = 100;

} // namespace

Parsed parse(const QByteArray& text, const std::function<QByteArray()>& newPassword)
{
    Parsed out;
    QHash<QByteArray, int> seen; // name key -> first line
    int number = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QByteArray line = text.mid(at, end - at);
        at = end + 1;
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        Entry e;
        e.line = number;
        const qsizetype semicolon = line.indexOf(';');
        e.name = semicolon < 0 ? line : line.left(semicolon);
        e.password = semicolon < 0 ? QByteArray() : line.mid(semicolon + 1);
        QString why;
        if (!ParticipantStore::validName(e.name, why)) {
            out.problems.push_back({number, why});
            continue;
        }
        if (e.password.isEmpty()) {
            e.password = newPassword();
            e.generated = true;
        } else if (!ParticipantStore::validPassword(e.password, why)) {
            out.problems.push_back({number, why});
            continue;
        }
        const QByteArray key = nameKey(e.name);
        if (const auto it = seen.constFind(key); it != seen.cend()) {
            out.problems.push_back({number, QStringLiteral("%1 is already on line %2").arg(QString::fromLatin1(e.name)).arg(*it)});
            continue;
        }
        seen.insert(key, number);
        out.entries.push_back(std::move(e));
    }
    return out;
}

QByteArray generatePassword()
{
    static constexpr char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzACDEFGHJKLMNPQRSTUVWXYZ23456789";
    constexpr int kSize = sizeof(kAlphabet) - 1;
    QByteArray out(12, '\0');
    for (char& c : out)
        c = kAlphabet[QRandomGenerator::system()->bounded(kSize)];
    return out;
}

std::vector<QByteArray> hashAll(const std::vector<Entry>& entries, int iterations, int workers)
{
    std::vector<QByteArray> hashes(entries.size());
    if (workers <= 0)
        workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    workers = std::min<int>(workers, static_cast<int>(std::max<size_t>(1, entries.size())));
    // Each worker takes the next entry until none is left, so slow and fast cores share
    // the work evenly; every slot is written by exactly one worker.
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < entries.size(); i = next++)
            hashes[i] = hashPassword(entries[i].password, iterations);
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    return hashes;
}

int run(const QString& path, ParticipantStore& store, QByteArray& out, QByteArray& err)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err += "cannot read " + path.toLocal8Bit() + ": " + file.errorString().toLocal8Bit() + '\n';
        return 1;
    }
    if (file.size() > kMaxFileBytes) {
        err += "cannot import " + path.toLocal8Bit() + ": larger than " + QByteArray::number(kMaxFileBytes / 1024 / 1024)
               + " MB\n";
        return 1;
    }
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.count('\n') >= kMaxLines) {
        err += "cannot import " + path.toLocal8Bit() + ": more than " + QByteArray::number(kMaxLines) + " lines\n";
        return 1;
    }
    Parsed parsed = parse(text, generatePassword);
    for (const Entry& e : parsed.entries) {
        if (store.find(e.name))
            parsed.problems.push_back({e.line, QStringLiteral("participant %1 exists already").arg(QString::fromLatin1(e.name))});
    }
    if (!parsed.problems.empty()) {
        // The names found in the store were checked last; the operator reads the lines in order.
        std::stable_sort(parsed.problems.begin(), parsed.problems.end(),
                         [](const Problem& a, const Problem& b) { return a.line < b.line; });
        err += "nothing imported from " + path.toLocal8Bit() + ":\n";
        const size_t shown = std::min<size_t>(parsed.problems.size(), kMaxProblemsShown);
        for (size_t i = 0; i < shown; ++i)
            err += "line " + QByteArray::number(parsed.problems[i].line) + ": " + parsed.problems[i].text.toLocal8Bit() + '\n';
        if (parsed.problems.size() > shown)
            err += "... and " + QByteArray::number(static_cast<qsizetype>(parsed.problems.size() - shown)) + " more\n";
        return 1;
    }
    if (parsed.entries.empty()) {
        err += "nothing imported: " + path.toLocal8Bit() + " names no participant\n";
        return 1;
    }
    const std::vector<QByteArray> hashes = hashAll(parsed.entries, store.hashIterations());
    std::vector<std::pair<QByteArray, QByteArray>> rows;
    rows.reserve(parsed.entries.size());
    for (size_t i = 0; i < parsed.entries.size(); ++i)
        rows.emplace_back(parsed.entries[i].name, hashes[i]);
    QString error;
    if (!store.addHashed(rows, error)) {
        err += "nothing imported from " + path.toLocal8Bit() + ": " + error.toLocal8Bit() + '\n';
        return 1;
    }
    for (const Entry& e : parsed.entries) {
        if (e.generated)
            out += e.name + ';' + e.password + '\n';
    }
    err += "imported " + QByteArray::number(static_cast<qsizetype>(parsed.entries.size())) + " participants\n";
    return 0;
}

} // namespace korvi::server::participantimport
