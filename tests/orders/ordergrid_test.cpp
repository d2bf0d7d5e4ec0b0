#include "orders/orderentry.h"
#include "account/executions.h"
#include "orders/ordergrid.h"
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace korvi;
using namespace korvi::test;

namespace {

// Two instruments with prices, one position on the first, and helpers to click cells by
// their logical column.
struct GridFixture : ClientFixture {
    State& s = app.state;
    OrderGrid& grid = app.orderGrid;
    OrderEntry& entry = app.orderEntry;
    QList<int> placed;

    GridFixture()
    {
        app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n");
        s.user().UserKz = "ABC123";
        entry.placeOrder = [this](int e, int row) {
            placed << e;
            s.book.ResetLeerOrder(e);
            s.book.DeleteRow(row);
            return true;
        };
    }
    OrderRecord order(int wp, qint16 status, qint32 id, const char* side = "BUY ")
    {
        OrderRecord r;
        r.WPIndex = static_cast<qint16>(wp);
        r.Status = status;
        r.OrderUserID = id;
        r.BS = side;
        r.Typ = "LMT";
        r.Stck = 3;
        r.OrderID = fixedText(QByteArray::number(id), 8);
        return r;
    }
    QString text(int row, LineType t, int logical) const
    {
        return grid.cells.at(row, grid.layout.spalte[t][logical]).text;
    }
    const Cell& cellAt(int row, LineType t, int logical) const
    {
        return grid.cells.at(row, grid.layout.spalte[t][logical]);
    }
    void click(int row, LineType t, int logical) { entry.mouseDown(false, row, grid.layout.spalte[t][logical]); }
    int rowOf(qint16 art, int wp) const
    {
        for (int r = 2; r <= s.book.OGRowMap.count(); ++r)
            if (s.book.OGRowMap[r].Art == art && s.book.OGRowMap[r].WPIndex == wp)
                return r;
        return 0;
    }
};

} // namespace

TEST(OrderTables, EntrySlotsAreReusedAndGrowByTen)
{
    OrderBook b;
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(b.MachneueLeerzeile(1, "BUY", 1, 1, 2, "X"), i);
    EXPECT_EQ(b.LeerOrders.capacity(), 10);
    b.ResetLeerOrder(4);
    b.ResetLeerOrder(2);
    b.LeerOrders[2].BrRolle = 3;
    EXPECT_EQ(b.MachneueLeerzeile(2, "SEL", 5, 10.5f, 11, "X"), 2);
    EXPECT_EQ(b.LeerOrders[2].BrRolle, 0);
    EXPECT_EQ(b.LeerOrders[2].Limit1, 10.5f); // a sell starts at the bid
    EXPECT_EQ(b.LeerOrders[2].BS, "SEL ");
    EXPECT_EQ(b.LeerOrders[2].Typ, "MKT");
    EXPECT_EQ(b.MachneueLeerzeile(1, "BUY", 1, 1, 2, "X"), 4);
    EXPECT_EQ(b.MachneueLeerzeile(1, "BUY", 1, 1, 2, "X"), 11);
    EXPECT_EQ(b.LeerOrders.capacity(), 20);
    EXPECT_EQ(b.LeerOrders[11].Limit1, 2.0f); // a buy starts at the ask

    OrderRecord known;
    known.OrderUserID = 7;
    known.OrderID = "AB12    ";
    b.orders.append(known);
    EXPECT_EQ(b.SuchOrderUserID(7), 1);
    EXPECT_EQ(b.SuchOrderUserID(8), 0);
    EXPECT_EQ(b.SuchOrderID("AB12"), 1);
    EXPECT_EQ(b.SuchOrderID("AB1"), 0);
}

