#include "account/executions.h"
#include "account/executionspage.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// An "@EX" body: tag, order id, field 3, instrument, field 5, execution id, time, action,
// quantity, price, sum, commissions, profit.
QByteArray exFields(const QByteArray& execId, int instrument, const QByteArray& commissions = "1.5",
                    const QByteArray& orderId = "ORD1", const QByteArray& profit = "10")
{
    return "T;" + orderId + ";F3;" + QByteArray::number(instrument) + ";F5;" + execId +
           ";093005;BOT;3;101.25;303.75;" + commissions + ";" + profit;
}

// Three instruments; the execution grid's repaint reports are counted.
struct ExFixture : ClientFixture {
    State& s = app.state;
    Executions& ex = app.executions;
    int resets = 0;
    QList<QPair<int, int>> changedRows;

    ExFixture()
    {
        in("@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n"
           "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n"
           "FESX;ESX;USD;50;49;5;51;6;Euro Stoxx;10;0;0\n");
        s.user().UserKz = "ABC123";
        QObject::connect(&ex.cells, &CellGrid::layoutReset, [this] { ++resets; });
        QObject::connect(&ex.cells, &CellGrid::rowsChanged,
                         [this](int first, int last) { changedRows << qMakePair(first, last); });
    }
    void in(const QByteArray& message) { app.dispatcher.dispatch(message); }
    QString text(int row, int column) const { return ex.cells.at(row, column).text; }
    // The execution numbers of the grid rows below the header, separators as 0.
    QList<int> rows() const
    {
        QList<int> out;
        const auto& map = s.executions.ExecutionRowMap;
        for (int i = 2; i <= map.count(); ++i)
            out << (map[i].kind == ExSeparatorRow ? 0 : map[i].execution);
        return out;
    }
};

} // namespace

TEST(Executions, NewExecutionSoundsAndRedrawsKnownIdReplacesInPlaceSilently)
{
    ExFixture f;
    f.in("@EX=" + exFields("E1", 1));
    ASSERT_EQ(f.s.executions.table.count(), 1);
    EXPECT_EQ(f.sound.played, QStringList{f.s.filePath(QStringLiteral("KorviEx.wav"))});
    const ExecutionRecord& r = f.s.executions.table[1];
    EXPECT_EQ(r.executionId, "E1      ");
    EXPECT_EQ(r.orderId, "ORD1    ");
    EXPECT_EQ(r.time, "093005      ");
    EXPECT_EQ(r.quantity, 3);
    EXPECT_EQ(f.resets, 1);

    f.resets = 0;
    f.changedRows.clear();
    f.in("@EX=" + exFields("E1", 1, "2", "ORD1", "20"));
    EXPECT_EQ(f.s.executions.table.count(), 1);
    EXPECT_EQ(f.sound.played.size(), 1);
    EXPECT_EQ(f.resets, 0);
    EXPECT_EQ(f.changedRows, (QList<QPair<int, int>>{{1, 1}}));
    EXPECT_EQ(f.text(1, 14), "20");

    // The sound follows the user's option.
    f.s.settings.executionSound = 0;
    f.in("@EX=" + exFields("E2", 1));
    EXPECT_EQ(f.s.executions.table.count(), 2);
    EXPECT_EQ(f.sound.played.size(), 1);

    // The table grows in steps of 100 and keeps its records.
    for (int i = 3; i <= 101; ++i)
        f.in("@EX=" + exFields("E" + QByteArray::number(i), 2));
    EXPECT_EQ(f.s.executions.table.count(), 101);
    EXPECT_EQ(f.s.executions.table.capacity(), 200);
    EXPECT_EQ(f.s.executions.table[1].executionId, "E1      ");
}

