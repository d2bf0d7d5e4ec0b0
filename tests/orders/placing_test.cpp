#include "orders/placing.h"
#include "support/liveserver.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct PlacingFixture : ClientFixture {
    State& s = app.state;
    OrderGrid& grid = app.orderGrid;
    OrderEntry& entry = app.orderEntry;
    OrderPlacing& placing = app.placing;

    PlacingFixture()
    {
        app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n");
        s.user().UserKz = "ABC123";
        s.user().LastUserOrderID = 41;
    }
    // The framed messages sent so far, without their frame characters.
    QStringList sent() const
    {
        QStringList out;
        for (const QString& line : app.outgoing.lines())
            if (line.startsWith("OUT:\x01"))
                out << line.mid(5).chopped(1);
        return out;
    }
    int col(LineType t, int logical) const { return grid.layout.spalte[t][logical]; }
    // Opens an entry line on instrument wp's line and returns its row.
    int open(int wp, bool buy)
    {
        const int row = entry.instrumentRow(wp);
        entry.mouseDown(false, row, col(InstrumentLineType, buy ? C_Ask : C_Bid));
        return row + 2;
    }
    OrderRecord& line(int row) { return s.book.LeerOrders[s.book.OGRowMap[row].Item]; }
    void transmit(int row) { entry.mouseDown(false, row, col(OrderLineType, O_TRANS)); }
};

} // namespace

TEST(Placing, MessageTextsFieldByField)
{
    OrderRecord o;
    o.UserKz = "AB1   ";
    o.OrderUserID = 42;
    o.WPIndex = 3;
    o.BS = "SEL ";
    o.Typ = "LMT";
    o.Stck = 5;
    o.Limit1 = 101.5f;
    o.Limit2 = 0.5f;
    o.BrRolle = 2;
    o.BrParentID = 41;
    EXPECT_EQ(placeOrderText(o), "@PO=AB1;42;3;SEL ;LMT;5; 101.5; .5;2;41");
    o.BS = "BUY";
    o.OrderUserID = -7;
    o.Limit1 = -0.25f;
    EXPECT_EQ(placeOrderText(o), "@PO=AB1;-7;3;BUY ;LMT;5;-.25; .5;2;41");
    o.OrderID = "X1234567";
    EXPECT_EQ(cancelOrderText(o), "@CO=AB1;-7;X1234567");
}

TEST(Placing, TransmitNumbersSendsAndRemovesTheLine)
{
    PlacingFixture f;
    f.grid.rebuild();
    const int row = f.open(1, false);
    f.line(row).Typ = "LMT";
    f.line(row).Limit1 = 101.5f;
    const int rows = f.grid.cells.rowCount();
    f.transmit(row);
    EXPECT_EQ(f.sent(), QStringList{"@PO=ABC123;42;1;SEL ;LMT;1; 101.5; 0;0;0"});
    EXPECT_EQ(f.s.user().LastUserOrderID, 42);
    EXPECT_EQ(f.grid.cells.rowCount(), rows - 1);
    EXPECT_EQ(f.s.book.OGRowMap.count() + 1, f.grid.cells.rowCount());
    EXPECT_EQ(f.s.book.LeerOrders[1].WPIndex, 0); // the slot is free again
}

TEST(Placing, StopChecksUseANumberAndEqualPricesPass)
{
    PlacingFixture f;
    f.grid.rebuild();
    int row = f.open(1, true);
    f.line(row).Typ = "STP";
    f.line(row).Limit1 = 17990; // below the last price of 18000
    f.transmit(row);
    EXPECT_TRUE(f.sent().isEmpty());
    EXPECT_EQ(f.app.messages.messageLine(), "Keine STP-Buy Order mit Limit unter Last-Kurs!");
    EXPECT_EQ(f.s.book.OGRowMap.count() + 1, f.grid.cells.rowCount());

    row = f.open(1, false);
    f.line(row).Typ = "STP";
    f.line(row).Limit1 = 18010;
    f.transmit(row);
    EXPECT_EQ(f.app.messages.messageLine(), QString::fromLatin1("Keine STP-Sell Order mit Limit \xfc" "ber Last-Kurs!"));

    row = f.open(1, true);
    f.line(row).Typ = "STP";
    f.line(row).Limit1 = 18000;
    f.transmit(row);
    EXPECT_EQ(f.sent(), QStringList{"@PO=ABC123;44;1;BUY ;STP;1; 18000; 0;0;0"});
}

