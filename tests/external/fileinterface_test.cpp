#include "externalfixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct FileFixture : ExternalFixture {
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    void drop(const QByteArray& content, const char* name = FileInterface::kCommandFile)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray read(const char* name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // The orders the game server got, once `count` have arrived.
    QByteArrayList ordersAfterWait(qsizetype count)
    {
        waitFor([&] { return orders().size() >= count; });
        waitFor([] { return false; }, 100); // nothing further on its way
        return orders();
    }
};

} // namespace

// One command file per case: the orders it sends, the confirmation and protocol files it
// leaves, and the executed lines listed.
TEST(FileInterface, CommandFilesByteForByte)
{
    struct Case {
        const char* name;
        QByteArray file;
        QByteArrayList orders;
        QByteArray confirmations;
        QByteArray protocol;
        QStringList listed;
    };
    const Case cases[] = {
        {"comments only", "'eins\r\n'zwei\r\n", {}, "<missing>", "09:30:15 'zwei\r\n", {}},
        {"three orders in file order",
         "@PO;W1;1;BUY;LMT;2;3800;0;A1\r\n@PO;ESX;0;SELL;MKT;1;0;0;A2\r\n\r\n@PO;bund;0;BUY;STP;3;132;0;A3\r\n",
         {"@PO=ABC123;-42;1;BUY ;LMT;2; 3800; 0;0;0", "@PO=ABC123;-43;2;SEL ;MKT;1; 0; 0;0;0",
          "@PO=ABC123;-44;3;BUY ;STP;3; 132; 0;0;0"},
         "\"A1\";-42 \r\n\"A2\";-43 \r\n\"A3\";-44 \r\n",
         "09:30:15 @PO;bund;0;BUY;STP;3;132;0;A3\r\n",
         {"09:30:15 @PO;W1;1;BUY;LMT;2;3800;0;A1", "09:30:15 @PO;ESX;0;SELL;MKT;1;0;0;A2",
          "09:30:15 @PO;bund;0;BUY;STP;3;132;0;A3"}},
        {"lower case is listed, not executed", "@po;W1;1;BUY;MKT;1;0;0;L1\r\n", {}, "<missing>",
         "09:30:15 @po;W1;1;BUY;MKT;1;0;0;L1\r\n", {"09:30:15 @po;W1;1;BUY;MKT;1;0;0;L1"}},
        {"a comma cuts the line", "@PO;W1;1;BUY;LMT;2;3800,5;0;K1\r\n", {"@PO=ABC123;-42;1;BUY ;LMT;2; 3800; 0;0;0"},
         "\"\";-42 \r\n", "09:30:15 5;0;K1\r\n",
         {"09:30:15 @PO;W1;1;BUY;LMT;2;3800", "09:30:15 5;0;K1"}},
        {"unknown instrument confirms nothing", "@PO;XX;0;BUY;MKT;1;0;0;N1\r\n", {}, "<missing>",
         "09:30:15 @PO;XX;0;BUY;MKT;1;0;0;N1\r\n", {"09:30:15 @PO;XX;0;BUY;MKT;1;0;0;N1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileFixture f;
        f.ext.files.Check6_Click(true);
        f.drop(c.file);
        f.ext.files.tick();
        EXPECT_EQ(f.ordersAfterWait(c.orders.size()), c.orders);
        EXPECT_EQ(f.read(FileInterface::kConfirmationFile), c.confirmations);
        EXPECT_EQ(f.read(FileInterface::kProtocolFile), c.protocol);
        EXPECT_EQ(f.ext.list2.lines(), c.listed);
        EXPECT_FALSE(QFile::exists(f.path(FileInterface::kCommandFile)));
        EXPECT_FALSE(QFile::exists(f.path(FileInterface::kWorkFile)));
    }
}

// "@GL" and "@CA" press their buttons; "@CO" cancels a submitted order. A work file left
// from before is deleted, never executed; the protocol file grows line by line.
TEST(FileInterface, ButtonsCancelsAndLeftovers)
{
    FileFixture f;
    f.ext.files.Check6_Click(true);
    f.app.dispatcher.dispatch("@SAO=-5;ORD00005;;BUY ;2;LMT;3700;0;4;0;2;0;093000;093000;;1;0;0;;0;0\n"
                              "7;ORD00007;;SEL ;1;LMT;3900;0;3;0;1;0;093000;093000;;1;0;0;;0;0\n"
                              "8;ORD00008;;SEL ;1;LMT;3900;0;1;0;1;0;093000;093000;;1;0;0;;0;0");
    f.drop("@PO;W1;1;BUY;MKT;1;0;0;OLD\r\n", FileInterface::kWorkFile);
    f.drop("@CO;-5\r\n@CA\r\n");
    f.ext.files.tick();
    EXPECT_EQ(f.ordersAfterWait(3), (QByteArrayList{"@CO=ABC123;-5;ORD00005", "@CO=ABC123;-5;ORD00005",
                                                    "@CO=ABC123;7;ORD00007"}));
    f.drop("'nichts\r\n");
    f.ext.files.tick();
    EXPECT_EQ(f.read(FileInterface::kProtocolFile), "09:30:15 @CA\r\n09:30:15 'nichts\r\n");
}

// Orders from the socket are confirmed in the file too while the file interface is on;
// with the box cleared, a command file stays where it is.
TEST(FileInterface, BoxDecides)
{
    FileFixture f;
    Outside outside;
    ASSERT_TRUE(outside.connectTo(f.wexPort()));
    outside.send("\x01USER;ZAQR\x02\x01@PO;W1;1;BUY;MKT;1;0;0;S1\x02");
    ASSERT_EQ(f.ordersAfterWait(1).size(), 1);
    EXPECT_EQ(f.read(FileInterface::kConfirmationFile), "<missing>");
    f.ext.files.Check6_Click(true);
    outside.send("\x01@PO;W1;1;BUY;MKT;1;0;0;S2\x02");
    ASSERT_EQ(f.ordersAfterWait(2).size(), 2);
    EXPECT_EQ(f.read(FileInterface::kConfirmationFile), "\"S2\";-43 \r\n");

    // The polling timer takes a dropped file by itself; after the box is cleared it does not.
    f.drop("'a\r\n");
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(f.path(FileInterface::kCommandFile)); }, 5000));
    f.ext.files.Check6_Click(false);
    f.drop("'b\r\n");
    waitFor([] { return false; }, 1500);
    EXPECT_EQ(f.read(FileInterface::kCommandFile), "'b\r\n");
}

