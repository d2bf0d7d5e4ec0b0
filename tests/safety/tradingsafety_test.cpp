// The order the user meant, and only that one: rebuilds of the grid while a question, a
// menu or the in-cell editor is open, double clicks, and orders without a connection.
#include "orders/ordergridview.h"
#include "support/liveserver.h"

#include <QApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

const QString kOutsideNotSent = QStringLiteral("Externe Order nicht gesendet: keine Verbindung zum Server!");


const char* const kThree = "@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                           "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n"
                           "FESX;ESX;EUR;5000;4999;5;5001;6;Stoxx;10;0;0\n";

// An open limit order of the server for instrument `wp`: it gets a row in that block, so
// every row below moves down.
QByteArray openOrder(int id, int wp)
{
    return "@OO=" + QByteArray::number(id) + ";SRV" + QByteArray::number(id) + ";;BUY;1;LMT;90;0;4;0;1;0;093000;093000;;" +
           QByteArray::number(wp) + ";0;0;;0;0";
}

struct Trader : ClientFixture {
    State& s = app.state;
    OrderEntry& entry = app.orderEntry;

    explicit Trader(Start start = Online) : ClientFixture(start)
    {
        app.dispatcher.dispatch(kThree);
        s.user().UserKz = "ABC123";
        s.user().LastUserOrderID = 41;
        app.orderGrid.rebuild();
    }
    int col(LineType t, int logical) const { return app.orderGrid.gridColumn(t, logical); }
    int line(int wp) const { return entry.instrumentRow(wp); }
    void click(int row, LineType t, int logical) { entry.mouseDown(false, row, col(t, logical)); }
    QStringList sent() const
    {
        QStringList out;
        for (const QString& l : app.outgoing.lines())
            if (l.startsWith("OUT:\x01@PO=") || l.startsWith("OUT:\x01@CO="))
                out << l.mid(5).chopped(1);
        return out;
    }
    void positions(std::initializer_list<std::pair<int, int>> held)
    {
        s.positions.assign(held.size() + 1, {});
        s.PositionIndex.assign(size_t(s.InstrumentCount) + 1, 0);
        int i = 0;
        for (auto [wp, qty] : held) {
            ++i;
            s.positions[i].WPIndex = static_cast<qint16>(wp);
            s.positions[i].Bestand = qty;
            s.PositionIndex[wp] = static_cast<qint16>(i);
        }
        s.PositionCount = i;
    }
    // The grid and its row map agree, row for row.
    bool consistent() const { return app.orderGrid.cells.rowCount() == s.book.OGRowMap.count() + 1; }
};

} // namespace

// The question of the market buttons runs the event loop; a rebuild meanwhile must not
// make the order go to the instrument that now stands where the default one stood.
TEST(StaleRows, MarketButtonTradesTheDefaultInstrumentWhateverArrivesDuringTheQuestion)
{
    struct Case {
        const char* name;
        std::function<void(Trader&)> during;
        QString expected; // empty: nothing may be sent
    };
    const QList<Case> cases = {
        {"two new orders above it", [](Trader& t) {
             t.app.dispatcher.dispatch(openOrder(7, 1));
             t.app.dispatcher.dispatch(openOrder(8, 1));
         }, "@PO=ABC123;42;2;SEL ;MKT;1; 131.24; 0;0;0"},
        {"the daily close replaces all orders", [](Trader& t) {
             t.app.dispatcher.dispatch("@SAO=" + openOrder(7, 1).mid(4) + '\n' + openOrder(8, 1).mid(4) + '\n' +
                                       openOrder(9, 2).mid(4));
         }, "@PO=ABC123;42;2;SEL ;MKT;1; 131.24; 0;0;0"},
        {"a new list without that instrument", [](Trader& t) {
             t.app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                       "FESX;ESX;EUR;5000;4999;5;5001;6;Stoxx;10;0;0\n");
         }, QString()},
        {"the connection drops", [](Trader& t) {
             t.peer.closeLast();
             waitFor([&] { return !t.app.connection.isConnected(); });
         }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Trader t;
        t.click(t.line(2), InstrumentLineType, C_DEFAULT);
        t.prompts.whileAsking = [&] { c.during(t); };
        t.app.placing.Command8_Click(1);
        EXPECT_EQ(t.sent(), c.expected.isEmpty() ? QStringList{} : QStringList{c.expected});
        EXPECT_EQ(t.s.book.SuchRow(1, EntryLine), 0) << "no entry line may be left behind";
        EXPECT_EQ(t.s.user().LastUserOrderID, c.expected.isEmpty() ? 41 : 42);
        EXPECT_TRUE(t.consistent());
    }
    // Without the connection the user is told, as for every order that cannot leave.
    Trader t;
    t.click(t.line(2), InstrumentLineType, C_DEFAULT);
    t.prompts.whileAsking = [&] {
        t.peer.closeLast();
        waitFor([&] { return !t.app.connection.isConnected(); });
    };
    t.app.placing.Command8_Click(0);
    EXPECT_EQ(t.app.messages.messageLine(), OrderPlacing::notSentText(false));
    EXPECT_TRUE(waitFor([&] { return t.prompts.messages == QStringList{OrderPlacing::notSentText(false)}; }, 1000));
}

