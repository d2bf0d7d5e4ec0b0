#include "orders/orderstatus.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <gtest/gtest.h>
#include <random>

using namespace korvi;
using namespace korvi::test;

namespace {

// An order record message body: OrderUserID, OrderID, info, side, quantity, type, limits,
// status, filled, remaining, price, times, info, instrument, bracket fields, flag.
QByteArray orderFields(qint32 userId, const QByteArray& orderId, int wp, int status,
                       const QByteArray& side = "BUY", const QByteArray& limit1 = "101.5")
{
    return QByteArray::number(userId) + ";" + orderId + ";INFO;" + side + ";3;LMT;" + limit1 + ";0;" +
           QByteArray::number(status) + ";0;3;0;093000;093001;X;" + QByteArray::number(wp) + ";0;0;BR1;0;7";
}

// Two instruments and the short id "ABC123"; the grid's repaint reports are counted.
struct StatusFixture : ClientFixture {
    State& s = app.state;
    OrderBook& book = app.state.book;
    OrderGrid& grid = app.orderGrid;
    int resets = 0;
    QList<QPair<int, int>> changedRows;

    StatusFixture()
    {
        in("@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n"
           "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n");
        s.user().UserKz = "ABC123";
        QObject::connect(&grid.cells, &CellGrid::layoutReset, [this] { ++resets; });
        QObject::connect(&grid.cells, &CellGrid::rowsChanged,
                         [this](int first, int last) { changedRows << qMakePair(first, last); });
    }
    void in(const QByteArray& message) { app.dispatcher.dispatch(message); }
    void resetCounts()
    {
        resets = 0;
        changedRows.clear();
    }
    QString cellText(int row, int logical) const
    {
        return grid.cells.at(row, grid.layout.spalte[OrderLineType][logical]).text;
    }
    int rowOfOrder(int index) const { return book.SuchRow(index, OpenOrder); }
};

} // namespace

TEST(OrderStatus, NewOrderIsAppendedAndShownKnownOrderIsOverwrittenInItsRowOnly)
{
    StatusFixture f;
    f.s.user().LastUserOrderID = 40;
    f.in("@OO=" + orderFields(-57, "SRV1", 2, 1));
    ASSERT_EQ(f.book.orders.count(), 1);
    const OrderRecord& r = f.book.orders[1];
    EXPECT_EQ(f.s.user().LastUserOrderID, 57); // raised to the absolute value
    EXPECT_EQ(r.OrderID, "SRV1    ");
    EXPECT_EQ(r.BS, "BUY ");
    EXPECT_EQ(r.Info12, "INFO        ");
    EXPECT_EQ(r.UserKz, "ABC123"); // from the account, not the message
    EXPECT_EQ(r.Limit1, 101.5f);
    EXPECT_EQ(r.Flag21, 7);
    EXPECT_EQ(r.BrOrderID, "BR1     ");
    EXPECT_EQ(f.app.outgoing.lines().mid(f.app.outgoing.lines().size() - 21, 2),
              (QStringList{"-57", "SRV1"})); // every field is a line of its own

    const int row = f.rowOfOrder(1);
    ASSERT_NE(row, 0);
    EXPECT_EQ(f.book.OGRowMap[row].WPIndex, 2);
    EXPECT_EQ(f.cellText(row, O_Status), "PendSubm.");
    EXPECT_EQ(f.cellText(row, O_Ticker), "FGBL");

    // The same server id again: overwritten in place, only its row is redrawn.
    f.resetCounts();
    f.in("@OO=" + orderFields(-12, "SRV1", 2, 4));
    EXPECT_EQ(f.book.orders.count(), 1);
    EXPECT_EQ(f.s.user().LastUserOrderID, 57); // a smaller number does not lower it
    EXPECT_EQ(f.resets, 0);
    EXPECT_EQ(f.changedRows, (QList<QPair<int, int>>{{row, row}}));
    EXPECT_EQ(f.cellText(row, O_Status), "Submitted");
    EXPECT_EQ(f.cellText(row, O_OrderUserID), "-12");

    // A new server id rebuilds the whole grid; the newest order comes first in its block.
    f.resetCounts();
    f.in("@OO=" + orderFields(58, "SRV2", 2, 4));
    EXPECT_EQ(f.resets, 1);
    EXPECT_EQ(f.book.orders.count(), 2);
    EXPECT_LT(f.rowOfOrder(2), f.rowOfOrder(1));
}

