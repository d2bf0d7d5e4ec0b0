// The log summary, without a network.
#include "loginguard.h"
#include "passwordhash.h"
#include "serverlog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

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