// "Position Glattstellen" acts on the instrument whose line was right-clicked, even when
// orders arrive while the menu is open; a line that went away cancels the action.
TEST(StaleRows, PositionMenuFollowsItsInstrumentOrIsDropped)
{
    Trader t;
    t.s.settings.safetyQuestion = 0;
    t.positions({{1, 30}, {2, -5}});
    QObject::connect(&t.entry, &OrderEntry::menuRequested, [&](GridMenu menu, int row) {
        t.app.dispatcher.dispatch(openOrder(7, 1)); // arrives while the menu is open
        t.entry.chooseMenuItem(menu, row, 0);
    });
    t.entry.mouseDown(true, t.line(2), 1);
    EXPECT_EQ(t.sent(), QStringList{"@PO=ABC123;42;2;BUY ;MKT;5; 131.26; 0;0;0"});

    // The menu's instrument leaves the list while the menu is open: nothing is traded.
    QObject::disconnect(&t.entry, &OrderEntry::menuRequested, nullptr, nullptr);
    QObject::connect(&t.entry, &OrderEntry::menuRequested, [&](GridMenu menu, int row) {
        t.app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                  "FESX;ESX;EUR;5000;4999;5;5001;6;Stoxx;10;0;0\n");
        t.entry.chooseMenuItem(menu, row, 0);
    });
    t.positions({{1, 30}, {2, -5}});
    t.entry.mouseDown(true, t.line(2), 1);
    EXPECT_EQ(t.sent().size(), 1);
    EXPECT_TRUE(t.app.protocol.lines().last().startsWith(QString::fromLatin1("Men\xfc:")));
}

// The in-cell editor belongs to its entry line: a rebuild while it is open moves the line,
// and the typed limit lands in that line, not in the line that now has its old row.
TEST(StaleRows, EditorValueFollowsItsEntryLine)
{
    Trader t;
    t.click(t.line(1), InstrumentLineType, C_Ask); // line A
    t.click(t.line(2), InstrumentLineType, C_Bid); // line B
    const int b = t.s.book.OGRowMap[t.line(2) + 2].Item;
    t.click(t.s.book.SuchRow(b, EntryLine), OrderLineType, O_Limit1);
    ASSERT_TRUE(t.entry.editor().visible);

    t.app.dispatcher.dispatch(openOrder(7, 1));
    EXPECT_EQ(t.entry.editor().row, t.s.book.SuchRow(b, EntryLine)) << "the editor moves with its line";
    t.entry.Combo1_Click("131.5");
    const OrderRecord& lineB = t.s.book.LeerOrders[b];
    const OrderRecord& lineA = t.s.book.LeerOrders[b == 1 ? 2 : 1];
    EXPECT_FLOAT_EQ(lineB.Limit1, 131.5f);
    EXPECT_EQ(lineB.Typ, "LMT");
    EXPECT_FLOAT_EQ(lineA.Limit1, 18000.5f);
    EXPECT_EQ(lineA.Typ, "MKT");
    const int rowB = t.s.book.SuchRow(b, EntryLine);
    EXPECT_EQ(t.app.orderGrid.cells.at(rowB, t.col(OrderLineType, O_Limit1)).text, "131.5");
}

