// Who is slowed down at the login and who is not, and the password checker, without a
// network: the guard is driven with its time passed in.
#include "loginguard.h"
#include "passwordhash.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <map>
#include <queue>
#include <random>

using namespace korvi::server;

namespace {

LoginGuard::Limits smallLimits()
{
    LoginGuard::Limits limits;
    limits.freeAttemptsPerName = 2;
    limits.freeNamesPerAddress = 3;
    limits.firstDelayMs = 100;
    limits.maxDelayMs = 800;
    return limits;
}

// Attempts in order: who, from where, when, whether the password is right (the outcome is
// reported at the admitted start), and what the guard must answer.
TEST(LoginGuardTest, RulesAsATable)
{
    constexpr qint64 kRefused = -1;
    struct Step {
        const char* note;
        const char* name;
        const char* address;
        qint64 at;
        bool right;
        qint64 wait; // kRefused: refused
    };
    const Step steps[] = {
        {"two prompt attempts per name and address", "alice", "g", 0, false, 0},
        {"", "ALICE", "g", 0, false, 0},
        {"then each waits twice as long", "alice", "g", 0, false, 100},
        {"", "alice", "g", 100, false, 200},
        {"", "alice", "g", 300, false, 400},
        {"attempts in parallel line up", "alice", "g", 700, false, 800},
        {"beyond the ceiling: refused", "alice", "g", 710, false, kRefused},
        {"the owner elsewhere is not held back", "alice", "home", 720, true, 0},
        {"nor another name from the guesser's address", "bert", "g", 730, false, 0},
        {"the guesser's own queue is unchanged", "alice", "g", 740, false, kRefused},
        {"one name guessed often does not slow the address", "carl", "g", 750, true, 0},
        {"different names count at the address", "dora", "g", 760, false, 0},
        {"", "emil", "g", 770, false, 0},
        // Failed from g: alice, bert, dora, emil; carl logged in: one step past the free three.
        {"an address that guessed many names waits", "bert", "g", 780, false, 100},
        {"and its wait is no queue", "dora", "g", 780, false, 100},
        {"elsewhere nothing waits", "fritz", "h", 780, true, 0},
        {"", "fritz", "g", 790, true, 100},
        {"participants logging in relax the address", "gus", "g", 800, true, 0},
        {"a name that logs in after failing is struck off", "dora", "g", 1000, true, 0},
        // Four participants and three names failed: four more names before it waits.
        {"", "hans", "g", 1010, false, 0},
        {"", "ida", "g", 1020, false, 0},
        {"", "jan", "g", 1030, false, 0},
        {"", "kai", "g", 1040, false, 0},
        {"", "lena", "g", 1050, false, 100},
        {"after a quiet spell everything is forgotten", "alice", "g", 20 * 60'000, false, 0},
    };
    LoginGuard guard(smallLimits());
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.note) + " " + s.name + "@" + s.address + " at " + std::to_string(s.at));
        const LoginGuard::Admission a = guard.admit(s.name, s.address, s.at);
        if (s.wait == kRefused) {
            EXPECT_TRUE(a.refused);
            continue;
        }
        ASSERT_FALSE(a.refused);
        EXPECT_EQ(a.waitMs, s.wait);
        if (s.right)
            guard.succeeded(s.name, s.address);
        else
            guard.failed(s.name, s.address, s.at + a.waitMs);
    }
}

