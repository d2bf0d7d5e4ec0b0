#include "framing.h"
#include "market/presets.h"
#include "orders/brackets.h"
#include "orders/eingabedialog.h"
#include "support/liveserver.h"
#include "textfile.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

const QString kAlreadyMain = "Dieser Order sind bereits Bracketorders zugeordnet !";
const QString kExitOfExit = QString::fromLatin1("Keine Bracketorders f\xfcr Bracketorders !");
const QString kNoPriceBefore =
    "Es gibt momentan noch keinen Kurs. Bitte anderes Limit als 'Offset zum momentanen Kurs' eingeben";
const QString kNoPricesPlaced = "Achtung - noch keine Kurse. Bitte Limits korrigieren!!";
const QString kZeroLimit = "Bitte tragen Sie einen anderen Limitkurs als Null ein !";

// Two instruments, the first at a last price of 100; whatever the brackets send is kept.
struct BracketFixture : ClientFixture {
    State& s = app.state;
    OrderBook& book = app.state.book;
    Brackets& br = app.brackets;

    explicit BracketFixture(Start start = Online) : ClientFixture(start)
    {
        app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n"
                                "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n");
        s.user().UserKz = "ABC123";
    }
    // The frames that left for the server, as the outgoing list logged them.
    QList<QByteArray> sent() const
    {
        QList<QByteArray> out;
        for (const QString& l : app.outgoing.lines())
            if (l.startsWith(QLatin1String("OUT:")))
                out << toWire(l.mid(4));
        return out;
    }
    void clearSent() { app.outgoing.clear(); }
    void presets(int wp, float w1, float w2, float mode)
    {
        s.WpvPresets[size_t(wp)].Wert1 = w1;
        s.WpvPresets[size_t(wp)].Wert2 = w2;
        s.WpvPresets[size_t(wp)].Wert3 = mode;
    }
    // A new entry line on instrument `wp` with `quantity` pieces; returns its index.
    int entryLine(int wp, const char* side, qint32 quantity = 10)
    {
        const int row = app.orderEntry.openEntryLine(app.orderEntry.instrumentRow(wp), side);
        const int e = book.OGRowMap[row].Item;
        book.LeerOrders[e].Stck = quantity;
        return e;
    }
    // A placed order the server reported.
    int placed(int wp, const char* side, qint16 status, qint32 id, qint32 quantity = 4)
    {
        OrderRecord r;
        r.WPIndex = static_cast<qint16>(wp);
        r.Status = status;
        r.OrderUserID = id;
        r.BS = side;
        r.Typ = "MKT";
        r.Stck = quantity;
        r.UserKz = "ABC123";
        r.OrderID = fixedText("O" + QByteArray::number(id), 8);
        const int index = book.orders.append(r);
        app.orderGrid.rebuild();
        return index;
    }
    // The right click on grid row `row` and the choice of menu item `item`.
    void menu(int row, int item)
    {
        GridMenu shown = GridMenu::None;
        auto c = QObject::connect(&app.orderEntry, &OrderEntry::menuRequested, [&](GridMenu m, int) { shown = m; });
        app.orderEntry.mouseDown(true, row, 1);
        QObject::disconnect(c);
        if (shown != GridMenu::None)
            app.orderEntry.chooseMenuItem(shown, row, item);
    }
    // The exits in the grid, top to bottom, as "side typ stck limit role parent".
    QStringList exitRows(int wp) const
    {
        QStringList out;
        for (int row = 2; row <= book.OGRowMap.count(); ++row) {
            const RowEntry& e = book.OGRowMap[row];
            if (e.Art != EntryLine || e.WPIndex != wp || book.LeerOrders[e.Item].BrRolle < 2)
                continue;
            const OrderRecord& r = book.LeerOrders[e.Item];
            out << QStringLiteral("%1 %2 %3 %4 B%5 P%6")
                       .arg(fromWire(r.BS.trimmed()), fromWire(r.Typ))
                       .arg(r.Stck)
                       .arg(double(r.Limit1))
                       .arg(r.BrRolle)
                       .arg(r.BrParent);
        }
        return out;
    }
    QString cell(int row, int logical) const
    {
        return app.orderGrid.cells.at(row, app.orderGrid.gridColumn(OrderLineType, logical)).text;
    }
    int rowOfEntry(int e) const { return book.SuchRow(e, EntryLine); }
    int badModeLines() const
    {
        int n = 0;
        for (const QString& l : app.protocol.lines())
            n += l.startsWith(QLatin1String("F:Bracket Modus"));
        return n;
    }
};

} // namespace