TEST(Placing, ExternalOrdersCarryTheNegatedNumber)
{
    PlacingFixture f;
    f.grid.rebuild();
    QList<qint32> told;
    QStringList list1;
    f.placing.external.ExtS_NewOrderId = [&](const QByteArray& ref, qint32 id) {
        EXPECT_EQ(ref, "R9");
        told << id;
    };
    f.placing.external.list1 = [&](const QString& line) { list1 << line; };
    const int row = f.open(2, true);
    f.placing.ExtOrderActive = true;
    f.placing.ExtOrderRef = "R9";
    f.transmit(row);
    f.placing.ExtOrderActive = false;
    EXPECT_EQ(told, QList<qint32>{-42});
    EXPECT_EQ(f.sent(), QStringList{"@PO=ABC123;-42;2;BUY ;MKT;1; 131.26; 0;0;0"});
    EXPECT_EQ(list1, f.sent());
}

TEST(Placing, BracketGroupGoesMainFirstWithItsNumber)
{
    PlacingFixture f;
    f.grid.rebuild();
    const int mainRow = f.open(1, true);
    const int mainEntry = f.s.book.OGRowMap[mainRow].Item;
    f.line(mainRow).BrRolle = 1;
    for (int role : {2, 3}) {
        const int r = f.open(1, false);
        f.line(r).BrRolle = static_cast<qint16>(role);
        f.line(r).BrParent = mainEntry;
        f.line(r).Typ = role == 2 ? "LMT" : "STP";
    }
    // Rows now: 4 stop child, 5 profit child, 6 main. TRANSMIT on a child sends the group.
    f.transmit(4);
    const QStringList out = f.sent();
    ASSERT_EQ(out.size(), 3);
    EXPECT_TRUE(out[0].startsWith("@PO=ABC123;42;1;BUY ;MKT;"));
    EXPECT_TRUE(out[0].endsWith(";1;0"));
    EXPECT_TRUE(out[1].endsWith(";42"));
    EXPECT_TRUE(out[2].endsWith(";42"));
    EXPECT_EQ(f.s.book.OGRowMap.count(), 1 + 4); // only instrument lines and separators left
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);
}

TEST(Placing, GroupButtons)
{
    PlacingFixture f;
    auto order = [&](qint16 status, qint32 id) {
        OrderRecord r;
        r.WPIndex = 1;
        r.Status = status;
        r.OrderUserID = id;
        r.UserKz = "ABC123";
        r.OrderID = fixedText("S" + QByteArray::number(id), 8);
        f.s.book.orders.append(r);
    };
    order(PendSubm, 1);
    order(Submitted, 2);
    order(PreSubm, 3);
    order(Filled, 4);
    f.grid.rebuild();
    f.placing.cancelAlle();
    EXPECT_EQ(f.sent(), (QStringList{"@CO=ABC123;2;S2", "@CO=ABC123;3;S3"}));
    f.placing.CancelorderUser(1);
    f.placing.CancelorderUser(99);
    EXPECT_EQ(f.sent().size(), 3);

    f.open(1, true);
    f.open(2, false);
    f.placing.loescheTrans();
    EXPECT_EQ(f.s.book.SuchRow(1, EntryLine), 0);
    EXPECT_EQ(f.s.book.SuchRow(2, EntryLine), 0);

    f.open(1, true);
    f.open(2, false);
    f.placing.transAlle();
    const QStringList out = f.sent();
    ASSERT_EQ(out.size(), 5);
    EXPECT_TRUE(out[3].contains(";2;SEL ;MKT;")); // from the last row up
    EXPECT_TRUE(out[4].contains(";1;BUY ;MKT;"));
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);
}

TEST(Placing, MarketButtonsAskFirstAndSendAtOnce)
{
    PlacingFixture f;
    f.grid.rebuild();
    f.placing.Command8_Click(0);
    EXPECT_EQ(f.prompts.messages, QStringList{"Bitte zuerst ein Wertpapier als DEFAULT kennzeichnen !"});

    f.entry.mouseDown(false, f.entry.instrumentRow(2), f.col(InstrumentLineType, C_DEFAULT));
    f.prompts.yesAnswer = false;
    f.placing.Command8_Click(1);
    ASSERT_EQ(f.prompts.questions.size(), 1);
    // The question as it always was, then the order it would send.
    EXPECT_EQ(f.prompts.questions[0], QString::fromUtf8("Order wirklich ausführen ?\nDiese Sicherheitsabfrage kann unter 'Sonstiges' deaktiviert werden!\n\nVERKAUF 1 ") +
                                          QString::fromLatin1(f.s.Instruments[2].Ticker.trimmed()) + " MKT");
    EXPECT_TRUE(f.sent().isEmpty());
    EXPECT_EQ(f.s.book.SuchRow(1, EntryLine), 0);

    f.prompts.yesAnswer = true;
    f.entry.setQuantityText("3");
    f.placing.Command8_Click(1);
    EXPECT_EQ(f.sent(), QStringList{"@PO=ABC123;42;2;SEL ;MKT;3; 131.24; 0;0;0"});

    f.s.settings.safetyQuestion = 0;
    f.placing.Command8_Click(0);
    EXPECT_EQ(f.prompts.questions.size(), 2);
    EXPECT_EQ(f.sent().size(), 2);
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);
}