// The lookups by server id and by number answer as a search from the first order would,
// over a seeded random sequence of appends, overwrites and whole-table replacements.
TEST(OrderTables, LookupsAgreeWithASearchFromTheFirstOrder)
{
    std::mt19937 random(7);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto record = [&] {
        OrderRecord r;
        r.OrderUserID = pick(-5, 5); // few numbers and ids, so that they repeat
        r.OrderID = fixedText("X" + QByteArray::number(pick(0, 6)), 8);
        return r;
    };
    OrderBook b;
    for (int step = 0; step < 3000; ++step) {
        const int action = pick(0, 99);
        if (action < 50 || b.orders.count() == 0) {
            b.orders.append(record());
        } else if (action < 97) {
            b.orders.set(pick(1, b.orders.count()), record());
        } else {
            std::vector<OrderRecord> all(static_cast<size_t>(pick(0, 30)));
            for (OrderRecord& r : all)
                r = record();
            b.orders.replace(std::move(all));
        }
        for (int key = -6; key <= 6; ++key) {
            int byNumber = 0, byId = 0;
            const QByteArray id = fixedText("X" + QByteArray::number(key), 8);
            for (int i = b.orders.count(); i >= 1; --i) {
                if (b.orders[i].OrderUserID == key)
                    byNumber = i;
                if (b.orders[i].OrderID == id)
                    byId = i;
            }
            ASSERT_EQ(b.SuchOrderUserID(key), byNumber) << step;
            ASSERT_EQ(b.SuchOrderID("X" + QByteArray::number(key)), byId) << step;
        }
    }
}

TEST(OrderTables, BuildOrderGridBlocksNewestFirstAndFinishedOnRequest)
{
    OrderBook b;
    b.BuildOrderGrid(0);
    EXPECT_EQ(b.OGRowMap.count(), 1);

    auto add = [&](int wp, qint16 status) {
        OrderRecord r;
        r.WPIndex = static_cast<qint16>(wp);
        r.Status = status;
        return b.orders.append(r);
    };
    add(1, 4); add(2, 1); add(1, 6); add(1, 0); add(1, 7); add(1, 2);
    b.MachneueLeerzeile(2, "BUY", 1, 0, 0, "X");
    b.BuildOrderGrid(2);
    auto kinds = [&] {
        std::vector<std::pair<int, int>> out;
        for (int r = 2; r <= b.OGRowMap.count(); ++r)
            out.push_back({b.OGRowMap[r].Art, b.OGRowMap[r].Item});
        return out;
    };
    using V = std::vector<std::pair<int, int>>;
    EXPECT_EQ(kinds(), (V{{1, 0}, {0, 0}, {3, 6}, {3, 1}, {1, 0}, {0, 0}, {2, 1}, {3, 2}}));
    b.ZeigeAlleOrders = true;
    b.BuildOrderGrid(2);
    EXPECT_EQ(kinds(), (V{{1, 0}, {0, 0}, {3, 6}, {4, 3}, {3, 1}, {1, 0}, {0, 0}, {2, 1}, {3, 2}}));
    EXPECT_EQ(b.SuchRow(3, OpenOrder), 5);
    EXPECT_EQ(b.SuchRow(1, EntryLine), 9);
    EXPECT_EQ(b.SuchRow(9, OpenOrder), 0);

    // Rows inserted and deleted move the rest.
    const int row = b.InsertRow(3, EntryLine);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(b.OGRowMap[5].Item, 6);
    b.DeleteRow(4);
    EXPECT_EQ(b.OGRowMap[4].Item, 6);
}