TEST(OrderStatus, OverwrittenOrderNeverStaysUnderTheWrongInstrumentOrHidden)
{
    StatusFixture f;
    f.in("@OO=" + orderFields(1, "A", 1, 4));
    f.in("@OO=" + orderFields(2, "B", 1, 0)); // status "-": stored without a row
    ASSERT_EQ(f.book.OGRowMap[f.rowOfOrder(1)].WPIndex, 1);
    EXPECT_EQ(f.rowOfOrder(2), 0);

    f.in("@OO=" + orderFields(1, "A", 2, 4));
    ASSERT_NE(f.rowOfOrder(1), 0);
    EXPECT_EQ(f.book.OGRowMap[f.rowOfOrder(1)].WPIndex, 2);
    EXPECT_EQ(f.cellText(f.rowOfOrder(1), O_Ticker), "FGBL");

    f.in("@OO=" + orderFields(2, "B", 1, 3));
    EXPECT_NE(f.rowOfOrder(2), 0);

    // An instrument outside the table or a status outside 0 to 6: stored, never shown.
    f.in("@OO=" + orderFields(3, "C", 9, 4));
    f.in("@OO=" + orderFields(4, "D", 1, 9));
    EXPECT_EQ(f.book.orders.count(), 4);
    EXPECT_EQ(f.rowOfOrder(3), 0);
    EXPECT_EQ(f.rowOfOrder(4), 0);

    // A filled order reported by "@OO" loses its "CANCEL" cell at once.
    f.in("@OO=" + orderFields(1, "A", 2, 6));
    ASSERT_NE(f.rowOfOrder(1), 0);
    EXPECT_EQ(f.book.OGRowMap[f.rowOfOrder(1)].Art, FinishedOrder);
    EXPECT_EQ(f.cellText(f.rowOfOrder(1), O_CANCEL), "-");
}

TEST(OrderStatus, StatusUpdateChangesTheOrderAndOnlyItsRow)
{
    StatusFixture f;
    f.in("@OO=" + orderFields(7, "S7", 1, 4));
    f.in("@OO=" + orderFields(8, "S8", 1, 4));
    const int row = f.rowOfOrder(1);
    ASSERT_EQ(f.cellText(row, O_CANCEL), "CANCEL");

    f.resetCounts();
    f.in("@OS=7;S7;4;101500;1;2;100.25;BRX;1;0");
    const OrderRecord& r = f.book.orders[1];
    EXPECT_EQ(r.Filled, 1);
    EXPECT_EQ(r.Rem, 2);
    EXPECT_EQ(r.Preis, 100.25f);
    EXPECT_EQ(r.StZeit, "101500");
    EXPECT_EQ(r.BrOrderID, "BRX     ");
    EXPECT_EQ(r.BrAktiv, 1);
    EXPECT_EQ(r.Limit1, 101.5f); // 0 leaves the limit alone
    EXPECT_EQ(f.resets, 0);
    EXPECT_EQ(f.changedRows, (QList<QPair<int, int>>{{row, row}}));
    EXPECT_EQ(f.cellText(row, O_StZeit), "10:15:00");

    f.in("@OS=7;S7;4;101501;1;2;100.25;BRX;1;101.25");
    EXPECT_EQ(r.Limit1, 101.25f);

    // Filled while finished orders are hidden: the row stays, now without "CANCEL", until
    // the next rebuild.
    ASSERT_FALSE(f.book.ZeigeAlleOrders);
    f.in("@OS=7;S7;6;101502;3;0;100.5;BRX;1;0");
    EXPECT_EQ(f.rowOfOrder(1), row);
    EXPECT_EQ(f.book.OGRowMap[row].Art, FinishedOrder);
    EXPECT_EQ(f.cellText(row, O_CANCEL), "-");
    EXPECT_EQ(f.cellText(row, O_Status), "Filled ");
    f.grid.rebuild();
    EXPECT_EQ(f.rowOfOrder(1), 0);

    // Now without a row, and an order the table does not have: both logged.
    f.in("@OS=7;S7;5;101503;3;0;100.5;BRX;1;0");
    EXPECT_TRUE(f.app.protocol.contains(QStringLiteral("Keine Orderzeile für Order 1 gefunden")));
    EXPECT_EQ(f.book.orders[1].Status, 5);
    f.in("@OS=99;S99;4");
    EXPECT_TRUE(f.app.protocol.contains(QStringLiteral("Keine Order für O.Status gef.:99;S99;4")));
}

