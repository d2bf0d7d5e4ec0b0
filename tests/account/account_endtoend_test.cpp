#include "dates.h"
#include "support/liveserver.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

// After the login the server's account and position messages are read and shown; the
// statements of the last days are requested, arrive as files, are listed and shown.
TEST(AccountEndToEnd, AccountPositionsAndStatementsFromTheServer)
{
    if (!LiveServer::available())
        GTEST_SKIP() << "KORVI_SERVER is not set";
    LiveServer server;
    ASSERT_TRUE(server.start());
    ClientFixture c;
    ASSERT_TRUE(c.loginTo(server.port));
    State& s = c.app.state;

    ASSERT_TRUE(waitFor([&] { return s.PositionsReceived && !s.user().accountStart.isEmpty(); }, 10000));
    EXPECT_TRUE(c.app.status.label2().startsWith(QStringLiteral("Heute +-: ")));
    EXPECT_FALSE(c.app.status.lt1(2).isEmpty());
    EXPECT_TRUE(c.app.protocol.contains(QStringLiteral("U: 1 demo")));
    EXPECT_TRUE(c.app.outgoing.contains(QString::fromLatin1(s.user().accountStart)));
    ASSERT_EQ(s.PositionIndex.size(), size_t(s.InstrumentCount) + 1);

    // A week after the account started: every weekday of it is requested and arrives.
    const std::optional<qint32> start = DatumAusText(s.user().accountStart);
    ASSERT_TRUE(start.has_value());
    c.clock.time = QDateTime(dateOfDay(*start + 7), QTime(18, 0));
    const QList<qint32> days = Statements::daysToRequest(s.user().accountStart, *start + 7,
                                                         [](qint32) { return false; });
    ASSERT_EQ(c.app.statements.Command12_Click(), days.size());
    ASSERT_TRUE(waitFor([&] { return c.app.statements.files().size() == days.size(); }, 10000))
        << c.app.statements.files().join(' ').toStdString();
    EXPECT_EQ(c.app.statements.files().first(), Statements::fileName(s.user().UserKz, days.first()));

    c.app.statements.Combo7_Click(0);
    ASSERT_FALSE(c.app.statements.lines().isEmpty());
    EXPECT_TRUE(c.app.statements.lines().first().startsWith(QStringLiteral("Kontoauszug")))
        << c.app.statements.lines().first().toStdString();
    EXPECT_EQ(c.app.statements.lines().last(), QString(38, QLatin1Char('-')));

    // The files are there now: asking again requests nothing.
    EXPECT_EQ(c.app.statements.Command12_Click(), 0);
}