TEST(OrderGrid, DrawsEveryRowKind)
{
    GridFixture f;
    f.s.book.orders.append(f.order(1, 4, 41));
    OrderRecord finished = f.order(1, 6, 40, "SEL ");
    finished.Filled = 5;
    finished.Rem = 5;
    finished.Preis = 18000.5f;
    finished.StZeit = "093015";
    f.s.book.orders.append(finished);
    OrderRecord child = f.order(1, 4, 42);
    child.BrRolle = 3;
    child.BrAktiv = 1;
    child.Limit1 = -0.5f;
    child.BrParentID = 41;
    f.s.book.orders.append(child);
    f.s.book.ZeigeAlleOrders = true;
    f.s.positions.assign(2, {});
    f.s.positions[1] = {1, 30, 1500, 540000, 540300};
    f.s.PositionCount = 1;
    f.s.PositionIndex.assign(3, 0);
    f.s.PositionIndex[1] = 1;
    f.s.user().totalMargin = 2500;
    f.grid.rebuild();

    const int wp = f.rowOf(WPZeile, 1);
    ASSERT_EQ(wp, 2);
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_TICKER), "FDAX");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Name), "DAX");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Boerse), "EUX");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Bid), " 17999.5");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_BidVol), "10");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Zeit), "09:30:15");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Bestand), "+30");
    EXPECT_TRUE(f.cellAt(wp, InstrumentLineType, C_Bestand).bold);
    EXPECT_EQ(f.cellAt(wp, InstrumentLineType, C_Bestand).fontSize, 12);
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_GV15), "300");
    EXPECT_EQ(f.text(wp, InstrumentLineType, C_Bracket), "Mges=2500");
    EXPECT_EQ(f.cellAt(wp, InstrumentLineType, C_Bid).background, f.s.colours[OG_Bid]);
    EXPECT_EQ(f.grid.cells.rowHeight(3), f.grid.cells.rowHeight(0) / 2);
    EXPECT_TRUE(f.text(f.rowOf(WPZeile, 2), InstrumentLineType, C_Bestand).isEmpty());

    // Rows: 4 child (newest), 5 filled order, 6 open order.
    EXPECT_EQ(f.text(4, OrderLineType, O_Limit1), "Offset: .5");
    EXPECT_EQ(f.text(4, OrderLineType, O_Typ), "BR:LMT");
    EXPECT_EQ(f.cellAt(4, OrderLineType, O_Typ).background, f.s.colours[OG_BracketChildHot]);
    EXPECT_EQ(f.text(4, OrderLineType, O_BrOrderId), "Z4 O3 B3-41         ");
    EXPECT_EQ(f.text(5, OrderLineType, O_Status), "Filled ");
    EXPECT_EQ(f.text(5, OrderLineType, O_FilledRem), " 5 -  5");
    EXPECT_EQ(f.text(5, OrderLineType, O_StZeit), "09:30:15");
    EXPECT_EQ(f.text(5, OrderLineType, O_CANCEL), "-");
    EXPECT_EQ(f.cellAt(5, OrderLineType, O_BS).background, rgb(128, 128, 128));
    EXPECT_EQ(f.text(6, OrderLineType, O_CANCEL), "CANCEL");
    EXPECT_EQ(f.text(6, OrderLineType, O_OrderUserID), "41");
    EXPECT_EQ(f.cellAt(6, OrderLineType, O_BS).background, rgb(0, 255, 0));
    EXPECT_EQ(f.text(6, OrderLineType, O_gilt), "DAY");
}

TEST(OrderEntry, AskOpensABuyLineFirstInTheBlockAndEditsIt)
{
    GridFixture f;
    f.s.book.orders.append(f.order(1, 4, 41));
    f.grid.rebuild();
    f.entry.setQuantityText("0");
    EXPECT_EQ(f.entry.quantityText(), " 1");
    f.entry.setQuantityText("7.9");
    EXPECT_EQ(f.entry.quantityText(), " 7");

    f.click(2, InstrumentLineType, C_Ask);
    f.click(2, InstrumentLineType, C_Bid);
    // The newest entry line stands first, right below the separator.
    ASSERT_EQ(f.s.book.OGRowMap[4].Art, EntryLine);
    EXPECT_EQ(f.text(4, OrderLineType, O_BS), "SEL ");
    EXPECT_EQ(f.text(5, OrderLineType, O_BS), "BUY ");
    EXPECT_EQ(f.text(5, OrderLineType, O_Stck), "7");
    EXPECT_EQ(f.text(5, OrderLineType, O_Typ), "MKT");
    EXPECT_EQ(f.text(5, OrderLineType, O_TRANS), "TRANSMIT");
    EXPECT_EQ(f.text(5, OrderLineType, O_OrderUserID), "-");
    EXPECT_EQ(f.s.book.OGRowMap[6].Art, OpenOrder);
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);

    // A price typed with a decimal comma; the market line becomes a limit line.
    f.click(5, OrderLineType, O_Limit1);
    ASSERT_TRUE(f.entry.editor().visible);
    EXPECT_EQ(f.entry.editor().mode, 2);
    EXPECT_EQ(f.entry.editor().items.size(), 21);
    EXPECT_EQ(f.entry.editor().items[10], " 18000");
    f.entry.Combo1_Click("12,5");
    const OrderRecord& line = f.s.book.LeerOrders[f.s.book.OGRowMap[5].Item];
    EXPECT_EQ(line.Limit1, 12.5f);
    EXPECT_EQ(line.Typ, "LMT");
    EXPECT_FALSE(f.entry.editor().visible);

    f.click(5, OrderLineType, O_Typ);
    f.entry.Combo1_Click("STP");
    f.click(5, OrderLineType, O_Limit1);
    f.entry.Combo1_Click("13");
    EXPECT_EQ(line.Typ, "STP");
    f.click(5, OrderLineType, O_Stck);
    EXPECT_EQ(f.entry.editor().mode, 1);
    f.entry.Combo1_Click("25");
    EXPECT_EQ(line.Stck, 25);

    // A click elsewhere while the editor is open takes its value first.
    f.click(5, OrderLineType, O_Stck);
    f.entry.setEditorText("4");
    f.click(2, InstrumentLineType, C_Name);
    EXPECT_EQ(line.Stck, 4);
    EXPECT_FALSE(f.entry.editor().visible);

    // TRANSMIT hands the line to the order placing and the row goes.
    const int rows = f.grid.cells.rowCount();
    f.click(5, OrderLineType, O_TRANS);
    EXPECT_EQ(f.placed, QList<int>{f.placed.value(0)});
    EXPECT_EQ(f.grid.cells.rowCount(), rows - 1);
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);

    // DELETE frees the slot.
    f.click(4, OrderLineType, O_CANCEL);
    EXPECT_EQ(f.s.book.OGRowMap[4].Art, OpenOrder);
    EXPECT_EQ(f.grid.cells.rowCount(), f.s.book.OGRowMap.count() + 1);
}