TEST(OrderStatus, BadNumbersAreLoggedAndLeaveTheTableAsItWas)
{
    StatusFixture f;
    f.in("@OO=" + orderFields(7, "S7", 1, 4));
    f.in("@OS=7;S7;99999;101500;1;2;100.25;BRX;1;0"); // status beyond 16 bits
    EXPECT_TRUE(f.app.protocol.contains("F:WS_OS 6"));
    EXPECT_EQ(f.book.orders[1].Status, 4);
    EXPECT_EQ(f.book.orders[1].Filled, 0);
    f.in("@OS=7;S7;4;101500;1;2;100.25;BRX;300;0"); // BrAktiv beyond a byte
    EXPECT_EQ(f.book.orders[1].Filled, 0);

    f.in("@OO=" + orderFields(8, "S8", 1, 4, "SEL", "1e40")); // limit beyond a single
    EXPECT_TRUE(f.app.protocol.contains("F:WS_OO 6"));
    EXPECT_EQ(f.book.orders.count(), 1);
    f.in("@OO=-2147483648;S9;;BUY;1;LMT;1;0;4");
    EXPECT_EQ(f.book.orders.count(), 1);

    // Missing fields are blanks and zeros, not failures.
    f.in("@OO=9;S9");
    ASSERT_EQ(f.book.orders.count(), 2);
    EXPECT_EQ(f.book.orders[2].BS, "    ");
    EXPECT_EQ(f.book.orders[2].WPIndex, 0);
}

TEST(OrderStatus, AllOrdersReplaceTheTableAndRebuild)
{
    StatusFixture f;
    f.in("@OO=" + orderFields(77, "OLD", 1, 4));
    f.s.user().LastUserOrderID = 5;

    QByteArray body;
    for (int i = 1; i <= 1001; ++i)
        body += orderFields(i, "N" + QByteArray::number(i), 1 + i % 2, i % 7) + "\n";
    f.resetCounts();
    f.in("@SAO=" + body);
    EXPECT_EQ(f.book.orders.count(), 1000); // the first 1,000 records
    EXPECT_EQ(f.book.orders.capacity(), 1000);
    EXPECT_EQ(f.book.orders[1000].OrderID, "N1000   ");
    EXPECT_EQ(f.book.SuchOrderID("OLD"), 0);
    EXPECT_EQ(f.s.user().LastUserOrderID, 5); // not changed by the full list
    EXPECT_EQ(f.book.orders[1].UserKz, "ABC123");
    EXPECT_EQ(f.resets, 1);
    EXPECT_TRUE(f.app.outgoing.contains(fromWire(orderFields(1000, "N1000", 1, 1000 % 7))));
    EXPECT_FALSE(f.app.outgoing.contains(fromWire(orderFields(1001, "N1001", 2, 1001 % 7))));

    // Every open order has a row under its own instrument.
    int open = 0;
    for (int i = 1; i <= 1000; ++i) {
        const int row = f.rowOfOrder(i);
        const bool shouldShow = f.book.orders[i].Status >= 1 && f.book.orders[i].Status <= 4;
        EXPECT_EQ(row != 0, shouldShow) << i;
        if (row) {
            ++open;
            EXPECT_EQ(f.book.OGRowMap[row].WPIndex, f.book.orders[i].WPIndex);
        }
    }
    EXPECT_GT(open, 500);

    // A record with a number that does not fit is left out; the others stay.
    f.in("@SAO=" + orderFields(1, "G1", 1, 4) + "\n1;BAD;;BUY;1e12\n" + orderFields(2, "G2", 2, 4));
    EXPECT_TRUE(f.app.protocol.contains("F:WS_SAO 6"));
    ASSERT_EQ(f.book.orders.count(), 2);
    EXPECT_EQ(f.book.orders[2].OrderID, "G2      ");

    // Open orders are only logged.
    const int lines = f.app.outgoing.lines().size();
    f.in("@SOO=a;b\nc;d\n");
    EXPECT_EQ(f.app.outgoing.lines().mid(lines), (QStringList{"a;b", "c;d"}));
    EXPECT_EQ(f.book.orders.count(), 2);

    f.in("@SAO=");
    EXPECT_EQ(f.book.orders.count(), 0);
}