// Opening the limit editor and clicking elsewhere leaves a market line a market line; a
// value the user typed or picked is taken.
TEST(OrderEntryEditor, ValueIsTakenOnlyWhenTheUserChangedOrChoseIt)
{
    Trader t;
    t.click(t.line(1), InstrumentLineType, C_Ask);
    const int row = t.s.book.SuchRow(1, EntryLine);
    OrderRecord& r = t.s.book.LeerOrders[t.s.book.OGRowMap[row].Item];

    t.click(row, OrderLineType, O_Limit1);
    t.click(t.line(3), InstrumentLineType, C_Zeit); // click away, value untouched
    EXPECT_EQ(r.Typ, "MKT");
    EXPECT_FLOAT_EQ(r.Limit1, 18000.5f);
    EXPECT_FALSE(t.entry.editor().visible);

    t.click(row, OrderLineType, O_Limit1);
    t.entry.setEditorText("17990,5"); // typed, then clicked away
    t.click(t.line(3), InstrumentLineType, C_Zeit);
    EXPECT_EQ(r.Typ, "LMT");
    EXPECT_FLOAT_EQ(r.Limit1, 17990.5f);

    r.Typ = "MKT";
    t.click(row, OrderLineType, O_Limit1);
    t.entry.Combo1_Click(t.entry.editor().text); // the shown price picked from the list
    EXPECT_EQ(r.Typ, "LMT");
}

// A double click on a cell is one action: one order, one entry line.
TEST(OrderGridView, DoubleClickActsOnce)
{
    Trader t;
    OrderGridView view(t.app.orderGrid.cells, t.entry);
    view.resize(1600, 400);
    view.show();
    auto doubleClick = [&](int row, int column) {
        const QPoint at = view.visualRect(view.model()->index(row, column)).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &e);
        }
    };
    doubleClick(t.line(2), t.col(InstrumentLineType, C_Ask));
    int lines = 0;
    for (int i = 1; i <= t.s.book.LeerOrders.count(); ++i)
        lines += t.s.book.LeerOrders[i].WPIndex != 0;
    EXPECT_EQ(lines, 1);

    doubleClick(t.line(2) + 2, t.col(OrderLineType, O_TRANS));
    EXPECT_EQ(t.sent(), QStringList{"@PO=ABC123;42;2;BUY ;MKT;1; 131.26; 0;0;0"});
    EXPECT_TRUE(t.consistent());
}