TEST(OrderEntry, PriceStepsDefaultAndMenus)
{
    EXPECT_EQ(priceStep(0), 0.0001);
    EXPECT_EQ(priceStep(1.9999), 0.0001);
    EXPECT_EQ(priceStep(2), 0.01);
    EXPECT_EQ(priceStep(199.995), 0.01);
    EXPECT_EQ(priceStep(200), 0.1);
    EXPECT_EQ(priceStep(2000), 0.5);

    GridFixture f;
    f.s.book.orders.append(f.order(2, 5, 41));
    OrderRecord main = f.order(2, 4, 42);
    main.BrRolle = 1;
    f.s.book.orders.append(main);
    f.s.book.ZeigeAlleOrders = true;
    f.grid.rebuild();
    f.s.Instruments[2].Letzter = 0;
    f.click(f.rowOf(WPZeile, 2), InstrumentLineType, C_Ask);
    const int entryRow = f.rowOf(EntryLine, 2);
    f.click(entryRow, OrderLineType, O_Limit2);
    EXPECT_EQ(f.entry.editor().items.first(), "-.001");
    EXPECT_EQ(f.entry.editor().items.last(), " .001");
    f.entry.hideEditor();

    int defaults = 0;
    QObject::connect(&f.entry, &OrderEntry::defaultInstrumentChanged, [&] { ++defaults; });
    f.click(2, InstrumentLineType, C_DEFAULT);
    f.click(f.rowOf(WPZeile, 2), InstrumentLineType, C_DEFAULT);
    EXPECT_EQ(f.s.book.DefaultWP, 2);
    EXPECT_EQ(defaults, 2);
    EXPECT_EQ(f.cellAt(2, InstrumentLineType, C_DEFAULT).background, f.s.colours[OG_WPZeile]);
    EXPECT_EQ(f.cellAt(f.rowOf(WPZeile, 2), InstrumentLineType, C_DEFAULT).background, rgb(255, 255, 0));

    QList<GridMenu> menus;
    QObject::connect(&f.entry, &OrderEntry::menuRequested, [&](GridMenu m, int) { menus << m; });
    f.entry.mouseDown(true, 2, 1);
    f.entry.mouseDown(true, entryRow, 1);
    f.entry.mouseDown(true, f.s.book.SuchRow(2, OpenOrder), 1); // bracket main
    f.entry.mouseDown(true, f.s.book.SuchRow(1, OpenOrder), 1); // cancelled
    f.entry.mouseDown(true, 3, 1);                                // separator
    EXPECT_EQ(menus, (QList<GridMenu>{GridMenu::Position, GridMenu::EntryBracket}));
    EXPECT_EQ(f.prompts.messages, (QStringList{"Diese Order ist bereits eine Bracket-Hauptorder!",
                                               "Bitte eine nicht abgeschlossene Order anklicken!",
                                               "Bitte eine nicht abgeschlossene Order anklicken!"}));

    int toggles = 0;
    QObject::connect(&f.entry, &OrderEntry::toggleFinishedOrders, [&] { ++toggles; });
    f.click(3, OrderLineType, O_Stck);
    EXPECT_EQ(toggles, 1);
}