TEST(OrderStatus, RefusalsLastNumberAndWhatTheOutsideProgramIsTold)
{
    StatusFixture f;
    QByteArrayList outside;
    bool connected = false;
    QList<int> external;
    f.app.orderStatus.wexConnected = [&] { return connected; };
    f.app.orderStatus.wexSend = [&](const QByteArray& framed) { outside << framed; };
    f.app.orderStatus.externalStatus = [&](int index) { external << index; };

    f.in("@OR=Limit zu weit");
    EXPECT_TRUE(f.app.outgoing.contains(">> Order RejectedLimit zu weit"));
    EXPECT_EQ(f.app.messages.messageLine(), "09:30:15 Order Rejected Limit zu weit");
    EXPECT_TRUE(outside.isEmpty()); // nobody connected
    f.in("@CR=Order unbekannt");
    EXPECT_TRUE(f.app.outgoing.contains(">> Cancel RejectedOrder unbekannt"));
    EXPECT_EQ(f.app.messages.messageLine(), "09:30:15 Cancel Rejected Order unbekannt");

    connected = true;
    f.in("@OR=Kein Kurs");
    f.in("@OO=" + orderFields(-42, "X42", 1, 1));
    f.in("@CR=nein"); // refused cancellations are not passed on
    EXPECT_EQ(outside, (QByteArrayList{"\x01@OR;Kein Kurs\x02", "\x01@OI;-42;X42\x02"}));

    f.in("@OS=-42;X42;4;093005;0;3;0;;0;0");
    f.in("@OO=" + orderFields(43, "X43", 1, 1));
    f.in("@OS=43;X43;4;093005;0;3;0;;0;0");
    EXPECT_EQ(external, QList<int>{1}); // only the order placed from outside

    f.in("@LI=41");
    EXPECT_EQ(f.s.user().LastUserOrderID, 41);
    EXPECT_TRUE(f.app.outgoing.contains("LI->41"));
    f.in("@LI=99999999999");
    EXPECT_EQ(f.s.user().LastUserOrderID, 41);
    EXPECT_TRUE(f.app.protocol.contains("F:WS_LI 6"));
}

namespace {

QByteArray num(int n) { return QByteArray::number(n); }

QByteArray exBody(int execution, int order, int instrument, int profit)
{
    return "T;S" + num(order) + ";F3;" + num(instrument) + ";F5;E" + num(execution) + ";093005;BOT;3;101.25;303.75;1.5;" +
           num(profit);
}

// Every cell of a grid as text and colours, row by row.
QStringList snapshot(const CellGrid& cells)
{
    QStringList out;
    for (int row = 0; row < cells.rowCount(); ++row) {
        QString line = QString::number(cells.rowHeight(row));
        for (int c = 0; c < cells.columnCount(); ++c) {
            const Cell& cell = cells.at(row, c);
            line += QLatin1Char('|') + cell.text + QLatin1Char('/') +
                    QString::number(cell.ownBackground ? cell.background : cells.generalBackground, 16);
        }
        out << line;
    }
    return out;
}

} // namespace

TEST(GridRefresh, BurstOfOrdersAndFillsIsDrawnOnceAtTheEndOfTheArrival)
{
    StatusFixture f;
    f.book.ZeigeAlleOrders = true;
    const int rebuilds = f.grid.rebuildCount();
    const int sorts = f.app.executions.redrawAllCount();
    const int sounds = f.sound.played.size();
    constexpr int kOrders = 20000;
    QByteArray burst;
    for (int i = 1; i <= kOrders; ++i) {
        burst += frame("@OO=" + orderFields(i, "S" + num(i), 1 + i % 2, 4));
        if (i % 10 == 0)
            burst += frame("@OS=" + num(i - 5) + ";x;6;101500;3;0;100.5;;0;0");
        if (i % 20 == 0)
            burst += frame("@EX=" + exBody(i, i, 1, 0));
    }
    f.app.connection.receive(burst);

    EXPECT_EQ(f.grid.rebuildCount() - rebuilds, 1);
    EXPECT_EQ(f.app.executions.redrawAllCount() - sorts, 1);
    EXPECT_EQ(f.sound.played.size() - sounds, 1); // one sound for the whole burst
    // All of it is shown.
    ASSERT_EQ(f.book.orders.count(), kOrders);
    EXPECT_EQ(f.grid.cells.rowCount(), f.book.OGRowMap.count() + 1);
    EXPECT_EQ(f.book.OGRowMap.count(), 1 + 4 + kOrders);
    EXPECT_EQ(f.cellText(f.rowOfOrder(kOrders), O_OrderUserID), QString::number(kOrders));
    EXPECT_EQ(f.cellText(f.rowOfOrder(5), O_Status), "Filled ");
    EXPECT_EQ(f.app.executions.cells.rowCount(), kOrders / 20 + 2); // header and separator
}