// Without a connection (or before the server greeted it) nothing is removed, numbered or
// logged as sent; the user is told in the message line and one message box.
TEST(Offline, OrdersAndCancelsStayAndTheUserIsTold)
{
    Trader t(ClientFixture::Offline);
    const QString noOrder = OrderPlacing::notSentText(false);
    const QString noCancel = OrderPlacing::notSentText(true);
    t.app.dispatcher.dispatch(openOrder(7, 3));
    t.click(t.line(1), InstrumentLineType, C_Ask);
    t.click(t.line(2), InstrumentLineType, C_Bid);
    const int rows = t.app.orderGrid.cells.rowCount();

    t.click(t.line(1) + 2, OrderLineType, O_TRANS);
    t.app.placing.transAlle();
    t.click(t.line(2), InstrumentLineType, C_DEFAULT);
    t.app.placing.Command8_Click(0);
    t.app.closing.Command11_Click();
    EXPECT_EQ(t.app.messages.messageLine(), noCancel); // "GLATT" ends with the cancels
    t.app.placing.cancelAlle();
    t.click(t.s.book.SuchRow(1, OpenOrder), OrderLineType, O_CANCEL);

    EXPECT_TRUE(t.sent().isEmpty());
    EXPECT_TRUE(t.app.outgoing.lines().filter("OUT:").isEmpty());
    EXPECT_EQ(t.s.user().LastUserOrderID, 41);
    EXPECT_EQ(t.app.orderGrid.cells.rowCount(), rows);
    EXPECT_TRUE(t.consistent());
    EXPECT_TRUE(t.app.outgoing.lines().filter("NICHT GESENDET:@PO=ABC123;0;1;BUY ;MKT;1; 18000.5").size() == 1);
    EXPECT_TRUE(t.app.outgoing.lines().filter("NICHT GESENDET:@CO=ABC123;7;SRV7").size() == 1);
    EXPECT_TRUE(t.prompts.messages.isEmpty()) << "the box waits until the click is handled";
    // While the box is open (its own event loop runs) the user clicks again: no second box
    // stacks up behind it.
    t.prompts.onMessage = [&](const QString&) {
        t.prompts.onMessage = nullptr;
        t.click(t.line(1) + 2, OrderLineType, O_TRANS);
        waitFor([] { return false; }, 50);
    };
    waitFor([&] { return !t.prompts.messages.isEmpty(); }, 1000);
    QCoreApplication::processEvents();
    waitFor([] { return false; }, 50);
    EXPECT_EQ(t.prompts.messages, (QStringList{noOrder}));

    // Connected but not yet greeted, as during every reconnect: still refused.
    t.app.connection.setPortField(QByteArray::number(t.peer.port()));
    t.app.connection.connectwinsock("127.0.0.1");
    ASSERT_TRUE(waitFor([&] { return t.app.connection.isConnected(); }));
    t.app.placing.transAlle();
    EXPECT_TRUE(t.sent().isEmpty());

    // Once greeted, the kept lines go out with the next numbers.
    t.app.dispatcher.dispatch("@WELCOME");
    t.app.placing.transAlle();
    EXPECT_EQ(t.sent(), (QStringList{"@PO=ABC123;42;2;SEL ;MKT;1; 131.24; 0;0;0",
                                     "@PO=ABC123;43;1;BUY ;MKT;1; 18000.5; 0;0;0"}));
    EXPECT_TRUE(t.consistent());
}

// Connected but not yet greeted, as during every reconnect: no way of placing an order
// sends, numbers or removes anything, and the user is told. So it is after connecting from
// offline, and after "LOGIN" pressed while connected and greeted, once the new socket is
// connected and before its own "@WELCOME".
TEST(Offline, NothingLeavesBeforeTheGreeting)
{
    struct Start {
        const char* name;
        ClientFixture::Start start;
        std::function<void(Trader&)> connect;
    };
    const QList<Start> starts = {
        {"connecting from offline", ClientFixture::Offline, [](Trader& t) {
             t.app.connection.setPortField(QByteArray::number(t.peer.port()));
             t.app.connection.connectwinsock("127.0.0.1");
         }},
        {"LOGIN while greeted", ClientFixture::Online, [](Trader& t) {
             ASSERT_TRUE(t.app.connection.canTrade());
             t.s.ServerAddress = "127.0.0.1";
             t.app.connection.login();
         }},
    };
    struct Case {
        const char* name;
        std::function<void(Trader&)> act;
        int entryLinesLeft;
        QString told = OrderPlacing::notSentText(false);
    };
    const QList<Case> cases = {
        {"TRANSMIT", [](Trader& t) {
             t.click(t.line(1), InstrumentLineType, C_Ask);
             t.click(t.line(1) + 2, OrderLineType, O_TRANS);
         }, 1},
        // An outside order is refused to its program at once and leaves no line behind.
        {"an outside order", [](Trader& t) { t.app.external.orders.Ext_Placeorder("DAX;0;BUY;LMT;2;17990;0;R1"); }, 0,
         kOutsideNotSent},
        {"TRANS Alle", [](Trader& t) {
             t.click(t.line(2), InstrumentLineType, C_Bid);
             t.app.placing.transAlle();
         }, 1},
        {"BUY MARKET", [](Trader& t) {
             t.click(t.line(2), InstrumentLineType, C_DEFAULT);
             t.app.placing.Command8_Click(0);
         }, 0},
    };
    for (const Start& start : starts) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(start.name) + ": " + c.name);
            Trader t(start.start);
            const int connections = t.peer.connectionCount();
            start.connect(t);
            ASSERT_TRUE(waitFor(
                [&] { return t.app.connection.isConnected() && t.peer.connectionCount() > connections; }));
            EXPECT_FALSE(t.app.connection.canTrade());
            c.act(t);
            EXPECT_TRUE(t.app.outgoing.lines().filter("OUT:").isEmpty());
            EXPECT_TRUE(t.app.external.list1.lines().filter("@OC").isEmpty()) << "no number for the outside program";
            EXPECT_EQ(t.s.user().LastUserOrderID, 41);
            int lines = 0;
            for (int i = 1; i <= t.s.book.LeerOrders.count(); ++i)
                lines += t.s.book.LeerOrders[i].WPIndex != 0;
            EXPECT_EQ(lines, c.entryLinesLeft);
            EXPECT_EQ(t.app.messages.messageLine(), c.told);
            EXPECT_TRUE(t.consistent());
        }
    }
}