TEST(OrderGridView, ShowsTheCellsAndForwardsClicks)
{
    GridFixture f;
    f.grid.rebuild();
    OrderGridView view(f.grid.cells, f.entry);
    view.resize(1200, 400);
    view.show();
    const QAbstractItemModel* model = view.model();
    ASSERT_EQ(model->rowCount(), f.grid.cells.rowCount());
    const int askColumn = f.grid.layout.spalte[InstrumentLineType][C_Ask];
    EXPECT_EQ(model->data(model->index(2, askColumn), Qt::DisplayRole).toString(), " 18000.5");
    EXPECT_EQ(model->data(model->index(2, askColumn), Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 0));
    EXPECT_EQ(view.rowHeight(3), f.grid.cells.rowHeight(3));

    const QPoint at = view.visualRect(model->index(2, askColumn)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    ASSERT_EQ(model->rowCount(), f.grid.cells.rowCount());
    EXPECT_EQ(model->data(model->index(4, f.grid.layout.spalte[OrderLineType][O_BS]), Qt::DisplayRole).toString(), "BUY ");

    // A new row keeps the widths the user gave the columns.
    view.setColumnWidth(5, 133);
    const QPoint bid = view.visualRect(model->index(2, f.grid.layout.spalte[InstrumentLineType][C_Bid])).center();
    QMouseEvent press3(QEvent::MouseButtonPress, bid, view.viewport()->mapToGlobal(bid), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press3);
    EXPECT_EQ(model->rowCount(), f.grid.cells.rowCount());
    EXPECT_EQ(view.columnWidth(5), 133);

    // The price editor opens over its cell.
    const QPoint limit = view.visualRect(model->index(4, f.grid.layout.spalte[OrderLineType][O_Limit1])).center();
    QMouseEvent press2(QEvent::MouseButtonPress, limit, view.viewport()->mapToGlobal(limit), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press2);
    EXPECT_TRUE(view.editor().isVisible());
    EXPECT_EQ(view.editor().count(), 21);
    EXPECT_TRUE(view.editor().geometry().contains(limit));
}

// A view keeps images of the rows it painted. Whatever happens to the grid (cells written,
// rows inserted, removed or resized, the grid rebuilt, its colours changed, the view
// scrolled or a column widened), what it shows must be what a new view of the same grid
// shows, pixel for pixel. The grid's texts are checked against a plain table of rows too:
// the grid keeps rows in reusable slots, and a reused slot must come back empty.
TEST(CellGridView, PaintsWhatANewViewPaintsAfterEveryChange)
{
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        CellGrid grid;
        grid.resize(30, 6);
        CellGridView view(grid);
        view.resize(420, 260);
        view.show();
        const QStringList texts{"", "BUY ", "CANCEL", " 18000.5", "a much longer text than fits its cell", "-"};
        std::vector<QStringList> model(30, QStringList(6));
        for (int step = 0; step < 150; ++step) {
            const int row = pick(0, std::max(0, grid.rowCount() - 1));
            switch (pick(0, 9)) {
            case 0:
                grid.insertRow(row);
                model.insert(model.begin() + row, QStringList(6));
                break;
            case 1:
                if (grid.rowCount() > 3) {
                    grid.removeRow(row);
                    model.erase(model.begin() + row);
                }
                break;
            case 2:
                grid.setRowHeight(row, pick(0, 1) ? CellGrid::kDefaultRowHeight : pick(5, 30));
                break;
            case 3:
                if (pick(0, 9) == 0) {
                    grid.resize(pick(5, 40), 6);
                    model.assign(size_t(grid.rowCount()), QStringList(6));
                } else {
                    grid.clearRow(row);
                    model[size_t(row)] = QStringList(6);
                }
                break;
            case 4:
                grid.generalBackground = rgb(pick(0, 255), 0, 0);
                grid.textColour = rgb(0, 0, pick(0, 255));
                grid.touch(0);
                break;
            case 5:
                view.verticalScrollBar()->setValue(pick(0, view.verticalScrollBar()->maximum()));
                break;
            case 6:
                view.setColumnWidth(pick(0, 5), pick(20, 120));
                break;
            default: {
                grid.beginUpdate();
                for (int n = pick(1, 4); n > 0; --n) {
                    const int r = pick(0, grid.rowCount() - 1), column = pick(0, 5);
                    Cell& c = grid.cell(r, column);
                    c.text = texts[pick(0, int(texts.size()) - 1)];
                    model[size_t(r)][column] = c.text;
                    c.background = rgb(pick(0, 255), pick(0, 255), 128);
                    c.ownBackground = pick(0, 1);
                    c.bold = pick(0, 3) == 0;
                    c.fontSize = pick(0, 3) == 0 ? 12 : 0;
                    c.centred = pick(0, 1);
                }
                grid.endUpdate();
            }
            }
            ASSERT_EQ(int(model.size()), grid.rowCount());
            for (int r = 0; r < grid.rowCount(); ++r)
                for (int column = 0; column < 6; ++column)
                    ASSERT_EQ(grid.at(r, column).text, model[size_t(r)][column]) << "step " << step;
            QApplication::processEvents();
            CellGridView fresh(grid);
            fresh.resize(view.size());
            for (int c = 0; c < grid.columnCount(); ++c)
                fresh.setColumnWidth(c, view.columnWidth(c));
            fresh.show();
            fresh.verticalScrollBar()->setValue(view.verticalScrollBar()->value());
            QApplication::processEvents();
            ASSERT_EQ(view.viewport()->grab().toImage(), fresh.viewport()->grab().toImage()) << "step " << step;
        }
    }
}

