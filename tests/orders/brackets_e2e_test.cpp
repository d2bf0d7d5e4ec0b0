#include "framing.h"
#include "numbers.h"
#include "orders/brackets.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <QMap>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

const QStringList kOptions = {"--rate", "0", "--seed", "1", "--test-control", "--close-time", "off"};
constexpr Colour kMain = rgb(1, 0, 0), kCold = rgb(2, 0, 0), kHot = rgb(3, 0, 0);

// A client against its own game server whose prices the test sets. Every state an order
// shows in the grid is noted, per client order number, as "status/colour of the type cell".
// Whether the states drawn are the expected ones in their order, perhaps with some skipped,
// and end with the last one.
bool drawnInOrder(const QStringList& drawn, const QStringList& expected)
{
    qsizetype at = 0;
    for (const QString& state : drawn) {
        while (at < expected.size() && expected[at] != state)
            ++at;
        if (at == expected.size())
            return false;
    }
    return !drawn.isEmpty() && drawn.last() == expected.last();
}

struct BracketSession : LiveSession {
    ClientApp& app = client.app;
    OrderBook& book = client.app.state.book;
    QMap<qint32, QStringList> seen;

    bool begin()
    {
        if (!start(kOptions))
            return false;
        if (!waitFor([&] { return app.state.user().UserKz.trimmed().size() > 0; }))
            return false;
        app.state.colours.set(OG_BracketMain, kMain);
        app.state.colours.set(OG_BracketChildCold, kCold);
        app.state.colours.set(OG_BracketChildHot, kHot);
        book.ZeigeAlleOrders = true;
        QObject::connect(&app.orderGrid.cells, &CellGrid::rowsChanged, [this] { look(); });
        QObject::connect(&app.orderGrid.cells, &CellGrid::layoutReset, [this] { look(); });
        return quote(18000, 17999.5, 18000);
    }
    bool quote(float last, float bid, float ask)
    {
        app.connection.Senddata(frame("@TESTQUOTE=1;" + writeSingle(last) + ';' + writeSingle(bid) + ';' +
                                      writeSingle(ask) + ";50;50"));
        return waitFor([&] { return app.state.Instruments[1].Letzter == last && app.state.Instruments[1].Bid == bid; });
    }
    void look()
    {
        const int typ = app.orderGrid.gridColumn(OrderLineType, O_Typ);
        const int status = app.orderGrid.gridColumn(OrderLineType, O_Status);
        for (int row = 2; row <= book.OGRowMap.count() && row < app.orderGrid.cells.rowCount(); ++row) {
            const RowEntry& e = book.OGRowMap[row];
            if ((e.Art != OpenOrder && e.Art != FinishedOrder) || !book.orders.valid(e.Item))
                continue;
            const Colour c = app.orderGrid.cells.at(row, typ).background;
            const QString state = app.orderGrid.cells.at(row, status).text.trimmed() + '/' +
                                  (c == kMain ? "main" : c == kCold ? "cold" : c == kHot ? "hot" : "-");
            QStringList& list = seen[book.orders[e.Item].OrderUserID];
            if (list.isEmpty() || list.last() != state)
                list << state;
        }
    }
    const OrderRecord* order(qint32 userId) const
    {
        const int i = book.SuchOrderUserID(userId);
        return i ? &book.orders[i] : nullptr;
    }
    int column(int logical) const { return app.orderGrid.gridColumn(OrderLineType, logical); }
    // The grid row of the first exit entry line of instrument 1.
    int exitRow() const
    {
        for (int row = 2; row <= book.OGRowMap.count(); ++row) {
            const RowEntry& e = book.OGRowMap[row];
            if (e.Art == EntryLine && book.LeerOrders[e.Item].BrRolle >= 2)
                return row;
        }
        return 0;
    }
    // The "@PO=" and "@BR" texts sent so far.
    QStringList sentOrders() const
    {
        QStringList out;
        for (const QString& l : app.outgoing.lines()) {
            if (l.startsWith(QLatin1String("OUT:\x01@PO=")) || l.startsWith(QLatin1String("OUT:\x01@BR")))
                out << l.mid(5).chopped(1);
        }
        return out;
    }
    bool flat() const
    {
        const PositionRecord* p = const_cast<ClientApp&>(app).state.positionOf(1);
        return !p || p->Bestand == 0;
    }
    void menu(int row, int item)
    {
        GridMenu shown = GridMenu::None;
        auto c = QObject::connect(&app.orderEntry, &OrderEntry::menuRequested, [&](GridMenu m, int) { shown = m; });
        app.orderEntry.mouseDown(true, row, 1);
        QObject::disconnect(c);
        ASSERT_NE(shown, GridMenu::None);
        app.orderEntry.chooseMenuItem(shown, row, item);
    }
};

} // namespace