// Messages arrive in random groups; after each arrival both grids must be what a full
// rebuild and redraw of the tables gives. With finished orders shown, every order under a
// known instrument has a status with a row, so no row may rightly stay (or stay away) until
// the next rebuild. With them hidden, a row whose order left the view rightly stays until
// new orders come: then (new rows inserted, or a rebuild) the grid must equal a rebuild.
// Entry lines the user opens between arrivals stand first in their block until then, as a
// new line does; a build puts them in table order.
TEST(GridRefresh, AfterEachArrivalTheGridsEqualAFullRebuild)
{
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        SCOPED_TRACE(seed);
        const bool showAll = seed <= 4;
        StatusFixture f;
        f.book.ZeigeAlleOrders = showAll;
        f.app.executions.refreshGrid(); // the header, as after the first execution
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        int orders = 0, executions = 0;
        std::vector<int> instrumentOf; // per execution
        for (int arrival = 0; arrival < 60; ++arrival) {
            // The user opens an entry line now and then (and deletes one), between arrivals.
            if (!showAll && pick(0, 2) == 0) {
                const int wp = pick(1, 2);
                f.app.orderEntry.openEntryLine(f.app.orderEntry.instrumentRow(wp), pick(0, 1) ? "BUY" : "SEL");
            }
            if (!showAll && pick(0, 5) == 0) {
                for (int row = 2; row <= f.book.OGRowMap.count(); ++row) {
                    if (f.book.OGRowMap[row].Art == EntryLine) {
                        f.grid.cells.setCurrent(row, f.grid.gridColumn(OrderLineType, O_CANCEL));
                        f.app.orderEntry.OGAktion();
                        break;
                    }
                }
            }
            QByteArray bytes;
            const int countBefore = f.book.orders.count();
            const int count = pick(1, 12);
            for (int m = 0; m < count; ++m) {
                const int kind = pick(0, 99);
                if (kind < 35 || orders == 0) {
                    // A new order (any status, sometimes under no instrument) or a known one again.
                    // Under an instrument outside the table any status; elsewhere one with a row.
                    const bool known = orders > 0 && pick(0, 2) == 0;
                    const int id = known ? pick(1, orders) : ++orders;
                    const int wp = pick(0, 3) == 0 ? 3 : pick(1, 2);
                    const int status = wp == 3 ? pick(0, 7) : pick(1, 6);
                    bytes += frame("@OO=" + orderFields(id, "S" + num(id), wp, status));
                } else if (kind < 70) {
                    const int id = pick(1, orders);
                    bytes += frame("@OS=" + num(id) + ";x;" + num(pick(1, 6)) + ";1015" + num(pick(10, 59)) + ";" +
                                   num(pick(0, 3)) + ";" + num(pick(0, 3)) + ";100.5;B" + num(pick(0, 9)) + ";" +
                                   num(pick(0, 1)) + ";" + (pick(0, 1) ? "0" : "99.5"));
                } else if (kind < 95) {
                    // A known execution keeps its instrument: one that changed it would rightly
                    // stay in its old block until the next sort.
                    const bool known = executions > 0 && pick(0, 2) == 0;
                    const int e = known ? pick(1, executions) : ++executions;
                    if (!known)
                        instrumentOf.push_back(pick(1, 3));
                    bytes += frame("@EX=" + exBody(e, pick(1, orders), instrumentOf[size_t(e) - 1], pick(-9, 9)));
                } else {
                    // The whole list again: the orders so far, in a new order of records.
                    QByteArray body;
                    for (int id = orders; id >= 1; --id)
                        body += orderFields(id, "S" + num(id), pick(1, 2), pick(1, 6)) + "\n";
                    bytes += frame("@SAO=" + body);
                }
            }
            f.app.connection.receive(bytes);
            bool newShown = false;
            for (int o = countBefore + 1; o <= f.book.orders.count(); ++o)
                newShown = newShown || (f.book.orders[o].WPIndex != 3 && f.book.orders[o].Status <= 4);
            if (!showAll && !newShown)
                continue;

            const QStringList orderGrid = snapshot(f.grid.cells);
            const QStringList executionGrid = snapshot(f.app.executions.cells);
            f.grid.rebuild();
            f.app.executions.refreshGrid();
            ASSERT_EQ(orderGrid, snapshot(f.grid.cells)) << "arrival " << arrival;
            ASSERT_EQ(executionGrid, snapshot(f.app.executions.cells)) << "arrival " << arrival;
        }
    }
}