TEST(OrderGridEndToEnd, LiveServerBlocksAndAskClick)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ASSERT_TRUE(live.start({"--seed", "7"}));
    const int count = c.app.state.InstrumentCount;
    // One instrument line and one separator per instrument.
    EXPECT_EQ(c.app.state.book.OGRowMap.count(), 1 + 2 * count);
    const OrderGrid& grid = c.app.orderGrid;
    const int askColumn = grid.layout.spalte[InstrumentLineType][C_Ask];
    QStringList before;
    for (int n = 1; n <= count; ++n)
        before << grid.cells.at(2 * n, askColumn).text;
    // Prices keep arriving and the refresh draws them.
    ASSERT_TRUE(waitFor([&] {
        for (int n = 1; n <= count; ++n)
            if (grid.cells.at(2 * n, askColumn).text != before[n - 1])
                return true;
        return false;
    }, 15000));
    c.app.orderEntry.mouseDown(false, 2, askColumn);
    ASSERT_EQ(c.app.state.book.OGRowMap[4].Art, EntryLine);
    EXPECT_EQ(grid.cells.at(4, grid.layout.spalte[OrderLineType][O_BS]).text, "BUY ");
    EXPECT_EQ(grid.cells.at(4, grid.layout.spalte[OrderLineType][O_Stck]).text, "1");
}

TEST(OrderGrid, EveryCellOfOneRowOfEachKind)
{
    GridFixture f;
    OrderRecord open = f.order(1, Submitted, 41);
    open.Limit1 = 18000.5f;
    open.Filled = 1;
    open.Rem = 2;
    open.Preis = 18000.25f;
    open.StZeit = "101502";
    OrderRecord overnight = f.order(1, Cancelled, 40, "SEL ");
    overnight.Typ = "OVN";
    f.s.book.orders.append(open);
    f.s.book.orders.append(overnight);
    f.s.book.ZeigeAlleOrders = true;
    f.grid.rebuild();
    f.click(2, InstrumentLineType, C_Ask); // entry line in row 4
    f.grid.zeigOrderGrid(0, 0);            // the debug texts name the rows as they are now
    auto row = [&](int r) {
        QStringList texts;
        for (int c = 1; c <= 18; ++c)
            texts << f.grid.cells.at(r, c).text;
        return texts;
    };
    EXPECT_EQ(row(2), (QStringList{"FDAX", QString::fromLatin1("EUX"), "DAX", "-", "0.0", "+- 0", "10", " 17999.5",
                                   " 18000.5", "20", " 18000", "09:30:15", "DEFAULT", "", "", "", "", ""}));
    EXPECT_EQ(row(3), QStringList(18, QString()));
    EXPECT_EQ(row(4), (QStringList{"FDAX", "        ", "-", "DAY", "BUY ", "1", " 18000.5", " 0", "MKT", "TRANSMIT",
                                   "DELETE", "", "", "", "", "", "Z4 L1 B00- -", ""}));
    EXPECT_EQ(row(5), (QStringList{"FDAX", "40      ", "40", "DAY", "SEL ", "3", " 0", " 0", "OVN", "-", "-",
                                   "Cancelled", "overnight", " 0 -  0", " 0", "", "Z5 O2 B0-0         ", ""}));
    EXPECT_EQ(row(6), (QStringList{"FDAX", "41      ", "41", "DAY", "BUY ", "3", " 18000.5", " 0", "LMT", "-",
                                   "CANCEL", "Submitted", "10:15:02", " 1 -  2", " 18000.25", "", "Z6 O1 B0-0         ",
                                   ""}));
}

