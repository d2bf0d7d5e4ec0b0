#include "dates.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

// After the login the server's account and position messages are read and shown; the
// statements of the last days are requested, arrive as files, are listed and shown.
TEST(AccountEndToEnd, AccountPositionsAndStatementsFromTheServer)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ASSERT_TRUE(live.start());
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

namespace {

// The text of a cell of instrument n's line.
QString instrumentCell(ClientApp& app, int n, int logical)
{
    const int row = app.orderEntry.instrumentRow(n);
    const int column = app.orderGrid.gridColumn(InstrumentLineType, logical);
    return row > 0 && column > 0 ? app.orderGrid.cells.cell(row, column).text : QString();
}

} // namespace

// A market buy fills; the server's position message puts the position into the instrument
// line, and selling it again empties the line's position cells.
TEST(AccountEndToEnd, AFilledOrderShowsAsPositionAndVanishesWhenClosed)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ClientApp& app = c.app;
    ASSERT_TRUE(live.start());
    ASSERT_TRUE(waitFor([&] { return app.state.PositionsReceived && app.state.user().UserKz.trimmed().size() > 0; }));
    ASSERT_GE(app.state.InstrumentCount, 2);

    app.state.book.DefaultWP = 2;
    app.orderEntry.setQuantityText(QStringLiteral("3"));
    app.placing.Command8_Click(0);
    const bool filled = waitFor([&] {
        const PositionRecord* p = app.state.positionOf(2);
        return p && p->Bestand == 3;
    }, 10000);
    if (!filled && app.messages.messageLine().contains(QLatin1String("Rejected")))
        GTEST_SKIP() << "the game server refused the order: " << app.messages.messageLine().toStdString();
    ASSERT_TRUE(filled) << app.messages.messageLine().toStdString();

    ASSERT_TRUE(waitFor([&] { return instrumentCell(app, 2, C_Bestand) == QStringLiteral("+3"); }));
    const int row = app.orderEntry.instrumentRow(2);
    EXPECT_TRUE(app.orderGrid.cells.cell(row, app.orderGrid.gridColumn(InstrumentLineType, C_Bestand)).bold);
    EXPECT_FALSE(instrumentCell(app, 2, C_GV15).isEmpty());
    EXPECT_TRUE(app.protocol.contains(QStringLiteral("WP:2 ") + fromWire(app.state.Instruments[2].Ticker)));
    EXPECT_TRUE(app.protocol.contains(QStringLiteral("Bestand:3")));

    // Selling the three closes the position, and the line no longer shows one.
    app.placing.Command8_Click(1);
    ASSERT_TRUE(waitFor([&] { return app.state.positionOf(2) == nullptr; }, 10000));
    ASSERT_TRUE(waitFor([&] { return instrumentCell(app, 2, C_Bestand).isEmpty(); }));
}