// The two boxes come back from the settings with their effect and go back into them; in
// the game edition "Fennix extern" stays off.
TEST(FileInterface, BoxesFollowTheSettings)
{
    FileFixture f;
    f.s.settings.asciiRemote = 1;
    f.ext.start();
    EXPECT_TRUE(f.ext.files.isOn());
    EXPECT_NE(f.wexPort(), 0);
    f.ext.files.Check6_Click(false);
    f.ext.collectSettings();
    EXPECT_EQ(f.s.settings.asciiRemote, 0);

    EXPECT_TRUE(f.ext.Check5_Click(true));
    EXPECT_EQ(f.s.settings.fennixExtern, 1);
    f.s.GameEdition = 1;
    EXPECT_FALSE(f.ext.Check5_Click(false));
    EXPECT_EQ(f.s.settings.fennixExtern, 1);
}

// An outside program may send thousands of cancels at once: none redraws the grid while
// it is handled; the refresh then redraws only the rows of the orders named.
TEST(ExternalOrders, CancelsRedrawOnlyTheirRowsWithTheRefresh)
{
    ExternalFixture f;
    f.app.dispatcher.dispatch("@SAO=-5;ORD00005;;BUY ;2;LMT;3700;0;4;0;2;0;093000;093000;;1;0;0;;0;0\n"
                              "7;ORD00007;;SEL ;1;LMT;3900;0;3;0;1;0;093000;093000;;1;0;0;;0;0");
    f.app.refreshGrids();
    QList<std::pair<int, int>> changed;
    QObject::connect(&f.app.orderGrid.cells, &CellGrid::rowsChanged,
                     [&](int first, int last) { changed.append({first, last}); });
    QObject::connect(&f.app.orderGrid.cells, &CellGrid::layoutReset, [&] { changed.append({-1, -1}); });
    for (int id = 100; id < 1100; ++id)
        f.ext.orders.Ext_CancelOrder(id);
    f.ext.orders.Ext_CancelOrder(-5);
    EXPECT_TRUE(changed.isEmpty());
    f.app.refreshGrids();
    const int row = f.s.book.SuchRow(f.s.book.SuchOrderUserID(-5), OpenOrder);
    ASSERT_GE(row, 2);
    EXPECT_EQ(changed, (QList<std::pair<int, int>>{{row, row}}));
    EXPECT_TRUE(f.serverGot("@CO=ABC123;-5;ORD00005"));
}