TEST(OrderGrid, OffsetLabelForEveryBracketChildOnly)
{
    GridFixture f;
    // Role and limit -> the "Limit1" cell: children (2 take-profit, 3 stop-loss, 4 close)
    // show a limit of 0 or below as an offset; main and plain orders show the number.
    const QList<std::tuple<qint16, float, QString>> cases = {
        {0, -0.5f, "-.5"},        {1, -0.5f, "-.5"},         {2, -0.5f, "Offset: .5"},
        {3, -1.25f, "Offset: 1.25"}, {4, 0.0f, "Offset: 0"}, {2, 101.5f, " 101.5"},
    };
    for (const auto& [role, limit, shown] : cases) {
        OrderRecord r = f.order(1, 4, 50 + role);
        r.BrRolle = role;
        r.Limit1 = limit;
        f.s.book.orders.clear();
        f.s.book.orders.append(r);
        f.grid.rebuild();
        EXPECT_EQ(f.text(f.s.book.SuchRow(1, OpenOrder), OrderLineType, O_Limit1), shown) << role << " " << limit;
    }
}

TEST(OrderGrid, NoCellOfAnInstrumentOrOrderLineShowsTheSeparatorColour)
{
    GridFixture f;
    f.s.colours.set(OG_Trennzeile, rgb(1, 2, 3));
    f.grid.InitGridLayout();
    f.s.book.orders.append(f.order(1, Submitted, 41));
    f.grid.rebuild(); // no position: the position columns stay empty
    for (int row : {f.rowOf(WPZeile, 1), f.rowOf(WPZeile, 2), f.rowOf(OpenOrder, 1)}) {
        ASSERT_GT(row, 0);
        for (int c = 1; c < f.grid.cells.columnCount(); ++c) {
            const Cell& cell = f.grid.cells.at(row, c);
            EXPECT_TRUE(cell.ownBackground) << row << "/" << c;
            EXPECT_NE(cell.background, rgb(1, 2, 3)) << row << "/" << c;
        }
    }
    EXPECT_EQ(f.cellAt(f.rowOf(WPZeile, 1), InstrumentLineType, C_MarginWP).background, f.s.colours[OG_WPZeile]);
}

