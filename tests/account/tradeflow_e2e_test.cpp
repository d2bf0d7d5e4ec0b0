#include "orders/orderstatus.h"
#include "framing.h"
#include "support/liveserver.h"
#include "support/scriptedpeer.h"
#include "textfile.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

// The grid column of a logical order-line column.
int orderColumn(const ClientApp& app, int logical) { return app.orderGrid.layout.spalte[OrderLineType][logical]; }
int instrumentColumn(const ClientApp& app, int logical)
{
    return app.orderGrid.layout.spalte[InstrumentLineType][logical];
}

// Opens a buy entry line on instrument 1, makes it a limit order at `limit` through the
// in-cell editor and clicks "TRANSMIT".
void transmitLimitBuy(ClientApp& app, float limit)
{
    OrderEntry& entry = app.orderEntry;
    const int row = entry.openEntryLine(entry.instrumentRow(1), "BUY");
    ASSERT_NE(row, 0);
    entry.mouseDown(false, row, orderColumn(app, O_Limit1));
    ASSERT_TRUE(entry.editor().visible);
    entry.Combo1_Click(QString::number(limit, 'f', 2));
    entry.mouseDown(false, row, orderColumn(app, O_TRANS));
}

int rejections(const ClientApp& app)
{
    int n = 0;
    for (const QString& line : app.outgoing.lines())
        n += line.startsWith(QLatin1String(">> Order Rejected"));
    return n;
}

// The status text of order `index` in its grid row, or empty when it has none.
QString statusCell(const ClientApp& app, int index)
{
    const int row = app.state.book.SuchRow(index, OpenOrder);
    return row ? app.orderGrid.cells.at(row, orderColumn(app, O_Status)).text : QString();
}

} // namespace

// Against the game server: a refused order is announced; a limit order far from the market
// is confirmed, shown as submitted and cancelled with its "CANCEL" cell; a market order on
// the default instrument fills and its execution reaches the execution grid.
TEST(TradeFlowEndToEnd, OrdersAgainstTheGameServer)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ClientApp& app = c.app;
    ASSERT_TRUE(live.start());
    ASSERT_TRUE(waitFor([&] { return app.state.user().UserKz.trimmed().size() > 0; }));

    // An order for an instrument the server does not have.
    app.connection.Senddata(frame("@PO=" + app.state.user().UserKz.trimmed() + ";900;999;BUY ;LMT;1; 1; 0;0;0"));
    ASSERT_TRUE(waitFor([&] { return rejections(app) == 1; }));
    EXPECT_TRUE(app.messages.messageLine().contains(QLatin1String(" Order Rejected ")));

    // A limit buy at half the last price stays open.
    QStringList seen;
    auto look = [&] {
        const QString s = statusCell(app, 1);
        if (!s.isEmpty() && (seen.isEmpty() || seen.last() != s))
            seen << s;
    };
    QObject::connect(&app.orderGrid.cells, &CellGrid::rowsChanged, look);
    QObject::connect(&app.orderGrid.cells, &CellGrid::layoutReset, look);
    const float last = app.state.Instruments[1].Letzter;
    ASSERT_GT(last, 0);
    transmitLimitBuy(app, last / 2);
    ASSERT_TRUE(waitFor([&] { return app.state.book.orders.count() > 0 || rejections(app) > 1; }, 10000));
    if (app.state.book.orders.count() == 0)
        GTEST_SKIP() << "the game server refuses every order: " << app.messages.messageLine().toStdString();
    ASSERT_TRUE(waitFor([&] { return app.state.book.orders[1].Status == Submitted; }, 10000));
    EXPECT_EQ(statusCell(app, 1), "Submitted");
    // The grid draws once per arrival: a status overtaken within one arrival is not drawn.
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last(), "Submitted");
    for (const QString& shown : seen)
        EXPECT_TRUE(shown == "PendSubm." || shown == "Submitted") << shown.toStdString();
    EXPECT_GE(app.state.user().LastUserOrderID, app.state.book.orders[1].OrderUserID);

    const int orderRow = app.state.book.SuchRow(1, OpenOrder);
    app.orderEntry.mouseDown(false, orderRow, orderColumn(app, O_CANCEL));
    ASSERT_TRUE(waitFor([&] { return app.state.book.orders[1].Status == Cancelled; }, 10000));

    // "BUY MARKET" on the default instrument fills at once.
    app.orderEntry.mouseDown(false, app.orderEntry.instrumentRow(1), instrumentColumn(app, C_DEFAULT));
    c.prompts.yesAnswer = true;
    app.placing.Command8_Click(0);
    ASSERT_TRUE(waitFor([&] {
        const OrderBook& b = app.state.book;
        return b.orders.count() >= 2 && b.orders[b.orders.count()].Status == Filled;
    }, 10000));
    ASSERT_TRUE(waitFor([&] { return app.state.executions.table.count() >= 1; }, 10000));
    const ExecutionRecord& ex = app.state.executions.table[1];
    EXPECT_EQ(ex.orderId, app.state.book.orders[app.state.book.orders.count()].OrderID);
    EXPECT_EQ(ex.instrument, 1);
    EXPECT_EQ(app.executions.cells.at(1, 1).text, "ENr1");
    EXPECT_EQ(app.executions.cells.at(1, 4).text, fromWire(app.state.Instruments[1].Ticker));
}