// A buy entry line with a take-profit 5 above and a stop-loss 3 below the last price: the
// group goes out main first, the main fills, the exits wake up, the take-profit fills and
// the server cancels the stop-loss; the position ends flat.
TEST(BracketEndToEnd, EntryLineGroupTakesProfit)
{
    KORVI_NEEDS_SERVER();
    BracketSession s;
    ASSERT_TRUE(s.begin());
    ClientApp& app = s.app;
    app.state.WpvPresets[1].Wert1 = 5;
    app.state.WpvPresets[1].Wert2 = 3;
    app.state.WpvPresets[1].Wert3 = 1;

    const int row = app.orderEntry.openEntryLine(app.orderEntry.instrumentRow(1), "BUY");
    s.book.LeerOrders[s.book.OGRowMap[row].Item].Stck = 2;
    s.menu(row, 0);
    ASSERT_NE(s.exitRow(), 0);
    app.orderEntry.mouseDown(false, s.exitRow(), s.column(O_TRANS));

    // Rows are sent from the bottom up, and the main leads its block: the stop-loss goes
    // before the take-profit.
    const QByteArray kz = app.state.user().UserKz.trimmed();
    const QStringList sent = s.sentOrders();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(sent[0], "@PO=" + kz + ";1;1;BUY ;MKT;2; 18000; 0;1;0");
    EXPECT_EQ(sent[1], "@PO=" + kz + ";2;1;SEL ;STP;2; 17997; 0;3;1");
    EXPECT_EQ(sent[2], "@PO=" + kz + ";3;1;SEL ;LMT;2; 18005; 0;2;1");
    EXPECT_EQ(s.exitRow(), 0) << "the group left the grid";

    ASSERT_TRUE(waitFor([&] {
        const OrderRecord* sl = s.order(2);
        const OrderRecord* tp = s.order(3);
        return tp && sl && tp->BrAktiv && sl->BrAktiv && tp->Status == Submitted && sl->Status == Submitted;
    }, 10000));
    EXPECT_EQ(s.order(1)->Status, Filled);
    EXPECT_EQ(s.order(3)->BrParentID, 1);
    EXPECT_EQ(s.order(3)->BrRolle, 2);
    EXPECT_FALSE(s.flat());

    ASSERT_TRUE(s.quote(18005, 18005, 18005.5));
    ASSERT_TRUE(waitFor([&] { return s.order(3)->Status == Filled && s.order(2)->Status == Cancelled; }, 10000));
    ASSERT_TRUE(waitFor([&] { return s.flat(); }, 10000));

    // The grid catches up once per arrival of data, so states that came and went within one
    // arrival may never be drawn; what is drawn follows the roles' order and ends right.
    EXPECT_TRUE(drawnInOrder(s.seen[1], {"PendSubm./-", "Submitted/main", "Filled/-"})) << s.seen[1].join(' ').toStdString();
    EXPECT_TRUE(drawnInOrder(s.seen[3], {"PendSubm./cold", "PreSubm./cold", "Submitted/hot", "Filled/-"}))
        << s.seen[3].join(' ').toStdString();
    EXPECT_TRUE(drawnInOrder(s.seen[2], {"PendSubm./cold", "PreSubm./cold", "Submitted/hot", "Cancelled/-"}))
        << s.seen[2].join(' ').toStdString();
    EXPECT_TRUE(s.seen[3].contains("Submitted/hot")) << "a working exit is drawn as active";
}