// The socket refuses the bytes after every check passed: the number goes back, the lines
// stay (an exit without its main's number), the outside program learns no number, and the
// next order that leaves takes the number back.
TEST(SendFailure, NumberGoesBackAndTheLinesStay)
{
    struct Case {
        const char* name;
        std::function<void(Trader&)> act;
        int entryLinesLeft;
        QString told;
    };
    const QList<Case> cases = {
        {"TRANSMIT", [](Trader& t) {
             t.click(t.line(1), InstrumentLineType, C_Ask);
             t.click(t.line(1) + 2, OrderLineType, O_TRANS);
         }, 1, OrderPlacing::notSentText(false)},
        {"a bracket group", [](Trader& t) {
             t.s.WpvPresets[1].Wert3 = 0;
             t.s.WpvPresets[1].Wert1 = 18100;
             t.s.WpvPresets[1].Wert2 = 17900;
             t.click(t.line(1), InstrumentLineType, C_Ask);
             t.app.brackets.bracketForEntryLine(0, t.s.book.OGRowMap[t.line(1) + 2].Item);
             t.app.placing.transAlle();
         }, 3, OrderPlacing::notSentText(false)},
        {"an outside order", [](Trader& t) { t.app.external.orders.Ext_Placeorder("DAX;0;BUY;LMT;2;17990;0;R1"); },
         0, kOutsideNotSent},
        {"a cancellation", [](Trader& t) {
             t.app.dispatcher.dispatch(openOrder(7, 3));
             t.click(t.s.book.SuchRow(1, OpenOrder), OrderLineType, O_CANCEL);
         }, 0, OrderPlacing::notSentText(true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Trader t;
        t.app.placing.senddata = [](const QByteArray&) { return false; };
        c.act(t);
        EXPECT_EQ(t.s.user().LastUserOrderID, 41);
        EXPECT_TRUE(t.app.external.list1.lines().filter("@OC").isEmpty());
        EXPECT_EQ(t.app.messages.messageLine(), c.told);
        int lines = 0;
        for (int i = 1; i <= t.s.book.LeerOrders.count(); ++i) {
            const OrderRecord& r = t.s.book.LeerOrders[i];
            lines += r.WPIndex != 0;
            if (r.WPIndex != 0) {
                EXPECT_EQ(r.OrderUserID, 0);
                EXPECT_EQ(r.BrParentID, 0) << "an exit kept the number of a main that never left";
            }
        }
        EXPECT_EQ(lines, c.entryLinesLeft);
        EXPECT_TRUE(t.consistent());

        t.app.placing.senddata = [&t](const QByteArray& framed) { return t.app.connection.Senddata(framed); };
        t.app.placing.transAlle();
        if (c.entryLinesLeft > 0) {
            ASSERT_FALSE(t.sent().isEmpty());
            EXPECT_TRUE(t.sent().first().startsWith("@PO=ABC123;42;1;BUY ")) << t.sent().first().toStdString();
        }
    }
}

// The connection breaks right after the main of a group left: its exits stay with its
// number, a new group made meanwhile does not adopt them, and they go with the next
// "TRANS Alle" still tied to their own main.
TEST(SendFailure, ExitsOfASentMainStayItsOwn)
{
    Trader t;
    t.s.WpvPresets[1].Wert3 = 0;
    t.s.WpvPresets[1].Wert1 = 18100;
    t.s.WpvPresets[1].Wert2 = 17900;
    t.click(t.line(1), InstrumentLineType, C_Ask);
    t.app.brackets.bracketForEntryLine(0, t.s.book.OGRowMap[t.line(1) + 2].Item);
    int calls = 0;
    t.app.placing.senddata = [&](const QByteArray& framed) { return ++calls == 1 && t.app.connection.Senddata(framed); };
    t.app.placing.transAlle();
    ASSERT_EQ(t.sent(), QStringList{"@PO=ABC123;42;1;BUY ;MKT;1; 18000.5; 0;1;0"});

    t.click(t.line(1), InstrumentLineType, C_Bid);
    t.app.brackets.bracketForEntryLine(0, t.s.book.OGRowMap[t.line(1) + 2].Item);
    t.app.placing.senddata = [&t](const QByteArray& framed) { return t.app.connection.Senddata(framed); };
    t.app.placing.transAlle();
    const QStringList sent = t.sent().mid(1);
    ASSERT_EQ(sent.size(), 5);
    EXPECT_EQ(sent.filter(QRegularExpression("^@PO=ABC123;\\d+;1;SEL ;(LMT|STP);1; 1[78]\\d00; 0;[23];42$")).size(), 2);
    const QStringList newMain = sent.filter(QRegularExpression(";SEL ;MKT;1; 17999.5; 0;1;0$"));
    ASSERT_EQ(newMain.size(), 1);
    const QString number = newMain[0].split(';')[1];
    EXPECT_EQ(sent.filter(QRegularExpression(";BUY ;(LMT|STP);1; \\d+; 0;[23];" + number + "$")).size(), 2);
    EXPECT_LT(sent.indexOf(newMain[0]), sent.indexOf(sent.filter(";BUY ;LMT").value(0)));
}

// A lost connection is never invisible: stale prices are announced with the time they went
// stale and drawn dimmed, and all of it clears by itself after the next greeting.
TEST(StalePrices, ShownWhileTheConnectionIsDownAndClearedAfterTheGreeting)
{
    Trader t(ClientFixture::Offline);
    QList<std::pair<bool, QString>> changes;
    QObject::connect(&t.app, &ClientApp::connectionStateChanged,
                     [&](bool stale, const QString& since) { changes.append({stale, since}); });
    auto bidColour = [&t] {
        const Cell& c = t.app.orderGrid.cells.cell(t.line(1), t.col(InstrumentLineType, C_Bid));
        return c.ownForeground ? c.foreground : t.app.orderGrid.cells.textColour;
    };
    const Colour current = bidColour();

    t.app.checkConnectionState();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0], std::make_pair(true, QStringLiteral("09:30:15")));
    EXPECT_NE(bidColour(), current);
    EXPECT_TRUE(t.consistent());

    t.goOnline();
    t.app.checkConnectionState();
    ASSERT_EQ(changes.size(), 2);
    EXPECT_FALSE(changes[1].first);
    EXPECT_EQ(bidColour(), current);
    t.app.checkConnectionState();
    EXPECT_EQ(changes.size(), 2) << "only changes are announced";

    t.clock.time = t.clock.time.addSecs(60);
    t.peer.closeLast();
    ASSERT_TRUE(waitFor([&] { return !t.app.connection.isConnected(); }));
    t.app.checkConnectionState();
    ASSERT_EQ(changes.size(), 3);
    EXPECT_EQ(changes[2], std::make_pair(true, QStringLiteral("09:31:15")));
    EXPECT_NE(bidColour(), current);
}
