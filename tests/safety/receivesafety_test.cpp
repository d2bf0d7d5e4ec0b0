// No lost messages, no lost settings, no endless loop: dialogs never run inside the receive
// step, protocol lists stay bounded, prices are the server's, settings survive a restart.
#include "connection/autostartdialog.h"
#include "connection/credentialsdialog.h"
#include "chat/messagewindow.h"
#include "mainwindow/mainwindow.h"
#include "orders/ordergridview.h"
#include "orders/ordergrid.h"
#include "support/liveserver.h"

#include <QGuiApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

bool inHistory(const ClientFixture& c, const QString& text)
{
    for (const QString& line : c.app.messages.history())
        if (line.endsWith(text))
            return true;
    return false;
}

} // namespace

// The wrong-password dialog opens after the receive step has returned: the frames that
// came with the message and those that arrive while the dialog is open are all handled.
TEST(ReceiveStep, WrongPasswordDialogRunsAfterTheFramesAndLosesNone)
{
    ClientFixture c;
    c.app.connection.KeepConnected = true;
    bool laterWasHandled = false;
    c.prompts.whileCredentials = [&] {
        laterWasHandled = inHistory(c, "danach");
        c.peer.send("@MSG=waehrenddessen"); // arrives while the dialog is open
        waitFor([&] { return inHistory(c, "waehrenddessen"); }, 2000);
    };
    c.peer.sendRaw(frame("@MSG=FALSCHES PA\xdfWORT") + frame("@MSG=danach"));
    ASSERT_TRUE(waitFor([&] { return c.prompts.credentialsShown == 1; }));
    EXPECT_TRUE(laterWasHandled) << "the dialog ran inside the receive step";
    EXPECT_TRUE(waitFor([&] { return inHistory(c, "waehrenddessen"); }, 2000));
    EXPECT_EQ(c.app.connection.userField(), "neu");
    EXPECT_TRUE(c.app.connection.KeepConnected);

    // Two wrong-password messages in one arrival ask once.
    c.peer.sendRaw(frame("@MSG=falsches pa\xdfwort") + frame("@MSG=FALSCHES PA\xdfWORT"));
    ASSERT_TRUE(waitFor([&] { return c.prompts.credentialsShown == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(c.prompts.credentialsShown, 2);
}

// "Abbruch" in the dialog after a wrong password ends the program at once, instead of
// bringing the dialog back with every reconnect.
TEST(ReceiveStep, CancelledCredentialsAfterAWrongPasswordEndTheProgram)
{
    ClientFixture c;
    int exits = 0;
    QObject::connect(&c.app, &ClientApp::exitRequested, [&] { ++exits; });
    c.prompts.credentialsOk = false;
    c.app.dispatcher.dispatch("@MSG=FALSCHES PA\xdfWORT");
    EXPECT_EQ(c.prompts.credentialsShown, 0);
    ASSERT_TRUE(waitFor([&] { return exits == 1; }));
    EXPECT_EQ(c.prompts.credentialsShown, 1);
}

// A huge message is logged as one short line with its length, and the lists keep the
// newest lines only.
TEST(ProtocolLists, LongLinesAreCutAndTheListsStayBounded)
{
    ClientFixture c;
    QByteArray huge = "@SAO=";
    for (int i = 0; i < 100000; ++i)
        huge += "1;SRV1;;BUY;1;LMT;90;0;4;0;1;0;093000;093000;;1;0;0;;0;0\n";
    c.app.connection.receive(frame(huge));
    const QStringList in = c.app.incoming.lines().filter("IN:@SAO=");
    ASSERT_EQ(in.size(), 1);
    EXPECT_LE(in[0].size(), LogList::kMaxLineChars + 40);
    EXPECT_TRUE(in[0].endsWith(QStringLiteral(" ... (%1 Zeichen)").arg(huge.size() + 3)));

    LogList list;
    QStringList shown;
    QObject::connect(&list, &LogList::added, [&](const QString& l) { shown << l; });
    for (int i = 0; i < LogList::kMaxLines + 10; ++i)
        list.add(QString::number(i));
    EXPECT_EQ(list.lines().size(), LogList::kMaxLines);
    EXPECT_EQ(list.lines().first(), "10");
    EXPECT_EQ(list.lines().last(), QString::number(LogList::kMaxLines + 9));
    EXPECT_EQ(list.dropped(), 10);
    EXPECT_EQ(LogList::shortened(QString(LogList::kMaxLineChars, 'x')), QString(LogList::kMaxLineChars, 'x'));
}

// Short price messages give bid and ask as distances from the last price; the sum must be
// the price the server meant, not the single's neighbour ("77.99001").
TEST(Prices, DistancesFromTheLastPriceGiveTheServersPrices)
{
    struct Case {
        QByteArray message;
        float bid, ask;
        QString bidText;
    };
    const QList<Case> cases = {
        {"~1;78.01;.02;5;.05;6", 77.99f, 78.06f, " 77.99"},
        {"~1;78.02;.04;5;.03;6", 77.98f, 78.05f, " 77.98"},
        {"~1;78.535;.04;5;.04;6", 78.495f, 78.575f, " 78.495"},
        {"~1;18000;.5;5;.5;6", 17999.5f, 18000.5f, " 17999.5"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message.constData());
        ClientFixture c;
        c.app.dispatcher.dispatch("@SI=X;X;EUR;78.01;78;1;78.02;1;X;1;0;0\n");
        c.app.dispatcher.dispatch(k.message);
        const InstrumentRecord& r = c.app.state.Instruments[1];
        EXPECT_EQ(r.Bid, k.bid);
        EXPECT_EQ(r.Ask, k.ask);
        EXPECT_EQ(priceText(r.Bid), k.bidText);
        const PriceHistory& h = c.app.state.priceHistory;
        EXPECT_EQ(h.at(1, h.pos(1)).Bid, k.bid) << "the history keeps the same price";
    }
    // The "^" forms measure from the stored last price.
    ClientFixture c;
    c.app.dispatcher.dispatch("@SI=X;X;EUR;78.01;78;1;78.02;1;X;1;0;0\n");
    c.app.dispatcher.dispatch("^11;.02;5;.05;6");
    EXPECT_EQ(c.app.state.Instruments[1].Bid, 77.99f);
    EXPECT_EQ(c.app.state.Instruments[1].Ask, 78.06f);
    c.app.dispatcher.dispatch("^31;.08");
    EXPECT_EQ(c.app.state.Instruments[1].Ask, 78.09f);
}

// Passwords that the file reader would change unquoted are written quoted, and come back
// exactly; plain ones stay unquoted.
TEST(SettingsFile, EveryPasswordComesBackUnchanged)
{
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {"geheim", "geheim"},          {" vorn", "\" vorn\""}, {"hinten ", "\"hinten \""},
        {"\"quote", "\"\"quote\""},    {"a,b", "\"a,b\""},     {"\"a\"b\"", "\"\"a\"b\"\""},
        {"mit \"innen\"", "mit \"innen\""}, {"", ""},
    };
    for (const auto& [password, line] : cases) {
        SCOPED_TRACE(password.constData());
        Settings s;
        s.password = password;
        const QByteArray file = serializeSettings(s);
        EXPECT_EQ(file.split('\n').at(13), line + '\r');
        Settings back;
        back.password = "alt";
        ASSERT_TRUE(parseSettings(file, back));
        EXPECT_EQ(back.password, password);
    }
}

// Column widths of both grids survive the rebuilds and a restart, also when the execution
// grid never had a column during the session.
TEST(SettingsFile, ColumnWidthsSurviveRebuildsAndARestart)
{
    QTemporaryDir dir;
    const QByteArray instruments = "@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax;25;1;2\n";
    {
        FakePrompts prompts;
        FakeSound sound;
        FakeClock clock;
        FakePages pages;
        ClientApp app(dir.path(), prompts, sound, clock, pages);
        InitUser(app.state);
        OrderGridView orders(app.orderGrid.cells, app.orderEntry);
        CellGridView executions(app.executions.cells);
        Settings& s = app.state.settings;
        s.execGridWidths = " 900; 1500; 600";
        executions.setSavedWidths(s.execGridWidths);
        app.dispatcher.dispatch(instruments);
        orders.setColumnWidth(3, 200); // the user widens "Name"
        app.dispatcher.dispatch(instruments);
        EXPECT_EQ(orders.columnWidth(3), 200);
        s.orderGridWidths = orders.savedWidths(GridLayout::kColumns);
        s.execGridWidths = executions.savedWidths(16);
        app.shutdown();
    }
    FakePrompts prompts;
    FakeSound sound;
    FakeClock clock;
    FakePages pages;
    ClientApp app(dir.path(), prompts, sound, clock, pages);
    InitUser(app.state);
    ASSERT_TRUE(loadSettingsFile(dir.path(), app.state.settings));
    EXPECT_TRUE(app.state.settings.execGridWidths.trimmed().startsWith("900; 1500; 600;"))
        << app.state.settings.execGridWidths.constData();
    OrderGridView orders(app.orderGrid.cells, app.orderEntry);
    CellGridView executions(app.executions.cells);
    orders.setSavedWidths(app.state.settings.orderGridWidths);
    executions.setSavedWidths(app.state.settings.execGridWidths);
    app.dispatcher.dispatch(instruments); // builds and draws the grid anew
    app.dispatcher.dispatch("@OO=7;SRV7;;BUY;1;LMT;90;0;4;0;1;0;093000;093000;;1;0;0;;0;0");
    EXPECT_EQ(orders.columnWidth(3), 200);
    app.executions.InitGridLayout();
    app.executions.ZeigExecutionGrid(0, 0);
    ASSERT_GT(app.executions.cells.columnCount(), 2);
    EXPECT_EQ(executions.columnWidth(1), 100);
}

// The start-up dialogs open in the middle of the screen.
TEST(StartDialogs, AreCentredOnTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The main window sits in a corner; the dialogs still open in the screen's middle.
    QWidget main;
    main.setGeometry(screen.left(), screen.top(), 200, 120);
    main.show();
    CredentialsDialog credentials("anna", "pw", &main);
    credentials.show();
    EXPECT_LE((credentials.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    AutostartDialog autostart(&main);
    autostart.show();
    EXPECT_LE((autostart.frameGeometry().center() - screen.center()).manhattanLength(), 2);
    autostart.reject();
}

// A megabyte of server text as a message, a rejection reason, the places and the user id:
// the main window keeps its size, every label shows one bounded line, the message window
// keeps its size and scrolls, and what is kept is bounded.
TEST(LongTexts, NeitherWidenAWindowNorFillTheMemory)
{
    ClientFixture c(ClientFixture::Offline);
    MainWindow window(c.app, c.prompts, "korvi");
    window.show();
    QCoreApplication::sendPostedEvents();
    const QSize before = window.size();
    const int minimumBefore = window.minimumSizeHint().width();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    QByteArray huge;
    while (huge.size() < (1 << 20))
        huge += "Eine sehr lange Zeile ohne Ende\n";
    c.app.dispatcher.dispatch("@MSG=" + huge);
    c.app.dispatcher.dispatch("@OR=" + huge);
    c.app.dispatcher.dispatch("@PI=" + huge + ';' + huge);
    c.app.dispatcher.dispatch("@UD=" + QByteArray(1 << 20, 'u'));
    QCoreApplication::sendPostedEvents();
    window.layout()->activate();

    EXPECT_EQ(window.size(), before);
    EXPECT_EQ(window.minimumSizeHint().width(), minimumBefore);
    const QList<ElidedLabel*> labels = window.findChildren<ElidedLabel*>();
    EXPECT_GE(labels.size(), 6); // message line, user id, result, three places
    for (const ElidedLabel* label : labels) {
        EXPECT_LE(label->fullText().size(), ElidedLabel::kMaxShownChars);
        EXPECT_LE(label->text().size(), label->fullText().size() + 1);
        EXPECT_FALSE(label->text().contains(QLatin1Char('\n')));
    }
    const MessageWindow* popup = window.findChild<MessageWindow*>();
    ASSERT_TRUE(popup);
    EXPECT_LE(popup->width(), screen.width());
    EXPECT_LE(popup->height(), screen.height());
    EXPECT_LE(popup->sizeHint().height(), screen.height());
    EXPECT_LE(popup->text().size(), Messages::kMaxMessageChars + 40);
    for (const QString& line : c.app.messages.history())
        EXPECT_LE(line.size(), Messages::kMaxMessageChars + 40);
    for (const QComboBox* box : window.findChildren<QComboBox*>()) {
        EXPECT_LE(box->sizeHint().width(), screen.width());
        for (int i = 0; i < box->count(); ++i)
            EXPECT_LE(box->itemText(i).size(), Messages::kMaxMessageChars + 40);
    }
}