// A password set anew (by the operator) wipes the name's failures from every address, and
// nothing of other names, not even of names that begin with it.
TEST(LoginGuardTest, ANewPasswordClearsOnlyThatNamesFailures)
{
    LoginGuard guard(smallLimits());
    qint64 at = 0;
    for (const char* name : {"alice", "alice", "alice", "alice", "alice2", "alice2", "alice2", "alice2", "bert", "bert",
                             "bert", "bert", "dora"}) {
        for (const char* address : {"g", "h"}) {
            const LoginGuard::Admission a = guard.admit(name, address, at);
            ASSERT_FALSE(a.refused);
            at += a.waitMs;
            guard.failed(name, address, at);
        }
    }
    EXPECT_GT(guard.admit("alice", "g", at).waitMs, 0);
    guard.forgetName("ALICE");
    for (const char* address : {"g", "h"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(guard.admit("emil", address, at).guessedNames, 3) << "alice2, bert and dora failed from here";
        EXPECT_EQ(guard.admit("alice", address, at).attempts, 0);
        EXPECT_EQ(guard.admit("alice2", address, at).attempts, 4);
        EXPECT_EQ(guard.admit("bert", address, at).attempts, 4);
    }
}

// However many different names fail from one address, it remembers a bounded number of
// them, and participants logging in from there still relax it.
TEST(LoginGuardTest, NamesRememberedPerAddressAreBoundedAndStillRelaxedByLogins)
{
    LoginGuard::Limits limits = smallLimits();
    limits.maxNamesPerAddress = 6;
    LoginGuard guard(limits);
    qint64 at = 0;
    for (int i = 0; i < 300; ++i) {
        const QByteArray name = "guess" + QByteArray::number(i);
        const LoginGuard::Admission a = guard.admit(name, "g", at);
        ASSERT_FALSE(a.refused) << i;
        EXPECT_LE(a.guessedNames, limits.maxNamesPerAddress);
        at += a.waitMs;
        guard.failed(name, "g", at);
    }
    // Six names remembered, three of them free: four participants take the address back
    // below its first delay.
    for (const char* name : {"p1", "p2", "p3", "p4"}) {
        const LoginGuard::Admission a = guard.admit(name, "g", at);
        ASSERT_FALSE(a.refused);
        EXPECT_GT(a.waitMs, 0) << name;
        guard.succeeded(name, "g");
    }
    EXPECT_EQ(guard.admit("p5", "g", at).waitMs, 0);
}

// Seeded random runs of guessers (many connections each, on several addresses, some shared
// with real participants) against an owner who logs in now and then from her own address.
// Whatever the guessers do: the owner is never refused and never waits; participants
// sharing a guesser's address are never refused and wait at most the ceiling; after its
// free attempts a name from one address is checked at most once per first delay; the
// tables stay bounded.
TEST(LoginGuardTest, GuessersNeverKeepTheRightPasswordOut)
{
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        LoginGuard::Limits limits;
        limits.maxTracked = 200;
        LoginGuard guard(limits);
        const QByteArray names[] = {"alice", "ALICE", "bob", "carol", "dave", "eve", "frank", "gina", "hugo"};
        const QString addresses[] = {"g1", "g2", "g3", "class"}; // guessers; "class" is shared
        const QByteArray pupils[] = {"p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8", "p9", "p10"};

        enum Kind { Guess, Owner, Pupil };
        struct Event {
            qint64 at;
            Kind kind;
            int who;
            bool operator>(const Event& o) const { return at > o.at; }
        };
        std::priority_queue<Event, std::vector<Event>, std::greater<>> events;
        for (int c = 0; c < 24; ++c)
            events.push({static_cast<qint64>(rng() % 5000), Guess, c});
        events.push({static_cast<qint64>(rng() % 20'000), Owner, 0});
        for (int p = 0; p < 10; ++p)
            events.push({60'000 + static_cast<qint64>(rng() % 1000), Pupil, p});

        std::map<std::pair<QString, QString>, std::vector<qint64>> starts; // guessed name and address
        int ownerLogins = 0, pupilLogins = 0, refusedGuesses = 0;
        const qint64 end = 30 * 60'000;
        while (!events.empty() && events.top().at < end) {
            const Event e = events.top();
            events.pop();
            if (e.kind == Guess) {
                const QString address = addresses[e.who % 4];
                const QByteArray name = names[rng() % std::size(names)];
                const LoginGuard::Admission a = guard.admit(name, address, e.at);
                if (a.refused) {
                    ++refusedGuesses;
                    events.push({e.at + static_cast<qint64>(rng() % 300), Guess, e.who});
                    continue;
                }
                const qint64 start = e.at + a.waitMs;
                starts[{QString::fromLatin1(name).toCaseFolded(), address}].push_back(start);
                guard.failed(name, address, start + 130);
                // Some guessers pause for a quarter of an hour now and then.
                const qint64 pause = rng() % 50 == 0 ? 16 * 60'000 : static_cast<qint64>(rng() % 200);
                events.push({start + 130 + pause, Guess, e.who});
            } else {
                const QByteArray name = e.kind == Owner ? QByteArray("alice") : pupils[e.who];
                const QString address = e.kind == Owner ? QStringLiteral("home") : QStringLiteral("class");
                const LoginGuard::Admission a = guard.admit(name, address, e.at);
                ASSERT_FALSE(a.refused) << name.constData() << " at " << e.at;
                if (e.kind == Owner) {
                    EXPECT_EQ(a.waitMs, 0) << "owner at " << e.at;
                    ++ownerLogins;
                } else {
                    EXPECT_LE(a.waitMs, limits.maxDelayMs) << name.constData() << " at " << e.at;
                    ++pupilLogins;
                }
                guard.succeeded(name, address);
                events.push({e.at + a.waitMs + 1000 + static_cast<qint64>(rng() % 60'000), e.kind, e.who});
            }
            ASSERT_LE(guard.tracked(), 2 * limits.maxTracked);
        }
        EXPECT_GT(ownerLogins, 20);
        EXPECT_GT(pupilLogins, 100);
        EXPECT_GT(refusedGuesses, 0) << "the guessers did press hard";
        for (auto& [key, times] : starts) {
            std::sort(times.begin(), times.end());
            // The pupils' names are never guessed, so no success resets these counts; a
            // quiet spell may, and then the free attempts start again.
            size_t restart = 0;
            for (size_t i = 1; i < times.size(); ++i) {
                if (times[i] - times[i - 1] >= limits.forgetAfterMs)
                    restart = i;
                if (i - restart < static_cast<size_t>(limits.freeAttemptsPerName))
                    continue;
                EXPECT_GE(times[i] - times[i - 1], limits.firstDelayMs)
                    << key.first.toStdString() << "@" << key.second.toStdString() << " attempt " << i;
            }
        }
    }
}

bool waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(PasswordCheckerTest, ChecksOffThreadRenewsWeakHashesAndRemembersRightPasswords)
{
    PasswordChecker checker(1, 4);
    const QByteArray weak = hashPassword("pw", kMinIterations);
    const QByteArray strong = hashPassword("pw", 2 * kMinIterations);
    std::vector<std::pair<int, PasswordChecker::Result>> results;
    const auto record = [&](int n) { return [&results, n](const PasswordChecker::Result& r) { results.emplace_back(n, r); }; };
    EXPECT_FALSE(checker.knownRight("anna", "pw", weak));
    ASSERT_TRUE(checker.check("anna", "pw", weak, 2 * kMinIterations, nullptr, record(1)));
    ASSERT_TRUE(checker.check("bert", "wrong", weak, 2 * kMinIterations, nullptr, record(2)));
    ASSERT_TRUE(checker.check("carl", "pw", strong, 2 * kMinIterations, nullptr, record(3)));
    auto cancelled = std::make_shared<std::atomic_bool>(true);
    ASSERT_TRUE(checker.check("dora", "pw", strong, 2 * kMinIterations, cancelled, record(4)));
    EXPECT_FALSE(checker.check("emil", "pw", strong, 2 * kMinIterations, nullptr, record(5))) << "the queue is bounded";
    EXPECT_TRUE(results.empty()) << "results arrive through the event loop only";
    ASSERT_TRUE(waitFor([&] { return checker.pending() == 0; }));
    ASSERT_EQ(results.size(), 3u) << "a cancelled check reports nothing";
    std::sort(results.begin(), results.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    EXPECT_TRUE(results[0].second.ok);
    const QByteArray renewed = results[0].second.upgradedHash;
    EXPECT_EQ(hashIterations(renewed), 2 * kMinIterations);
    EXPECT_TRUE(verifyPassword("pw", renewed));
    EXPECT_FALSE(results[1].second.ok);
    EXPECT_TRUE(results[1].second.upgradedHash.isEmpty()) << "a wrong password renews nothing";
    EXPECT_TRUE(results[2].second.ok);
    EXPECT_TRUE(results[2].second.upgradedHash.isEmpty()) << "never weakened, never redone";

    // Remembered: the right password against the hash now stored, for that name only.
    EXPECT_TRUE(checker.knownRight("ANNA", "pw", renewed));
    EXPECT_FALSE(checker.knownRight("anna", "pw", weak)) << "the renewed hash is the one stored now";
    EXPECT_FALSE(checker.knownRight("anna", "PW", renewed));
    EXPECT_FALSE(checker.knownRight("bert", "wrong", weak));
    EXPECT_TRUE(checker.knownRight("carl", "pw", strong));
    EXPECT_FALSE(checker.knownRight("carl", "pw", hashPassword("pw", 2 * kMinIterations))) << "a new password";
    EXPECT_FALSE(checker.knownRight("dora", "pw", strong)) << "a cancelled check proves nothing";
    EXPECT_FALSE(checker.knownRight("anna", "pw", strong));
    // The check number 5 was refused, so there is room again now.
    EXPECT_TRUE(checker.check("emil", "pw", strong, 2 * kMinIterations, nullptr, record(5)));
    ASSERT_TRUE(waitFor([&] { return checker.pending() == 0; }));
}

} // namespace