// At the default font and column widths every number of the grid is shown whole: amounts
// ("Mges=96000"), positions, results, prices, quantities and order numbers of the sizes a
// game has. A text that does not fit is cut with a visible mark, never to another number;
// the price editor is as wide as its prices.
TEST(OrderGridView, EveryNumberIsShownWholeAtTheDefaultSize)
{
    GridFixture f;
    f.s.positions.assign(3, {});
    f.s.PositionIndex.assign(3, 0);
    f.s.positions[1] = PositionRecord{1, 250, 32000, 4512345.5f, 4499999.5f};
    f.s.positions[2] = PositionRecord{2, -1200, 96000, 157000, 157480};
    f.s.PositionIndex[1] = 1;
    f.s.PositionIndex[2] = 2;
    f.s.PositionCount = 2;
    f.s.user().totalMargin = 96000;
    OrderRecord open = f.order(1, Submitted, -123456);
    open.Stck = 2500;
    open.Limit1 = 18249.5f;
    open.Limit2 = 18199.25f;
    open.Filled = 1250;
    open.Rem = 1250;
    open.Preis = 18249.75f;
    f.s.book.orders.append(open);
    OrderRecord exit = f.order(1, PreSubm, 123457, "SEL ");
    exit.BrRolle = 2;
    exit.Limit1 = -1234.5f;
    f.s.book.orders.append(exit);
    f.grid.rebuild();
    f.entry.openEntryLine(f.entry.instrumentRow(1), "BUY");

    OrderGridView view(f.grid.cells, f.entry);
    view.setWidestCells(f.grid.widestNumbers());
    view.show();
    static const QRegularExpression number(
        QStringLiteral("^(Mges=|Offset:)?\\s*[-+]?[0-9][0-9.,]*( - \\s*[-+]?[0-9][0-9.,]*)?$"));
    int numbers = 0;
    for (int row = 2; row < f.grid.cells.rowCount(); ++row) {
        for (int column = 1; column < f.grid.cells.columnCount(); ++column) {
            const Cell& c = f.grid.cells.at(row, column);
            if (!number.match(c.text).hasMatch())
                continue;
            ++numbers;
            const QFont font = CellPainter::cellFont(c, view.font());
            const int room = CellPainter::textRoom(view.columnWidth(column));
            EXPECT_LE(QFontMetrics(font).horizontalAdvance(c.text), room)
                << "row " << row << " column " << column << ": " << c.text.toStdString();
            EXPECT_EQ(CellPainter::shownText(c.text, font, room), c.text);
        }
    }
    EXPECT_GE(numbers, 30);
    EXPECT_EQ(f.text(f.entry.instrumentRow(1), InstrumentLineType, C_Bracket), "Mges=96000");
    // Every caption too.
    for (int column = 1; column < f.grid.cells.columnCount(); ++column)
        for (int half = 0; half < 2; ++half)
            EXPECT_LE(QFontMetrics(view.font()).horizontalAdvance(f.grid.cells.at(half, column).text),
                      CellPainter::textRoom(view.columnWidth(column)))
                << f.grid.cells.at(half, column).text.toStdString();

    // The execution grid: captions and amounts whole as well.
    f.app.dispatcher.dispatch("@EX=T;S1;F3;1;F5;E1;093005;BOT;2500;18249.5;4562375;12.5;-123456.5");
    f.app.dispatcher.dispatch("@EX=T;S2;F3;2;F5;E2;093006;SLD;1200;131.26;157512;2.4;9999.75");
    f.app.executions.refreshGrid();
    CellGridView executions(f.app.executions.cells);
    executions.setWidestCells(f.app.executions.widestNumbers());
    executions.show();
    int amounts = 0;
    for (int row = 0; row < f.app.executions.cells.rowCount(); ++row) {
        for (int column = 1; column < f.app.executions.cells.columnCount(); ++column) {
            const Cell& c = f.app.executions.cells.at(row, column);
            if (row > 0 && !number.match(c.text).hasMatch())
                continue;
            amounts += row > 0;
            EXPECT_LE(QFontMetrics(CellPainter::cellFont(c, executions.font())).horizontalAdvance(c.text),
                      CellPainter::textRoom(executions.columnWidth(column)))
                << "row " << row << " column " << column << ": " << c.text.toStdString();
        }
    }
    EXPECT_GE(amounts, 10);
    // An amount of eight digits keeps all of them, with no exponent.
    EXPECT_EQ(localNumber(45623750).remove(QRegularExpression(QStringLiteral("[^0-9]"))), QStringLiteral("45623750"));
    EXPECT_FALSE(localNumber(-12345678).contains(QLatin1Char('e')));

    // Too narrow: the mark shows that something is hidden, the digits left are not a number
    // of their own.
    const QFont font = view.font();
    const int narrow = QFontMetrics(font).horizontalAdvance(QStringLiteral("Mges=3200"));
    const QString shown = CellPainter::shownText(QStringLiteral("Mges=32000"), font, narrow);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_NE(shown, QStringLiteral("Mges=3200"));
    EXPECT_EQ(CellPainter::shownText(QStringLiteral("18249.5"), font, 2), QString(QChar(0x2026)));

    // The price editor shows its whole price.
    const int entryRow = f.entry.instrumentRow(1) + 2;
    f.s.book.LeerOrders[f.s.book.OGRowMap[entryRow].Item].Limit1 = 18249.5f;
    f.grid.zeigOrderGrid(2, entryRow);
    f.click(entryRow, OrderLineType, O_Limit1);
    ASSERT_TRUE(view.editor().isVisible());
    QLineEdit* line = view.editor().lineEdit();
    ASSERT_NE(line, nullptr);
    EXPECT_GE(line->width(), line->fontMetrics().horizontalAdvance(line->text()) + 4) << line->text().toStdString();
}
