#include "market/marketfixture.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// A client with the three instruments of the market tests and the user "demo".
struct AccountFixture : MarketFixture {
    StatusTexts& status = app.status;
    AccountFixture()
    {
        app.state.UserName = "demo";
        app.state.UserPassword = "geheim";
        updateUserKey(app.state);
        in(kThreeInstruments);
        for (int n = 1; n <= 3; ++n)
            s.Instruments[n].Geaendert = 0;
        QObject::connect(&app.account, &Account::positionsChanged,
                         [this](const QList<int>& instruments) { changes << instruments; });
    }
    QStringList protocolFrom(qsizetype first) const { return app.protocol.lines().mid(first); }
    QStringList failures() const { return app.protocol.lines().filter(QStringLiteral("F:")); }
    // Every instrument list that "positionsChanged" carried.
    QList<QList<int>> changes;
};

} // namespace

TEST(Account, ResultTextsAndThePlusRule)
{
    AccountFixture f;
    f.in("@SUD=150;10000");
    EXPECT_EQ(f.status.label2(), QStringLiteral("Heute +-: 150 = 10150"));
    EXPECT_EQ(f.status.lt1(2), QStringLiteral("+150 = 10150"));
    EXPECT_FLOAT_EQ(f.s.user().baseValue, 10000);

    f.in("@SENDUSERDATA=-20;10000");
    EXPECT_EQ(f.status.label2(), QStringLiteral("Heute +-: -20 = 9980"));
    EXPECT_EQ(f.status.lt1(2), QStringLiteral("-20 = 9980"));

    // A result of exactly 0 has no sign; fractions keep their digits.
    f.in("@SUD=0;10000.5");
    EXPECT_EQ(f.status.lt1(2), QStringLiteral("0 = 10000.5"));
    f.in("@SUD=12.25;100");
    EXPECT_EQ(f.status.lt1(2), QStringLiteral("+12.25 = 112.25"));
}

TEST(Account, PositionsFillTheTableTheIndexAndTheProtocol)
{
    AccountFixture f;
    f.changes.clear();
    const qsizetype before = f.app.protocol.lines().size();
    // Two positions (instrument 3 first) and two fields of a third that is ignored.
    f.in("@SUD=0;10000;-5;250;0;-10.5;3;30;1500.5;100;120;2;7;8");

    ASSERT_EQ(f.s.PositionCount, 2);
    EXPECT_TRUE(f.s.PositionsReceived);
    EXPECT_EQ(f.s.user().positionText, "-5;250;0;-10.5;3;30;1500.5;100;120;2;7;8");
    EXPECT_EQ(f.s.PositionIndex, (std::vector<qint16>{0, 0, 2, 1}));
    const PositionRecord* p = f.s.positionOf(2);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Bestand, 30);
    EXPECT_FLOAT_EQ(p->MarginS, 1500.5f);
    EXPECT_FLOAT_EQ(p->SumKost, 100);
    EXPECT_FLOAT_EQ(p->SumWert, 120);
    EXPECT_EQ(f.s.positionOf(3)->Bestand, -5);
    EXPECT_EQ(f.s.positionOf(1), nullptr);

    // Only the instruments with a position are marked for the refresh.
    EXPECT_EQ(f.s.Instruments[1].Geaendert, 0);
    EXPECT_EQ(f.s.Instruments[2].Geaendert, 1);
    EXPECT_EQ(f.s.Instruments[3].Geaendert, 1);
    EXPECT_EQ(f.changes, (QList<QList<int>>{{2, 3}}));

    // The protocol lists the positions in instrument order; the password stays off screen.
    const QString dashes(23, QLatin1Char('-'));
    EXPECT_EQ(f.protocolFrom(before),
              (QStringList{"U: 1 demo", "WP:2 FESX", "Bestand:30", "MarginS:1500.5", "SumKost:100",
                           "SumWert:120", dashes, "WP:3 FGBL", "Bestand:-5", "MarginS:250", "SumKost:0",
                           "SumWert:-10.5", dashes}));
    EXPECT_TRUE(f.failures().isEmpty()) << f.failures().join('\n').toStdString();
}