TEST(Executions, ThreeOrdersOfTheGrid)
{
    ExFixture f;
    f.in("@EX=" + exFields("A", 3));
    f.in("@EX=" + exFields("B", 1));
    f.in("@EX=" + exFields("C", 3));
    EXPECT_EQ(f.ex.order(), ExecutionOrder::ByInstrument);
    EXPECT_EQ(f.rows(), (QList<int>{2, 0, 1, 3, 0}));
    EXPECT_EQ(f.ex.cells.rowCount(), 6);
    EXPECT_EQ(f.ex.SuchExRow(3), 5);
    EXPECT_EQ(f.ex.SuchExRow(4), 0);

    // An instrument the table does not know: a last block, so it is not lost from view.
    f.in("@EX=" + exFields("D", 9));
    EXPECT_EQ(f.rows(), (QList<int>{2, 0, 1, 3, 0, 4, 0}));

    f.ex.setOrder(ExecutionOrder::NewestAtBottom);
    EXPECT_EQ(f.rows(), (QList<int>{1, 2, 3, 4}));
    f.ex.setOrder(ExecutionOrder::NewestAtTop);
    EXPECT_EQ(f.rows(), (QList<int>{4, 3, 2, 1}));
    EXPECT_EQ(f.text(1, 1), "ENr4"); // the newest right under the header
    EXPECT_EQ(f.ex.cells.rowCount(), 5);
}

TEST(Executions, CellTextsAndColours)
{
    ExFixture f;
    f.in("@EX=" + exFields("E1", 3, "1.5", "ORD1", "10"));
    f.in("@EX=" + exFields("E2", 3, "0", "ORD2", "-4.25"));
    // Rows: header, E1, E2, separator.
    EXPECT_EQ(f.ex.cells.columnCount(), 16);
    const QStringList header = {"", "-", "Aktion", "Stück", "Ticker", "Lumticker", "Name", "Preis", "Summe",
                                "Währung", "Zeit", "ExID", "OrderID", "Commissions", "Gewinn", "Ergebnis"};
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(f.text(0, c), header[c]) << c;

    const QStringList first = {"1", "ENr1", "BOT", "3", "FESX", "ESX", "Euro Stoxx", "101.25", "303.75",
                               "USD", "09:30:05", "E1      ", "ORD1    ", "-1.5", "10", "8.5"};
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(f.text(1, c), first[c]) << c;
    EXPECT_EQ(f.text(2, 10), "overnight");
    EXPECT_EQ(f.text(2, 13), "-0");
    EXPECT_EQ(f.text(2, 15), "-4.25");

    const ColourTable& colours = f.s.colours;
    EXPECT_EQ(f.ex.cells.at(1, 1).background, colours[EG_ZeileB]);
    EXPECT_EQ(f.ex.cells.at(1, 2).background, colours[EG_ZeileA]);
    EXPECT_EQ(f.ex.cells.at(0, 3).background, colours[EG_ZeileB]); // header takes its column's colour
    EXPECT_EQ(f.ex.cells.textColour, colours[EG_Schrift]);
    EXPECT_EQ(f.ex.cells.at(3, 1).background, colours[EG_Trennzeile]);
    EXPECT_EQ(f.ex.cells.at(3, 15).background, colours[EG_Trennzeile]);
    EXPECT_TRUE(f.text(3, 1).isEmpty());
    EXPECT_EQ(f.ex.cells.rowHeight(3), f.ex.cells.rowHeight(0) / 2);
    EXPECT_EQ(f.ex.cells.rowHeight(1), f.ex.cells.rowHeight(0));
}

TEST(Executions, BadInputIsLoggedAndTheExecutionKept)
{
    ExFixture f;
    f.in("@EX=" + exFields("E1", 7, "1.5"));
    ASSERT_EQ(f.s.executions.table.count(), 1);
    EXPECT_EQ(f.app.protocol.lines().count("F:ZeigExecutionGrid 9"), 4); // one per instrument cell
    EXPECT_EQ(f.text(1, 1), "ENr1");
    EXPECT_TRUE(f.text(1, 4).isEmpty());
    EXPECT_EQ(f.text(1, 7), "101.25");

    // A number that does not fit is logged and left at 0; the rest is stored.
    f.in("@EX=T;O;F;1;F;E2;093005;SLD;1e12;99;99;0;0");
    ASSERT_EQ(f.s.executions.table.count(), 2);
    EXPECT_TRUE(f.app.protocol.contains("F:WS_EX 6"));
    EXPECT_EQ(f.s.executions.table[2].quantity, 0);
    EXPECT_EQ(f.s.executions.table[2].price, 99.0f);

    // Missing fields are blanks and zeros.
    f.in("@EX=T;O2");
    EXPECT_EQ(f.s.executions.table.count(), 3);
    EXPECT_EQ(f.s.executions.table[3].executionId, "        ");
}

