#include "app/clientapp.h"
#include "chat/chatcheckbox.h"
#include "chat/chatwindow.h"
#include "support/liveserver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

// "Stop": new lines are appended, but the views stay where the user scrolled; without it
// they follow the newest line.
TEST(ChatWindow, StopKeepsTheViewWhereTheUserScrolled)
{
    ClientFixture c;
    ChatRoom& room = c.app.chat;
    room.WS_SV("1");
    ChatWindow w(room, nullptr);
    w.show();
    EXPECT_TRUE(room.ChatOpen);
    for (int i = 0; i < 300; ++i) {
        room.Chatadd(QStringLiteral("Zeile %1").arg(i));
        room.WS_ReceiveTChat(QByteArray("FDAX;1; ") + QByteArray::number(i));
    }
    QScrollBar* text = w.conversation().verticalScrollBar();
    QScrollBar* trades = w.tradeList().verticalScrollBar();
    ASSERT_GT(text->maximum(), 0);
    EXPECT_EQ(text->value(), text->maximum());

    w.stopBox().setChecked(true);
    text->setValue(10);
    trades->setValue(5);
    room.Chatadd("neu");
    room.WS_ReceiveTChat("FDAX;2; 1");
    EXPECT_EQ(text->value(), 10);
    EXPECT_EQ(trades->value(), 5);
    EXPECT_EQ(w.conversation().document()->blockCount(), 301);
    EXPECT_EQ(w.tradeList().count(), 301);

    w.stopBox().setChecked(false);
    room.Chatadd("danach");
    room.WS_ReceiveTChat("FDAX;3; 1");
    EXPECT_EQ(text->value(), text->maximum());
    EXPECT_EQ(w.tradeList().currentRow(), 301);
}

// The box "CHAT" hides at level 0, opens a window when ticked, and is cleared when the
// window is closed by its frame; the widen button shows only from level 2.
TEST(ChatWindow, BoxOpensAndClosesTheWindow)
{
    ClientFixture c;
    ChatRoom& room = c.app.chat;
    QWidget main;
    ChatCheckBox box(room, &main);
    main.show();
    room.WS_SV("0");
    EXPECT_TRUE(box.isHidden());
    room.WS_SV("1");
    EXPECT_FALSE(box.isHidden());

    box.click();
    ASSERT_NE(box.window(), nullptr);
    EXPECT_TRUE(room.ChatOpen);
    EXPECT_TRUE(box.window()->widenButton().isHidden());
    room.WS_SV("2");
    EXPECT_FALSE(box.window()->widenButton().isHidden());
    box.window()->widenButton().click();
    EXPECT_EQ(box.window()->width(), ChatRoom::kWideWidth);
    EXPECT_FALSE(box.window()->tradeList().isHidden());

    box.window()->close(); // by its frame
    EXPECT_FALSE(room.ChatOpen);
    EXPECT_FALSE(box.isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(box.window(), nullptr);

    box.click();
    ASSERT_NE(box.window(), nullptr);
    room.Chatadd("x");
    EXPECT_EQ(box.window()->conversation().toPlainText(), "x");
    room.WS_SV("0"); // the level closes it
    EXPECT_FALSE(room.ChatOpen);
    EXPECT_FALSE(box.isChecked());
    EXPECT_TRUE(box.isHidden());
}

// Only a click of the user picks the recipient: lines that arrive afterwards (and move the
// caret to the end) leave it as it is, even while the conversation has the focus.
TEST(ChatWindow, ArrivingLinesNeverChangeTheRecipient)
{
    ClientFixture c;
    ChatRoom& room = c.app.chat;
    room.WS_SV("1");
    ChatWindow w(room, nullptr);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(waitFor([&] { return w.isActiveWindow(); }, 3000));
    room.WS_ReceiveChat("anna:hallo");
    QPlainTextEdit& text = w.conversation();
    const auto click = [&](int line) {
        QTextCursor at(text.document()->findBlockByNumber(line));
        const QPoint p = text.cursorRect(at).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, p, text.viewport()->mapToGlobal(p), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(text.viewport(), &e);
        }
    };
    click(0); // anna's header line
    EXPECT_EQ(room.recipient(), "anna");
    text.setFocus();
    ASSERT_TRUE(text.hasFocus());
    for (const char* line : {"bob:Treffen um 12:30", "carl:ok", "User dora betritt Chat"})
        room.WS_ReceiveChat(line);
    EXPECT_EQ(room.recipient(), "anna");
    EXPECT_EQ(w.recipientField().text(), "anna");
    click(2); // bob's header
    EXPECT_EQ(room.recipient(), "bob");
}

// In the narrow window (and the wide one) every button and box shows its whole caption:
// none is squeezed below what its text needs.
TEST(ChatWindow, EveryCaptionFitsInBothWidths)
{
    ClientFixture c;
    ChatWindow w(c.app.chat, nullptr);
    w.show();
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "narrow");
        emit c.app.chat.widthChanged(wide);
        QApplication::processEvents();
        int captions = 0;
        for (QAbstractButton* b : w.findChildren<QAbstractButton*>()) {
            if (!b->isVisible() || b->text().isEmpty())
                continue;
            ++captions;
            EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
        }
        EXPECT_GE(captions, 4);
    }
}