TEST(Account, AClosedPositionIsRedrawnAndTheIndexCleared)
{
    AccountFixture f;
    f.in("@SUD=0;10000;10;1;1;1;1;-4;1;1;1;2");
    for (int n = 1; n <= 3; ++n)
        f.s.Instruments[n].Geaendert = 0;
    f.changes.clear();

    // Instrument 1 keeps its position with a new quantity, instrument 2's is closed.
    f.in("@SUD=5;10000;20;1;1;1;1");
    EXPECT_EQ(f.s.PositionCount, 1);
    EXPECT_EQ(f.s.PositionIndex, (std::vector<qint16>{0, 1, 0, 0}));
    EXPECT_EQ(f.s.positionOf(1)->Bestand, 20);
    EXPECT_EQ(f.s.Instruments[1].Geaendert, 1);
    EXPECT_EQ(f.s.Instruments[2].Geaendert, 1);
    EXPECT_EQ(f.s.Instruments[3].Geaendert, 0);
    EXPECT_EQ(f.changes, (QList<QList<int>>{{1, 2}}));

    // Only the two leading fields: no positions at all.
    f.in("@SUD=0;10000");
    EXPECT_EQ(f.s.PositionCount, 0);
    EXPECT_EQ(f.s.PositionIndex, (std::vector<qint16>{0, 0, 0, 0}));
    EXPECT_EQ(f.s.positionOf(1), nullptr);
}

TEST(Account, TheOrderGridShowsThePositionAfterTheRefresh)
{
    AccountFixture f;
    f.app.orderGrid.rebuild();
    f.in("@SUD=0;10000;30;1500;100;120;2");
    f.in("@SUP=4;2;1500");
    // The instrument line of instrument 2 is the first row of its block.
    int row = 0;
    for (int r = 2; r <= f.s.book.OGRowMap.count(); ++r) {
        if (f.s.book.OGRowMap[r].Art == WPZeile && f.s.book.OGRowMap[r].WPIndex == 2) {
            row = r;
            break;
        }
    }
    ASSERT_GT(row, 0);
    const int bestand = f.app.orderGrid.gridColumn(InstrumentLineType, C_Bestand);
    const int bracket = f.app.orderGrid.gridColumn(InstrumentLineType, C_Bracket);
    EXPECT_EQ(f.app.orderGrid.cells.cell(row, bestand).text, QStringLiteral("+30"));
    EXPECT_TRUE(f.app.orderGrid.cells.cell(row, bestand).bold);
    EXPECT_EQ(f.app.orderGrid.cells.cell(row, bracket).text, QStringLiteral("Mges=1500"));
    const int result = f.app.orderGrid.gridColumn(InstrumentLineType, C_GV15);
    EXPECT_EQ(f.app.orderGrid.cells.cell(row, result).text, QStringLiteral("20"));
}

TEST(Account, BadPositionListsAreReportedAndNeverOverrunTheTables)
{
    AccountFixture f;
    // Four positions for three instruments: the table holds three, the fourth is reported.
    f.in("@SUD=0;10000;1;0;0;0;1;2;0;0;0;2;3;0;0;0;3;4;0;0;0;1");
    EXPECT_EQ(f.s.PositionCount, 3);
    EXPECT_EQ(f.s.PositionIndex, (std::vector<qint16>{0, 1, 2, 3}));
    ASSERT_EQ(f.failures().size(), 1);
    EXPECT_TRUE(f.failures().at(0).startsWith("F:WS_SUD "));

    // Instrument numbers outside the table and numbers that do not fit: the position is
    // kept in the table but no instrument shows it, and each fault is logged.
    f.app.protocol.clear();
    f.in("@SUD=x;y;5;0;0;0;9;1e12;0;0;0;2;7;0;0;0;-1");
    EXPECT_EQ(f.s.PositionCount, 3);
    EXPECT_EQ(f.s.PositionIndex, (std::vector<qint16>{0, 0, 2, 0}));
    EXPECT_EQ(f.s.positionOf(2)->Bestand, 0);
    EXPECT_EQ(f.failures().size(), 3) << f.failures().join('\n').toStdString();
    EXPECT_EQ(f.status.lt1(2), QStringLiteral("0 = 0"));

    // Positions before any instrument list: nothing to show them in, nothing overrun.
    MarketFixture empty;
    empty.in("@SUD=0;10000;1;0;0;0;1");
    EXPECT_EQ(empty.s.PositionCount, 0);
    EXPECT_TRUE(empty.s.PositionsReceived);
    EXPECT_EQ(empty.s.positionOf(1), nullptr);
}