TEST(Executions, FullListReplacesTheTable)
{
    ExFixture f;
    f.in("@EX=" + exFields("OLD", 1));
    const int sounds = f.sound.played.size();

    QByteArray body;
    for (int i = 1; i <= 1001; ++i)
        body += exFields("S" + QByteArray::number(i), 1 + i % 3) + "\n";
    f.in("@SAE=" + body);
    EXPECT_EQ(f.s.executions.table.count(), 1000);
    EXPECT_EQ(f.s.executions.table.capacity(), 1000);
    EXPECT_EQ(f.s.executions.table[1].executionId, "S1      ");
    EXPECT_EQ(f.sound.played.size(), sounds); // no sound for the full list
    EXPECT_TRUE(f.app.protocol.contains("F:WS_SAE 9"));
    EXPECT_TRUE(f.app.outgoing.contains(fromWire(exFields("S1000", 2))));
    EXPECT_EQ(f.ex.cells.rowCount(), 1 + 1000 + 3);

    // A final line feed adds no record; an empty body empties the table.
    f.in("@SAE=" + exFields("X", 1) + "\n" + exFields("X", 2) + "\n");
    EXPECT_EQ(f.s.executions.table.count(), 2); // no search for duplicates
    f.in("@SAE=");
    EXPECT_EQ(f.s.executions.table.count(), 0);
    EXPECT_EQ(f.ex.cells.rowCount(), 1);
}

TEST(Executions, OutsideProgramHearsOfItsExecutionsAndOfTheRequestedList)
{
    ExFixture f;
    f.in("@OO=-5;EXT1;;BUY;1;MKT;0;0;4;0;1;0;;;;1;0;0;;0;0");
    f.in("@OO=6;OWN1;;BUY;1;MKT;0;0;4;0;1;0;;;;1;0;0;;0;0");
    QByteArrayList reported;
    f.ex.externalExecution = [&](QByteArrayView body) { reported << body.toByteArray(); };
    f.in("@EX=" + exFields("E1", 1, "1", "EXT1"));
    f.in("@EX=" + exFields("E2", 1, "1", "OWN1"));
    f.in("@EX=" + exFields("E1", 1, "2", "EXT1")); // a replacement is reported too
    EXPECT_EQ(reported, (QByteArrayList{exFields("E1", 1, "1", "EXT1"), exFields("E1", 1, "2", "EXT1")}));

    bool pending = true;
    QByteArrayList outside;
    f.ex.takeExecutionsPending = [&] { return std::exchange(pending, false); };
    f.ex.wexSend = [&](const QByteArray& framed) { outside << framed; };
    f.in("@SAE=a;b\nc");
    f.in("@SAE=d");
    EXPECT_EQ(outside, QByteArrayList{"\x01@SAE;a;b\nc\x02"});
}

TEST(Executions, PageChoosesTheOrderAndRefreshes)
{
    ExFixture f;
    ExecutionsPage page(f.ex);
    ASSERT_EQ(page.orderBox().count(), 3);
    EXPECT_EQ(page.orderBox().itemText(0), "Nach WP / Nach Datum");
    EXPECT_EQ(page.orderBox().itemText(1), "Nach Datum Neu Unten");
    EXPECT_EQ(page.orderBox().itemText(2), "Nach Datum Neu Oben");
    EXPECT_EQ(page.orderBox().currentIndex(), 0);
    EXPECT_EQ(page.refreshButton().text(), "Grid Refresh");

    f.in("@EX=" + exFields("A", 2));
    f.in("@EX=" + exFields("B", 1));
    EXPECT_EQ(page.grid().model()->rowCount(), 5);
    emit page.orderBox().activated(2);
    EXPECT_EQ(f.ex.order(), ExecutionOrder::NewestAtTop);
    EXPECT_EQ(f.rows(), (QList<int>{2, 1}));
    EXPECT_EQ(page.grid().model()->rowCount(), 3);
    EXPECT_EQ(page.grid().model()->index(1, 1).data().toString(), "ENr2");

    // "Grid Refresh" draws the table anew after an instrument list changed the names.
    f.in("@SI=NEU1;N1;EUR;1;1;1;1;1;Eins;1;0;0\nNEU2;N2;EUR;1;1;1;1;1;Zwei;1;0;0\n");
    page.refreshButton().click();
    EXPECT_EQ(f.text(1, 4), "NEU1");
}