// A large grid under a flood of new orders is rebuilt at a pace set by what a rebuild costs
// (on the pacer's own clock here): meanwhile the grid keeps showing rows that agree with its
// row map, and when the rebuild is due the grid shows everything. A replaced order table
// never waits.
TEST(GridRefresh, LargeGridUnderAFloodIsRebuiltAtAPaceAndEndsComplete)
{
    StatusFixture f;
    qint64 now = 1000;
    f.grid.pacer.now = [&] { return now; };
    auto burst = [&](int first, int count) {
        QByteArray bytes;
        for (int id = first; id < first + count; ++id)
            bytes += frame("@OO=" + orderFields(id, "S" + num(id), 1 + id % 2, 4));
        f.app.connection.receive(bytes);
    };
    burst(1, 1500);
    const int rebuilds = f.grid.rebuildCount();
    EXPECT_EQ(f.grid.cells.rowCount(), f.book.OGRowMap.count() + 1);

    for (int step = 0; step < 20; ++step) {
        now += 1;
        burst(2000 + step * 100, 100);
        EXPECT_GT(f.grid.rebuildWait(), 0);
        EXPECT_EQ(f.grid.cells.rowCount(), f.book.OGRowMap.count() + 1);
        for (int row = 2; row <= f.book.OGRowMap.count(); ++row) {
            const RowEntry& e = f.book.OGRowMap[row];
            if (e.Art == OpenOrder && row % 97 == 0) {
                ASSERT_EQ(f.cellText(row, O_OrderUserID), QString::number(f.book.orders[e.Item].OrderUserID));
            }
        }
    }
    EXPECT_EQ(f.grid.rebuildCount(), rebuilds);

    now += 10000;
    f.app.refreshGrids();
    EXPECT_EQ(f.grid.rebuildCount(), rebuilds + 1);
    EXPECT_EQ(f.grid.rebuildWait(), 0);
    EXPECT_EQ(f.book.OGRowMap.count(), 1 + 4 + 1500 + 2000);
    EXPECT_EQ(f.cellText(f.rowOfOrder(f.book.SuchOrderUserID(3999)), O_OrderUserID), "3999");

    // While the rebuild waits, an order that fills or is cancelled meanwhile shows its new
    // status at once and no longer offers "CANCEL".
    now += 1;
    burst(9000, 100);
    ASSERT_GT(f.grid.rebuildWait(), 0);
    const int shownOrder = f.book.SuchOrderUserID(3999);
    ASSERT_EQ(f.cellText(f.rowOfOrder(shownOrder), O_CANCEL), "CANCEL");
    f.in("@OS=3999;x;6;101500;3;0;100.5;;0;0");
    f.in("@OS=3998;x;5;101500;0;3;0;;0;0");
    f.app.refreshGrids();
    ASSERT_GT(f.grid.rebuildWait(), 0);
    EXPECT_EQ(f.cellText(f.rowOfOrder(shownOrder), O_CANCEL), "-");
    EXPECT_EQ(f.cellText(f.rowOfOrder(shownOrder), O_Status), "Filled ");
    EXPECT_EQ(f.book.OGRowMap[f.rowOfOrder(shownOrder)].Art, FinishedOrder);
    EXPECT_EQ(f.cellText(f.rowOfOrder(f.book.SuchOrderUserID(3998)), O_CANCEL), "-");

    // The whole list replaces the table: rebuilt at once, however recent the last rebuild.
    burst(20000, 100);
    QByteArray body;
    for (int id = 1; id <= 900; ++id)
        body += orderFields(id, "N" + num(id), 1, 4) + "\n";
    f.in("@SAO=" + body);
    EXPECT_EQ(f.book.OGRowMap.count(), 1 + 4 + 900);
    EXPECT_EQ(f.grid.cells.rowCount(), f.book.OGRowMap.count() + 1);
}