TEST(Account, PlacesInTheStatusLabels)
{
    AccountFixture f;
    f.in("@SUP=7;101;2500.5");
    EXPECT_EQ(f.status.lt1(1), QStringLiteral("TotalPos: 7"));
    EXPECT_EQ(f.status.lt1(0), QStringLiteral("DayPos:> 100"));
    EXPECT_FLOAT_EQ(f.s.user().totalMargin, 2500.5f);

    f.in("@SENDUSERPLAETZE=0;3");
    EXPECT_EQ(f.status.lt1(1), QString());
    EXPECT_EQ(f.status.lt1(0), QStringLiteral("DayPos: 3"));
    EXPECT_FLOAT_EQ(f.s.user().totalMargin, 0);

    // The ready-made ranking texts go the other way round.
    f.in("@PI=12;3");
    EXPECT_EQ(f.status.lt1(0), QStringLiteral("Ges:12"));
    EXPECT_EQ(f.status.lt1(1), QStringLiteral("Heute:3"));
    f.in("@SUP=100000;2");
    EXPECT_EQ(f.s.user().dayPlace, 2);
    EXPECT_EQ(f.status.lt1(1), QString()); // the place that does not fit kept the old value 0
    EXPECT_EQ(f.failures().size(), 1);
}

TEST(Account, AccountFiguresAreStoredListedAndRelayedOnce)
{
    AccountFixture f;
    QList<QByteArray> relayed;
    f.app.account.WexSenddata = [&](const QByteArray& framed) { relayed << framed; };
    const qsizetype before = f.app.outgoing.lines().size();

    f.in("@SUK=20040101;Konto;3.5;10000;-250.5;12;4;1800");
    const UserRecord& u = f.s.user();
    EXPECT_EQ(u.accountStart, "20040101");
    EXPECT_EQ(u.accountText2, "Konto");
    EXPECT_FLOAT_EQ(u.accountFigure3, 3.5f);
    EXPECT_FLOAT_EQ(u.baseValue, 10000);
    EXPECT_FLOAT_EQ(u.todaysResult, -250.5f);
    EXPECT_EQ(u.totalPlace, 12);
    EXPECT_EQ(u.dayPlace, 4);
    EXPECT_FLOAT_EQ(u.totalMargin, 1800);
    EXPECT_EQ(f.app.outgoing.lines().mid(before),
              (QStringList{"20040101", "Konto", "3.5", "10000", "-250.5", "12", "4", "1800"}));
    EXPECT_TRUE(relayed.isEmpty());
    // Nothing is redrawn by the account figures.
    EXPECT_EQ(f.status.lt1(1), QString());

    // The outside program asked: the next account message goes to it once, unchanged.
    f.app.account.WexAccountPending = true;
    f.in("@SUD1=20050301;x;0;5000;1;2;3;4");
    f.in("@SENDUSERKONTO=20050302;x;0;5000;1;2;3;4");
    ASSERT_EQ(relayed.size(), 1);
    EXPECT_EQ(relayed.at(0), QByteArray("\x01@SUK;20050301;x;0;5000;1;2;3;4\x02"));
    EXPECT_FALSE(f.app.account.WexAccountPending);

    // A garbage date is only stored; figures that do not fit keep their old value.
    f.in("@SUK=kein Datum;;1e40;;;99999");
    EXPECT_EQ(u.accountStart, "kein Datum");
    EXPECT_FLOAT_EQ(u.accountFigure3, 0);
    EXPECT_EQ(u.totalPlace, 2);
    EXPECT_EQ(f.failures().size(), 2);
}

TEST(Rankings, SystemInformationAndWinnerLists)
{
    AccountFixture f;
    QStringList fields;
    for (int i = 1; i <= 40; ++i)
        fields << QStringLiteral("Info %1").arg(i);
    const qsizetype before = f.app.protocol.lines().size();
    f.in("@SYI=" + fields.join(';').toLatin1());
    EXPECT_EQ(f.app.protocol.lines().mid(before), fields.mid(0, 30));

    f.in("@PI=12;3");
    const QStringList protocol = f.app.protocol.lines();
    f.in("@GV=anna;bert;carl");
    f.in("@GewinnerVerlierer=");
    EXPECT_EQ(f.app.protocol.lines(), protocol);
    EXPECT_EQ(f.status.lt1(0), QStringLiteral("Ges:12"));
    EXPECT_EQ(f.status.lt1(2), QString());
}