// The same flow with a scripted server, through the real connection: every step of an
// order's life reaches the grids, and the "CANCEL" cell sends the cancellation.
TEST(TradeFlowEndToEnd, OrderLifeThroughTheConnection)
{
    ScriptedPeer peer;
    ClientFixture c;
    ClientApp& app = c.app;
    app.state.ServerAddress = "127.0.0.1";
    app.connection.load(false);
    app.connection.setPortField(QByteArray::number(peer.port()));
    app.connection.login();
    ASSERT_TRUE(waitFor([&] { return peer.connectionCount() == 1; }));
    peer.send("@WELCOME");
    peer.send("@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n");
    peer.send("@UD=ABC123");
    peer.send("@LI=41");
    ASSERT_TRUE(waitFor([&] { return app.state.InstrumentCount == 1 && app.state.user().LastUserOrderID == 41; }));

    transmitLimitBuy(app, 90);
    ASSERT_TRUE(waitFor([&] { return !peer.received.isEmpty() && peer.received.last().startsWith("@PO="); }));
    EXPECT_EQ(peer.received.last().split(';').value(1), "42");

    peer.send("@OO=42;SRV42;;BUY;1;LMT;90;0;1;0;1;0;093000;093000;;1;0;0;;0;0");
    ASSERT_TRUE(waitFor([&] { return statusCell(app, 1) == "PendSubm."; }));
    peer.send("@OS=42;SRV42;4;093001;0;1;0;;0;0");
    ASSERT_TRUE(waitFor([&] { return statusCell(app, 1) == "Submitted"; }));

    const int row = app.state.book.SuchRow(1, OpenOrder);
    app.orderEntry.mouseDown(false, row, orderColumn(app, O_CANCEL));
    ASSERT_TRUE(waitFor([&] { return peer.received.last().startsWith("@CO="); }));
    EXPECT_EQ(peer.received.last(), "@CO=ABC123;42;SRV42");
    peer.send("@CR=zu spaet");
    peer.send("@OS=42;SRV42;6;093002;1;0;90;;0;0");
    peer.send("@EX=T;SRV42;;1;;EX1;093002;BOT;1;90;90;1.5;0");
    ASSERT_TRUE(waitFor([&] { return app.state.executions.table.count() == 1; }));
    EXPECT_EQ(statusCell(app, 1), "Filled ");
    EXPECT_EQ(app.orderGrid.cells.at(row, orderColumn(app, O_CANCEL)).text, "-");
    EXPECT_EQ(app.messages.messageLine(), "09:30:15 Cancel Rejected zu spaet");
    EXPECT_EQ(app.executions.cells.at(1, 1).text, "ENr1");
    EXPECT_EQ(app.executions.cells.at(1, 4).text, "FDAX");
    EXPECT_EQ(c.sound.played.size(), 1);

    peer.send("@OR=Limit ungueltig");
    ASSERT_TRUE(waitFor([&] { return app.messages.messageLine() == "09:30:15 Order Rejected Limit ungueltig"; }));
}