// The entry-line menu: the exits' sides, types, quantities and limits for every mode, the
// market-on-close exit, and where they stand in the grid.
TEST(Brackets, ExitsOfAnEntryLineByModeSideAndItem)
{
    struct Case {
        const char* name;
        float mode;
        const char* side;
        float w1, w2;
        int item;
        QStringList exits; // in grid order
    };
    const QList<Case> cases = {
        {"mode 1 buy", 1, "BUY", 5, 3, 0, {"SEL LMT 10 105 B2 P1", "SEL STP 10 97 B3 P1"}},
        {"mode 1 sell", 1, "SEL", 5, 3, 0, {"BUY LMT 10 95 B2 P1", "BUY STP 10 103 B3 P1"}},
        {"mode 2 negates", 2, "BUY", 5, -3, 0, {"SEL LMT 10 -5 B2 P1", "SEL STP 10 -3 B3 P1"}},
        {"mode 0 buy", 0, "BUY", 110, 90, 0, {"SEL LMT 10 110 B2 P1", "SEL STP 10 90 B3 P1"}},
        {"mode 0 sell", 0, "SEL", 110, 90, 0, {"BUY LMT 10 110 B2 P1", "BUY STP 10 90 B3 P1"}},
        {"MOC takes the stop", 1, "BUY", 5, 3, 1,
         {"SEL LMT 10 105 B2 P1", "SEL STP 10 97 B3 P1", "SEL MOC 10 97 B4 P1"}},
        {"unknown mode is 0", 7, "SEL", 110, 90, 0, {"BUY LMT 10 110 B2 P1", "BUY STP 10 90 B3 P1"}},
        // The "Edit" items take what the dialog stores: direct prices 120 and 80 here.
        {"Edit", 1, "BUY", 5, 3, 2, {"SEL LMT 10 120 B2 P1", "SEL STP 10 80 B3 P1"}},
        {"MOC Edit", 1, "SEL", 5, 3, 3,
         {"BUY LMT 10 120 B2 P1", "BUY STP 10 80 B3 P1", "BUY MOC 10 80 B4 P1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BracketFixture f;
        f.presets(1, c.w1, c.w2, c.mode);
        f.prompts.onEingabe = [](Eingabe& dialog) {
            dialog.Option1_Click(0);
            dialog.Command1_Click("120", "80");
        };
        const int main = f.entryLine(1, c.side);
        f.menu(f.rowOfEntry(main), c.item);
        EXPECT_EQ(f.exitRows(1), c.exits);
        EXPECT_EQ(f.book.LeerOrders[main].BrRolle, 1);
        EXPECT_EQ(f.book.LeerOrders[main].BrParent, 0);
        EXPECT_TRUE(f.prompts.messages.isEmpty()) << f.prompts.messages.join('|').toStdString();
        EXPECT_TRUE(f.sent().isEmpty()) << "an entry-line group goes out only with TRANSMIT";
        EXPECT_EQ(f.badModeLines(), c.mode == 7 ? 1 : 0);
        EXPECT_EQ(f.prompts.eingabeShown, c.item >= 2 ? 1 : 0);
        // After the rebuild the main leads its block; the grid shows roles and offsets.
        const int first = f.app.orderEntry.instrumentRow(1) + 2;
        EXPECT_EQ(f.book.OGRowMap[first].Item, main);
        EXPECT_EQ(f.cell(first, O_Typ), "BR:MKT");
        EXPECT_EQ(f.cell(first + 1, O_Typ), "BR:LMT");
        if (c.mode == 2) {
            EXPECT_EQ(f.cell(first + 2, O_Limit1), "Offset: 3");
        }
    }

    // The unknown mode is reported once, not with every bracket.
    BracketFixture f;
    f.presets(1, 110, 90, 7);
    f.menu(f.rowOfEntry(f.entryLine(1, "BUY")), 0);
    f.menu(f.rowOfEntry(f.entryLine(1, "SEL")), 1);
    EXPECT_EQ(f.badModeLines(), 1);
}

// What refuses a bracket, and the no-price messages at their moments.
TEST(Brackets, RefusalsAndMissingPrices)
{
    BracketFixture f;
    f.presets(1, 5, 3, 1);
    const int main = f.entryLine(1, "BUY");
    f.menu(f.rowOfEntry(main), 0);
    const QStringList exits = f.exitRows(1);
    ASSERT_EQ(exits.size(), 2);

    // On the main or on an exit nothing more is made.
    f.menu(f.rowOfEntry(main), 1);
    f.menu(f.app.orderEntry.instrumentRow(1) + 3, 2);
    EXPECT_EQ(f.prompts.messages, (QStringList{kAlreadyMain, kExitOfExit}));
    EXPECT_EQ(f.prompts.eingabeShown, 0) << "refused before the dialog";
    EXPECT_EQ(f.exitRows(1), exits);

    // Mode 1 without a last price: the message, nothing created, the line stays plain.
    f.prompts.messages.clear();
    f.s.Instruments[2].Letzter = 0;
    f.presets(2, 5, 3, 1);
    const int other = f.entryLine(2, "SEL");
    f.menu(f.rowOfEntry(other), 0);
    EXPECT_EQ(f.prompts.messages, QStringList{kNoPriceBefore});
    EXPECT_TRUE(f.exitRows(2).isEmpty());
    EXPECT_EQ(f.book.LeerOrders[other].BrRolle, 0);

    // A side that is neither "BUY" nor "SEL": nothing, silently.
    f.prompts.messages.clear();
    f.presets(2, 131, 130, 0);
    f.book.LeerOrders[other].BS = "XX  ";
    f.menu(f.rowOfEntry(other), 0);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
    EXPECT_TRUE(f.exitRows(2).isEmpty());

    // A placed order without prices: the exits are made, each warns once.
    const int order = f.placed(2, "BUY ", Filled, 42);
    f.s.book.ZeigeAlleOrders = true;
    f.app.orderGrid.rebuild();
    f.menu(f.book.SuchRow(order, OpenOrder), 1);
    EXPECT_EQ(f.prompts.messages, (QStringList{kNoPricesPlaced, kNoPricesPlaced, kNoPricesPlaced}));
    EXPECT_EQ(f.exitRows(2),
              (QStringList{"SEL LMT 4 131 B2 P-1", "SEL STP 4 130 B3 P-1", "SEL MOC 4 130 B4 P-1"}));
}

// The placed-order menu: "@BR1=" goes out before any exit exists; the exits carry the
// order's number; "TRANSMIT" sends them; "DELETE" on an exit asks the server about the
// right order even after the order list was renumbered. Without a connection, or before the
// server's greeting, nothing is marked or made, and the user is told as for every order.
TEST(Brackets, PlacedOrderMenuAndItsGroup)
{
    BracketFixture f(ClientFixture::Offline);
    f.presets(1, 5, 3, 1);
    f.placed(1, "SEL ", Submitted, 41);
    const int order = f.placed(1, "BUY ", Filled, 42);
    f.s.book.ZeigeAlleOrders = true;
    f.app.orderGrid.rebuild();
    const QString notSent = "Keine Verbindung zum Server - Bracket Orders nicht erzeugt !";

    f.menu(f.book.SuchRow(order, OpenOrder), 0);
    EXPECT_TRUE(waitFor([&] { return f.prompts.messages == QStringList{notSent}; }, 1000));
    f.prompts.messages.clear();
    f.app.connection.setPortField(QByteArray::number(f.peer.port()));
    f.app.connection.connectwinsock("127.0.0.1");
    ASSERT_TRUE(waitFor([&] { return f.app.connection.isConnected(); }));
    f.menu(f.book.SuchRow(order, OpenOrder), 3); // connected, not yet greeted
    EXPECT_EQ(f.book.orders[order].BrRolle, 0);
    EXPECT_TRUE(f.exitRows(1).isEmpty());
    EXPECT_TRUE(f.sent().isEmpty());
    EXPECT_EQ(f.app.outgoing.lines().filter("NICHT GESENDET:@BR1=ABC123;42;O42").size(), 2);
    EXPECT_EQ(f.app.messages.messageLine(), notSent);
    EXPECT_TRUE(f.prompts.messages.isEmpty()) << "the box waits until the click is handled";
    waitFor([&] { return !f.prompts.messages.isEmpty(); }, 1000);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.prompts.messages, QStringList{notSent});
    f.prompts.messages.clear();

    f.app.dispatcher.dispatch("@WELCOME");
    f.clearSent();
    int exitsWhenSent = -1;
    QObject::connect(&f.app.outgoing, &LogList::added, [&](const QString& line) {
        if (line.startsWith(QLatin1String("OUT:")) && exitsWhenSent < 0)
            exitsWhenSent = int(f.exitRows(1).size());
    });
    f.menu(f.book.SuchRow(order, OpenOrder), 0);
    EXPECT_EQ(f.sent(), QList<QByteArray>{frame("@BR1=ABC123;42;O42")});
    EXPECT_EQ(exitsWhenSent, 0);
    EXPECT_EQ(f.book.orders[order].BrRolle, 1);
    EXPECT_EQ(f.exitRows(1), (QStringList{"SEL LMT 4 105 B2 P-2", "SEL STP 4 97 B3 P-2"}));
    EXPECT_TRUE(f.prompts.messages.isEmpty());
    for (int e = 1; e <= f.book.LeerOrders.count(); ++e)
        EXPECT_EQ(f.book.LeerOrders[e].BrParentID, 42);

    // A new order list puts the order at another index; "DELETE" on an exit names it still.
    std::vector<OrderRecord> swapped = {f.book.orders[2], f.book.orders[1]};
    f.book.orders.replace(swapped);
    f.app.orderGrid.rebuild();
    f.clearSent();
    const int exitRow = f.app.orderEntry.instrumentRow(1) + 2;
    f.app.orderEntry.mouseDown(false, exitRow, f.app.orderGrid.gridColumn(OrderLineType, O_CANCEL));
    EXPECT_EQ(f.sent(), QList<QByteArray>{frame("@BR?=ABC123;42;O42")});
    EXPECT_TRUE(f.exitRows(1).isEmpty()) << "the whole group is gone";
}

// "TRANS Alle" sends a group main first and its exits with the main's number, wherever
// the lines stand; a line that reuses the slot of an old exit of order 42 carries nothing of
// it. Seen before: the exits went bottom-up before their main, one of them still tied to 42.
TEST(Brackets, TransAlleSendsEachGroupMainFirstWithFreshLines)
{
    BracketFixture f;
    f.presets(1, 5, 3, 1);
    f.s.user().LastUserOrderID = 50;
    const int order = f.placed(1, "BUY ", Filled, 42);
    f.s.book.ZeigeAlleOrders = true;
    f.app.orderGrid.rebuild();
    f.menu(f.book.SuchRow(order, OpenOrder), 0);
    ASSERT_EQ(f.exitRows(1).size(), 2);
    const int oldExitRow = f.app.orderEntry.instrumentRow(1) + 2;
    f.app.orderEntry.mouseDown(false, oldExitRow, f.app.orderGrid.gridColumn(OrderLineType, O_CANCEL));
    ASSERT_TRUE(f.exitRows(1).isEmpty());
    ASSERT_TRUE(waitFor([&] { return f.peer.received.contains("@BR?=ABC123;42;O42"); }));

    // A plain line below, then a new group in the freed slots, and a plain line above it.
    f.entryLine(2, "SEL", 3);
    const int main = f.entryLine(1, "BUY", 1);
    f.menu(f.rowOfEntry(main), 1);
    f.entryLine(1, "SEL", 2);
    ASSERT_EQ(f.exitRows(1).size(), 3);
    f.peer.received.clear();
    f.app.placing.transAlle();
    ASSERT_TRUE(waitFor([&] { return f.peer.received.size() >= 6; }));
    QList<QByteArrayList> fields;
    for (const QByteArray& m : f.peer.received)
        fields << m.split(';');
    // Bottom-up: the plain line of instrument 2 first, then the group at its first line.
    QByteArrayList seen;
    for (const QByteArrayList& m : fields)
        seen << m[8];
    EXPECT_EQ(seen.first(), "0");
    const int mainAt = int(seen.indexOf("1"));
    ASSERT_GE(mainAt, 0);
    for (int i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(f.peer.received[i].constData());
        const int role = fields[i][8].toInt();
        if (role >= 2) {
            EXPECT_GT(i, mainAt) << "an exit before its main";
            EXPECT_EQ(fields[i][9], fields[mainAt][1]) << "an exit without its main's number";
        } else {
            EXPECT_EQ(fields[i][9], "0") << "a main or plain line tied to another order";
        }
    }
    EXPECT_EQ(f.peer.received.size(), 6);
    EXPECT_EQ(f.exitRows(1), QStringList{});
}

// A group whose main the stop check refuses (a buy stop below the last price) goes whole:
// none of its exit lines is left behind and nothing is sent, whichever way it was sent.
TEST(Brackets, MainRefusedByTheStopCheckTakesItsExitsAlongAndSendsNothing)
{
    for (const int way : {0, 1, 2}) {
        SCOPED_TRACE(way == 0 ? "TRANSMIT on the main" : way == 1 ? "TRANSMIT on an exit" : "TRANS Alle");
        BracketFixture f;
        f.presets(1, 5, 3, 1);
        f.app.orderGrid.rebuild();
        const int main = f.entryLine(1, "BUY", 2);
        f.menu(f.rowOfEntry(main), 1);
        ASSERT_EQ(f.exitRows(1).size(), 3);
        f.book.LeerOrders[main].Typ = "STP";
        f.book.LeerOrders[main].Limit1 = 90;
        f.clearSent();
        const int exitRow = f.rowOfEntry(main) + 1;
        if (way == 2) {
            f.app.placing.transAlle();
        } else {
            const int row = way == 0 ? f.rowOfEntry(main) : exitRow;
            ASSERT_EQ(f.cell(row, O_TRANS), "TRANSMIT");
            f.app.orderEntry.mouseDown(false, row, f.app.orderGrid.gridColumn(OrderLineType, O_TRANS));
        }
        EXPECT_EQ(f.app.messages.messageLine(), "Keine STP-Buy Order mit Limit unter Last-Kurs!");
        EXPECT_EQ(f.exitRows(1), QStringList{});
        EXPECT_EQ(f.book.entryLineCount(), 0);
        for (int row = 2; row <= f.book.OGRowMap.count(); ++row)
            EXPECT_NE(f.book.OGRowMap[row].Art, EntryLine) << row;
        EXPECT_EQ(f.app.orderGrid.cells.rowCount(), f.book.OGRowMap.count() + 1);
        waitFor([] { return false; }, 50);
        EXPECT_TRUE(f.sent().isEmpty()) << f.sent().value(0).constData();
    }
}

// The preset dialog's logic: the shown values by mode, the option taking effect at once,
// the rewritten fields, the refusal of 0 and the file written on closing.
TEST(Brackets, PresetDialog)
{
    struct Case {
        float mode;
        float w1, w2;
        QString shown1, shown2;
        QString typed1, typed2;
        QString rewritten1, rewritten2;
        float stored1, stored2;
    };
    const QList<Case> cases = {
        {0, 110, -90, " 110", " 90", "111,5", "89", " 111", " 89", 111, 89},
        {1, 5, 3, " 5", " 3", "4.5", "2", " 4.5", " 2", 4.5, 2},
        {2, 5, -3, "-5", "-3", "-5", "-7.25", " 5", " 7.25", 5, 7.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        BracketFixture f;
        f.presets(1, c.w1, c.w2, c.mode);
        Eingabe d(f.s, f.prompts, f.app.protocol, 1);
        d.Eingabe_Form_Load();
        EXPECT_EQ(d.ticker, "FDAX");
        EXPECT_EQ(d.option, int(c.mode));
        EXPECT_EQ(d.texts[0], c.shown1);
        EXPECT_EQ(d.texts[1], c.shown2);
        EXPECT_TRUE(d.Command1_Click(c.typed1, c.typed2));
        EXPECT_EQ(d.texts[0], c.rewritten1);
        EXPECT_EQ(d.texts[1], c.rewritten2);
        EXPECT_EQ(f.s.WpvPresets[1].Wert1, c.stored1);
        EXPECT_EQ(f.s.WpvPresets[1].Wert2, c.stored2);
        EXPECT_TRUE(f.prompts.messages.isEmpty());
    }

    BracketFixture f;
    f.presets(1, 5, 3, 1);
    Eingabe d(f.s, f.prompts, f.app.protocol, 1);
    d.Eingabe_Form_Load();
    d.Option1_Click(2);
    EXPECT_EQ(f.s.WpvPresets[1].Wert3, 2) << "at once";
    EXPECT_FALSE(d.Command1_Click("abc", "-3"));
    EXPECT_EQ(f.prompts.messages, QStringList{kZeroLimit});
    EXPECT_EQ(d.texts[0], " 0");
    EXPECT_EQ(d.texts[1], " 3");
    EXPECT_FALSE(d.closed());
    EXPECT_TRUE(d.Command1_Click("-2", d.texts[1]));

    // Through the bracket "Edit" item: the dialog is answered, the bracket uses the new
    // values, and "Korvi.wpv" holds them at once.
    f.prompts.onEingabe = [](Eingabe& dialog) {
        dialog.Option1_Click(0);
        dialog.Command1_Click("120", "80");
    };
    f.menu(f.rowOfEntry(f.entryLine(1, "BUY")), 2);
    EXPECT_EQ(f.prompts.eingabeShown, 1);
    EXPECT_EQ(f.exitRows(1), (QStringList{"SEL LMT 10 120 B2 P1", "SEL STP 10 80 B3 P1"}));
    EXPECT_EQ(f.br.EingabeWP, 1);
    QByteArray file;
    ASSERT_TRUE(readWholeFile(f.s.filePath("Korvi.wpv"), file));
    EXPECT_TRUE(file.startsWith("FDAX\r\n 120 \r\n 80 \r\n 0 \r\n")) << file.constData();
}

// While the menu, the dialog or a message box waits, the server rebuilds the grid or sends
// a new order list: the bracket still lands on the line or order that was clicked.
TEST(Brackets, GridChangesDuringTheWaits)
{
    // An entry line on the second instrument; while its menu is open a new line opens on the
    // first instrument, which moves every row below it.
    {
        BracketFixture f;
        f.presets(2, 5, 3, 1);
        const int main = f.entryLine(2, "BUY");
        const int clickedRow = f.rowOfEntry(main);
        GridMenu shown = GridMenu::None;
        QObject::connect(&f.app.orderEntry, &OrderEntry::menuRequested, [&](GridMenu m, int) { shown = m; });
        f.app.orderEntry.mouseDown(true, clickedRow, 1);
        f.entryLine(1, "SEL");
        f.app.orderGrid.rebuild();
        ASSERT_NE(f.rowOfEntry(main), clickedRow);
        f.app.orderEntry.chooseMenuItem(shown, clickedRow, 0);
        EXPECT_EQ(f.exitRows(1), QStringList{});
        EXPECT_EQ(f.exitRows(2).size(), 2);
        EXPECT_EQ(f.book.LeerOrders[main].BrRolle, 1);
    }
    // A placed order: while the dialog is open a new order list puts it at another index
    // and a new instrument list arrives; while the first warning is open the list changes
    // again. The group keeps one key, the order's number and its ids.
    {
        BracketFixture f;
        f.presets(2, 131, 130, 0);
        const int order = f.placed(2, "BUY ", Submitted, 42);
        f.s.Instruments[2].Letzter = 0;
        auto swapOrders = [&] {
            f.app.dispatcher.dispatch("@SAO=7;O7;x;SEL ;3;LMT;1;0;4;0;3;0;093000;093001;X;1;0;0;;0;0\n"
                                      "42;O42;x;BUY ;4;MKT;0;0;4;0;4;0;093000;093001;X;2;0;0;;0;0\n");
        };
        f.prompts.onEingabe = [&](Eingabe& d) {
            swapOrders();
            f.app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;100;99.5;10;100.5;20;Dax Future;25;1;2\n"
                                      "FGBL;BUND;EUR;0;0;5;0;6;Bund;1000;0;0\n");
            d.Command1_Click(d.texts[0], d.texts[1]);
        };
        bool swappedAgain = false;
        f.prompts.onMessage = [&](const QString&) {
            if (!swappedAgain)
                f.app.dispatcher.dispatch("@SAO=42;O42;x;BUY ;4;MKT;0;0;4;0;4;0;093000;093001;X;2;1;0;O42;0;0\n");
            swappedAgain = true;
        };
        f.menu(f.book.SuchRow(order, OpenOrder), 2);
        ASSERT_EQ(f.sent().size(), 1);
        EXPECT_EQ(f.sent()[0], frame("@BR1=ABC123;42;O42"));
        EXPECT_EQ(f.exitRows(2), (QStringList{"SEL LMT 4 131 B2 P-2", "SEL STP 4 130 B3 P-2"}));
        EXPECT_TRUE(f.exitRows(1).isEmpty());
        EXPECT_EQ(f.book.orders[f.book.SuchOrderUserID(42)].BrRolle, 1);
    }
}

// The window of the preset dialog: its texts, and the close box and "&OK" take the same
// path, which keeps it open while a value is 0.
TEST(Brackets, PresetDialogWindow)
{
    BracketFixture f;
    f.presets(1, 5, 3, 2);
    Eingabe logic(f.s, f.prompts, f.app.protocol, 1);
    logic.Eingabe_Form_Load();
    EingabeDialog dialog(logic);
    EXPECT_EQ(dialog.windowTitle(), "Eingabe Gewinnmitnahme Stoploss");
    EXPECT_TRUE(dialog.option(2).isChecked());
    EXPECT_EQ(dialog.option(1).text(), "Offset zum momentanen Kurs");
    EXPECT_EQ(dialog.field(0).text(), "-5");
    EXPECT_EQ(dialog.okButton().text(), "&OK");

    dialog.show();
    dialog.option(1).click();
    EXPECT_EQ(f.s.WpvPresets[1].Wert3, 1);
    dialog.field(1).setText("0");
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(f.prompts.messages, QStringList{kZeroLimit});
    EXPECT_EQ(dialog.field(1).text(), " 0") << "the fields show what was taken";
    dialog.field(1).setText("2.5");
    dialog.okButton().click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(f.s.WpvPresets[1].Wert2, 2.5f);
}
