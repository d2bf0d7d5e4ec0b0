#include "externalfixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <tuple>

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
        {"unknown instrument: its refusal is the line", "@PO;XX;0;BUY;MKT;1;0;0;N1\r\n", {},
         QByteArray("\"N1\"; 0 ;@ER; 1;Wertpapier nicht verf\xfcgbar\r\n"),
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

// An outside order that cannot be sent (no connection, or no greeting yet) is refused at
// once with "@ER" code 3 and its reference, and a line in the confirmation file; it opens
// no entry line, so nothing of it can leave later, not even with "TRANS Alle" after the
// greeting. However many arrive, the user gets one notice in the message line and no box.
TEST(ExternalOrders, OrdersThatCannotBeSentAreRefusedAtOnceAndLeaveNothing)
{
    for (const bool connected : {false, true}) {
        SCOPED_TRACE(connected ? "connected, not greeted" : "not connected");
        ClientFixture f(ClientFixture::Offline);
        f.app.dispatcher.dispatch("@SI=FDAX;W1;EUR;3800;3799;10;3801;20;Dax Future;25;1;2\n"
                                  "FESX;ESX;EUR;50;49;5;51;6;Euro Stoxx;10;0;0\n");
        f.app.state.user().UserKz = "ABC123";
        f.app.orderGrid.rebuild();
        if (connected) {
            f.app.connection.setPortField(QByteArray::number(f.peer.port()));
            f.app.connection.connectwinsock("127.0.0.1");
            ASSERT_TRUE(waitFor([&] { return f.app.connection.isConnected() && f.peer.connectionCount() > 0; }));
        }
        f.app.external.files.Check6_Click(true);
        QList<std::tuple<int, QByteArray, QByteArray>> refusals;
        const auto toWex = f.app.external.orders.refused;
        f.app.external.orders.refused = [&](int code, const QByteArray& text, const QByteArray& ref, bool order) {
            refusals.append({code, ref, order ? "order" : "cancel"});
            toWex(code, text, ref, order);
        };
        const int rowsBefore = f.app.state.book.OGRowMap.count();
        const qint32 lastId = f.app.state.user().LastUserOrderID;
        QByteArray expectedLines;
        for (int i = 0; i < 130; ++i) {
            const QByteArray ref = "R" + QByteArray::number(i);
            f.app.external.orders.Ext_Placeorder((i % 2 ? "ESX;0;SELL;LMT;1;51;0;" : "W1;1;BUY;MKT;2;0;0;") + ref);
            expectedLines += "\"" + ref + "\"; 0 ;@ER; 3;Keine Verbindung zum Server\r\n";
        }
        ASSERT_EQ(refusals.size(), 130);
        for (int i = 0; i < 130; ++i)
            EXPECT_EQ(refusals[i], std::make_tuple(3, "R" + QByteArray::number(i), QByteArray("order")));
        EXPECT_EQ(f.app.state.book.entryLineCount(), 0);
        EXPECT_EQ(f.app.state.book.OGRowMap.count(), rowsBefore);
        EXPECT_EQ(f.app.state.user().LastUserOrderID, lastId);
        QFile ord(f.dir.filePath(QLatin1String(FileInterface::kConfirmationFile)));
        ASSERT_TRUE(ord.open(QIODevice::ReadOnly));
        EXPECT_EQ(ord.readAll(), expectedLines);
        // One notice, not one per order; no box, now or after the handlers returned.
        waitFor([] { return false; }, 50);
        EXPECT_TRUE(f.prompts.messages.isEmpty()) << f.prompts.messages.value(0).toStdString();
        EXPECT_EQ(f.app.messages.messageLine(), QStringLiteral("Externe Order nicht gesendet: keine Verbindung zum Server!"));

        // After the greeting the user's "TRANS Alle" finds nothing of them.
        if (!connected) {
            f.app.connection.setPortField(QByteArray::number(f.peer.port()));
            f.app.connection.connectwinsock("127.0.0.1");
            ASSERT_TRUE(waitFor([&] { return f.app.connection.isConnected() && f.peer.connectionCount() > 0; }));
        }
        f.app.dispatcher.dispatch("@WELCOME");
        f.app.placing.transAlle();
        f.app.external.orders.Ext_Placeorder("W1;1;BUY;MKT;2;0;0;AFTER");
        ASSERT_TRUE(waitFor([&] { return !f.peer.received.isEmpty(); }));
        waitFor([] { return false; }, 100);
        QByteArrayList orders;
        for (const QByteArray& m : f.peer.received)
            if (m.startsWith("@PO="))
                orders << m;
        EXPECT_EQ(orders, QByteArrayList{"@PO=ABC123;" + QByteArray::number(-(lastId + 1)) + ";1;BUY ;MKT;2; 0; 0;0;0"});
        EXPECT_EQ(refusals.size(), 130);
    }
}
