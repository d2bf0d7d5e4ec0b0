#include "external/externalframe.h"
#include "support/liveserver.h"

#include <QGroupBox>
#include <QListWidget>
#include <QCheckBox>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {
template <typename W>
W* child(QWidget& parent, const QString& text)
{
    for (W* w : parent.findChildren<W*>()) {
        if constexpr (std::is_same_v<W, QGroupBox>) {
            if (w->title() == text)
                return w;
        } else if (w->text() == text) {
            return w;
        }
    }
    return nullptr;
}
} // namespace

// "Fennix extern" shows and hides the frame (not in the game edition); the lists show the
// protocol lines and clear as the user asks.
TEST(ExternalFrame, BoxesAndLists)
{
    ClientFixture f;
    ExternalFrame frame(f.app);
    frame.show();
    QCheckBox* fennix = child<QCheckBox>(frame, "Fennix extern");
    QGroupBox* box = child<QGroupBox>(frame, "Externe Kontrolle Fennix");
    ASSERT_TRUE(fennix && box);
    EXPECT_FALSE(box->isVisible());
    fennix->click();
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(f.app.state.settings.fennixExtern, 1);

    f.app.external.list1.add("IN:HI");
    QListWidget* list1 = box->findChild<QListWidget*>();
    ASSERT_TRUE(list1);
    ASSERT_EQ(list1->count(), 1);
    emit list1->itemDoubleClicked(list1->item(0));
    EXPECT_TRUE(f.app.external.list1.lines().isEmpty());
    EXPECT_EQ(list1->count(), 0);

    fennix->click();
    EXPECT_FALSE(box->isVisible());
    f.app.state.GameEdition = 1;
    fennix->click();
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(fennix->isChecked());

    QCheckBox* ascii = child<QCheckBox>(frame, "ASCII-Remote");
    ASSERT_TRUE(ascii);
    ascii->click();
    EXPECT_TRUE(f.app.external.files.isOn());
}

// A flood of lines on the order socket: the list keeps the newest lines only, like the
// protocol lists, and scrolls once after the flood instead of once per line.
TEST(ExternalFrame, LogListIsBoundedAndScrollsOncePerFlood)
{
    ClientFixture f;
    ExternalFrame frame(f.app);
    frame.resize(600, 400);
    frame.show();
    child<QCheckBox>(frame, "Fennix extern")->click();
    QListWidget* list1 = child<QGroupBox>(frame, "Externe Kontrolle Fennix")->findChild<QListWidget*>();
    ASSERT_TRUE(list1);
    const int lines = int(LogList::kMaxLines) + 500;
    for (int i = 1; i <= lines; ++i)
        f.app.external.list1.add(QStringLiteral("IN:@PO;%1").arg(i));
    EXPECT_EQ(list1->count(), LogList::kMaxLines);
    EXPECT_EQ(list1->item(list1->count() - 1)->text(), QStringLiteral("IN:@PO;%1").arg(lines));
    EXPECT_EQ(list1->verticalScrollBar()->value(), 0) << "scrolled while the lines came";
    QScrollBar* bar = list1->verticalScrollBar();
    EXPECT_TRUE(waitFor([&] { return bar->value() > 0 && bar->value() == bar->maximum(); }, 2000));
}
