// Login limits, the password checker and the log summary, without a network.
#include "loginguard.h"
#include "passwordhash.h"
#include "serverlog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

TEST(LoginGuardTest, DelaysGrowPerNameAndPerAddressAndAreCapped)
{
    LoginGuard::Limits limits;
    limits.freeFailuresPerName = 2;
    limits.freeFailuresPerAddress = 4;
    limits.firstDelayMs = 100;
    limits.maxDelayMs = 800;
    LoginGuard guard(limits);
    qint64 t = 0;
    // Waits seen by the attempt after each failure for "anna" from one address: two free,
    // then doubling up to the ceiling.
    const qint64 expected[] = {0, 0, 100, 200, 400, 800, 800};
    for (qint64 want : expected) {
        const LoginGuard::Admission a = guard.admit("anna", "10.0.0.1", t);
        ASSERT_FALSE(a.refused);
        EXPECT_EQ(a.waitMs, want) << "after " << a.failures << " failures";
        t += a.waitMs;
        guard.failed("ANNA", "10.0.0.1", t); // names ignore case
    }
    // The address has six failures: other names from there wait too, others do not.
    EXPECT_GT(guard.admit("bert", "10.0.0.1", t).waitMs, 0);
    EXPECT_EQ(guard.admit("bert", "10.0.0.2", t).waitMs, 0);
    // A right password clears the name, not the address: one more failure from there
    // costs the full delay again, from elsewhere it is free.
    guard.succeeded("anna");
    const qint64 later = t + 10'000;
    guard.failed("anna", "10.0.0.1", later);
    EXPECT_EQ(guard.admit("anna", "10.0.0.1", later).waitMs, 800);
    EXPECT_EQ(guard.admit("anna", "10.0.0.3", later + 2000).waitMs, 0);
}

TEST(LoginGuardTest, ParallelAttemptsQueueUpAndTheSurplusIsRefused)
{
    LoginGuard::Limits limits;
    limits.freeFailuresPerName = 1;
    limits.firstDelayMs = 1000;
    limits.maxDelayMs = 4000;
    LoginGuard guard(limits);
    guard.failed("carl", "a", 0);
    // Attempts arriving together get start times one delay apart, not the same one.
    std::vector<qint64> waits;
    for (int i = 0; i < 10; ++i) {
        const LoginGuard::Admission a = guard.admit("carl", QString::number(i), 0);
        if (a.refused)
            break;
        waits.push_back(a.waitMs);
    }
    EXPECT_EQ(waits, (std::vector<qint64>{1000, 2000, 3000, 4000}));
    // A quiet spell forgets everything.
    EXPECT_EQ(guard.admit("carl", "z", 15 * 60'000 + 5000).waitMs, 0);
}

TEST(LoginGuardTest, TablesStayBounded)
{
    LoginGuard::Limits limits;
    limits.maxTracked = 50;
    LoginGuard guard(limits);
    for (int i = 0; i < 1000; ++i)
        guard.failed(QByteArray::number(i), QString::number(i), i);
    EXPECT_LE(guard.tracked(), 2 * limits.maxTracked);
    // The latest guesser is still counted.
    for (int i = 0; i < 12; ++i)
        guard.failed("999", "999", 1000 + i);
    EXPECT_GT(guard.admit("999", "x", 1100).waitMs, 0);
}

bool waitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(PasswordCheckerTest, ChecksOffThreadAndRenewsWeakHashes)
{
    PasswordChecker checker(1);
    const QByteArray weak = hashPassword("pw", kMinIterations);
    const QByteArray strong = hashPassword("pw", 2 * kMinIterations);
    std::vector<std::pair<int, PasswordChecker::Result>> results;
    const auto record = [&](int n) { return [&results, n](const PasswordChecker::Result& r) { results.emplace_back(n, r); }; };
    checker.check("pw", weak, 2 * kMinIterations, nullptr, record(1));
    checker.check("wrong", weak, 2 * kMinIterations, nullptr, record(2));
    checker.check("pw", strong, 2 * kMinIterations, nullptr, record(3));
    auto cancelled = std::make_shared<std::atomic_bool>(true);
    checker.check("pw", strong, 2 * kMinIterations, cancelled, record(4));
    EXPECT_TRUE(results.empty()) << "results arrive through the event loop only";
    ASSERT_TRUE(waitFor([&] { return checker.pending() == 0; }));
    ASSERT_EQ(results.size(), 3u) << "a cancelled check reports nothing";
    std::sort(results.begin(), results.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    EXPECT_TRUE(results[0].second.ok);
    EXPECT_EQ(hashIterations(results[0].second.upgradedHash), 2 * kMinIterations);
    EXPECT_TRUE(verifyPassword("pw", results[0].second.upgradedHash));
    EXPECT_FALSE(results[1].second.ok);
    EXPECT_TRUE(results[1].second.upgradedHash.isEmpty()) << "a wrong password renews nothing";
    EXPECT_TRUE(results[2].second.ok);
    EXPECT_TRUE(results[2].second.upgradedHash.isEmpty()) << "never weakened, never redone";
}

TEST(LogSummaryTest, RepeatsBecomeOneLineWithACountPerInterval)
{
    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    {
        LogSummary log(1000);
        for (int i = 0; i < 500; ++i)
            log.line(QStringLiteral("junk"), QStringLiteral("junk %1").arg(i), i);
        log.line(QStringLiteral("other"), QStringLiteral("other 0"), 600);
        log.flush(999);
        EXPECT_EQ(lines, (QStringList{"junk 0", "other 0"}));
        log.flush(1000);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[2], QStringLiteral("junk 499 (499 more like this in 1 s)"));
        // A new interval writes its first line again; the rest is summed up when the
        // source goes.
        log.line(QStringLiteral("junk"), QStringLiteral("junk again"), 1500);
        log.line(QStringLiteral("junk"), QStringLiteral("junk last"), 1600);
    }
    setLogSink({});
    EXPECT_EQ(lines.mid(3), (QStringList{"junk again", "junk last (1 more like this in 1 s)"}));
}

TEST(LogSummaryTest, ManyKindsAreCountedTogether)
{
    QStringList lines;
    setLogSink([&](const QString& l) { lines << l; });
    {
        LogSummary log(1000);
        for (int i = 0; i < LogSummary::kMaxKinds + 100; ++i)
            log.line(QString::number(i), QStringLiteral("kind %1").arg(i), 0);
    }
    setLogSink({});
    EXPECT_EQ(lines.size(), LogSummary::kMaxKinds + 1);
    EXPECT_EQ(lines.last(), QStringLiteral("100 further log lines of other kinds left out"));
}

} // namespace