// Brackets on filled orders: "@BR1=" makes the order a main before its exits exist. The
// exits of one are deleted, and the bracket query frees that order again; the other's
// exits keep their distances to the fill price, the stop-loss fills and the server cancels
// the take-profit and the market-on-close exit.
TEST(BracketEndToEnd, FilledOrderBecomesAMain)
{
    KORVI_NEEDS_SERVER();
    BracketSession s;
    ASSERT_TRUE(s.begin());
    ClientApp& app = s.app;
    app.state.WpvPresets[1].Wert1 = 10;
    app.state.WpvPresets[1].Wert2 = 6;
    app.state.WpvPresets[1].Wert3 = 2;
    auto buyAtMarket = [&](qint32 id) {
        const int row = app.orderEntry.openEntryLine(app.orderEntry.instrumentRow(1), "BUY");
        app.orderEntry.mouseDown(false, row, s.column(O_TRANS));
        return waitFor([&] { return s.order(id) && s.order(id)->Status == Filled; }, 10000);
    };
    const QByteArray kz = app.state.user().UserKz.trimmed();

    // The first filled order gets exits, which are deleted again.
    ASSERT_TRUE(buyAtMarket(1));
    s.menu(s.book.SuchRow(s.book.SuchOrderUserID(1), OpenOrder), 0);
    EXPECT_EQ(s.sentOrders().last(), "@BR1=" + kz + ";1;" + s.order(1)->OrderID.trimmed());
    ASSERT_TRUE(waitFor([&] { return s.order(1)->BrRolle == 1 && s.order(1)->BrOrderID == s.order(1)->OrderID; }));
    app.orderEntry.mouseDown(false, s.exitRow(), s.column(O_CANCEL));
    EXPECT_EQ(s.exitRow(), 0);
    EXPECT_EQ(s.sentOrders().last(), "@BR?=" + kz + ";1;" + s.order(1)->OrderID.trimmed());
    ASSERT_TRUE(waitFor([&] { return s.order(1)->BrRolle == 0; }, 10000));

    // The second gets all three exits and keeps them.
    ASSERT_TRUE(buyAtMarket(2));
    const int before = int(s.sentOrders().size());
    s.menu(s.book.SuchRow(s.book.SuchOrderUserID(2), OpenOrder), 1);
    ASSERT_EQ(s.sentOrders().size(), before + 1);
    app.orderEntry.mouseDown(false, s.exitRow(), s.column(O_TRANS));
    const QStringList sent = s.sentOrders().mid(before + 1);
    EXPECT_EQ(sent, (QStringList{"@PO=" + kz + ";3;1;SEL ;MOC;1;-6; 0;4;2", "@PO=" + kz + ";4;1;SEL ;STP;1;-6; 0;3;2",
                                 "@PO=" + kz + ";5;1;SEL ;LMT;1;-10; 0;2;2"}));
    ASSERT_TRUE(waitFor([&] {
        return s.order(3) && s.order(4) && s.order(5) && s.order(5)->BrAktiv && s.order(4)->BrAktiv;
    }, 10000));
    EXPECT_EQ(s.order(5)->Limit1, 18010) << "ten above the fill";
    EXPECT_EQ(s.order(4)->Limit1, 17994) << "six below the fill";

    ASSERT_TRUE(s.quote(17994, 17993.5, 17994));
    ASSERT_TRUE(waitFor([&] {
        return s.order(4)->Status == Filled && s.order(5)->Status == Cancelled && s.order(3)->Status == Cancelled;
    }, 10000));
    // The first order's piece is still held; the bracket closed only its own.
    ASSERT_TRUE(waitFor([&] {
        const PositionRecord* p = app.state.positionOf(1);
        return p && p->Bestand == 1;
    }, 10000));
    EXPECT_TRUE(drawnInOrder(s.seen[4], {"PendSubm./cold", "PreSubm./cold", "Submitted/hot", "Filled/-"}))
        << s.seen[4].join(' ').toStdString();
    EXPECT_TRUE(s.seen[4].contains("Submitted/hot"));
    EXPECT_EQ(s.seen[4].last(), "Filled/-");
    EXPECT_EQ(s.seen[2].last(), "Filled/-");
}