// Offline, an outside order keeps its entry line as the user's own does, but outside
// orders stop opening lines at a bound: each one past it is refused with "@ER" code 2 and
// leaves the grid as it was. The user's own clicks are not bounded, and a line the user
// deletes makes room again.
TEST(ExternalOrders, OfflineOrdersOpenEntryLinesOnlyUpToABound)
{
    ClientFixture f(ClientFixture::Offline);
    f.app.dispatcher.dispatch("@SI=FDAX;W1;EUR;3800;3799;10;3801;20;Dax Future;25;1;2\n"
                              "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n");
    f.app.state.user().UserKz = "ABC123";
    f.app.orderGrid.rebuild();
    QList<int> errors;
    f.app.external.orders.sendError = [&](int code, const QByteArray&) { errors << code; };
    OrderBook& book = f.app.state.book;
    auto entryRows = [&] {
        int rows = 0;
        for (int row = 2; row <= book.OGRowMap.count(); ++row)
            rows += book.OGRowMap[row].Art == EntryLine;
        return rows;
    };

    for (int i = 0; i < 130; ++i)
        f.app.external.orders.Ext_Placeorder(QByteArray(i % 2 ? "ESX;0;SELL;LMT;1;51;0;R" : "W1;1;BUY;LMT;2;3700;0;R") +
                                             QByteArray::number(i));
    const int bound = book.entryLineCount();
    EXPECT_GE(bound, 10);
    EXPECT_LT(bound, 130);
    EXPECT_EQ(entryRows(), bound);
    EXPECT_EQ(errors, QList<int>(130 - bound, 2));
    EXPECT_TRUE(f.peer.received.isEmpty());

    // The user may still open a line; an outside order may not.
    const int instrumentRow = f.app.orderEntry.instrumentRow(1);
    EXPECT_NE(f.app.orderEntry.openEntryLine(instrumentRow, "BUY"), 0);
    f.app.external.orders.Ext_Placeorder("W1;1;BUY;LMT;2;3700;0;X");
    EXPECT_EQ(book.entryLineCount(), bound + 1);
    EXPECT_EQ(errors.size(), 130 - bound + 1);

    // Two lines deleted by the user: one outside order fits again, the next does not.
    for (int k = 0; k < 2; ++k) {
        int row = 2;
        while (row < book.OGRowMap.count() && book.OGRowMap[row].Art != EntryLine)
            ++row;
        f.app.orderGrid.cells.setCurrent(row, f.app.orderGrid.gridColumn(OrderLineType, O_CANCEL));
        f.app.orderEntry.OGAktion();
    }
    f.app.external.orders.Ext_Placeorder("W1;1;BUY;LMT;2;3700;0;Y");
    f.app.external.orders.Ext_Placeorder("W1;1;BUY;LMT;2;3700;0;Z");
    EXPECT_EQ(book.entryLineCount(), bound);
    EXPECT_EQ(entryRows(), bound);
    EXPECT_EQ(errors.size(), 130 - bound + 2);
}
