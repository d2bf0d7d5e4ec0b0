#include "account/closing.h"
#include "chat/messages.h"
#include "support/liveserver.h"

#include <gtest/gtest.h>

using namespace korvi;
using namespace korvi::test;

namespace {

struct ClosingFixture : ClientFixture {
    State& s = app.state;
    PositionClosing& closing = app.closing;

    ClosingFixture()
    {
        app.dispatcher.dispatch("@SI=FDAX;DAX;EUR;18000;17999.5;10;18000.5;20;Dax Future;25;1;2\n"
                                "FGBL;BUND;EUR;131.25;131.24;5;131.26;6;Bund;1000;0;0\n"
                                "FESX;ESX;EUR;5000;4999;5;5001;6;Stoxx;10;0;0\n");
        s.user().UserKz = "ABC123";
        s.user().LastUserOrderID = 10;
        app.orderGrid.rebuild();
        app.orderEntry.setQuantityText("7");
        QObject::connect(&app.messages, &Messages::popupRequested, [this] { ++popups; });
    }
    int popups = 0;
    void positions(std::initializer_list<std::pair<int, int>> held)
    {
        s.positions.assign(held.size() + 1, {});
        s.PositionIndex.assign(4, 0);
        int i = 0;
        for (auto [wp, qty] : held) {
            ++i;
            s.positions[i].WPIndex = static_cast<qint16>(wp);
            s.positions[i].Bestand = qty;
            if (wp >= 1 && wp <= 3)
                s.PositionIndex[wp] = static_cast<qint16>(i);
        }
        s.PositionCount = i;
    }
    QStringList sent() const
    {
        QStringList out;
        for (const QString& line : app.outgoing.lines())
            if (line.startsWith("OUT:\x01"))
                out << line.mid(5).chopped(1);
        return out;
    }
    int row(int wp) const { return app.orderEntry.instrumentRow(wp); }
};

} // namespace

TEST(Closing, CloseAndTurnOneInstrument)
{
    ClosingFixture f;
    f.positions({{1, 30}, {2, -30}});
    f.prompts.yesAnswer = true;
    f.closing.m_glattstellen_Click(f.row(1));
    f.closing.m_drehposition_Click(f.row(1));
    f.closing.m_glattstellen_Click(f.row(2));
    EXPECT_EQ(f.sent(), (QStringList{"@PO=ABC123;11;1;SEL ;MKT;30; 17999.5; 0;0;0",
                                     "@PO=ABC123;12;1;SEL ;MKT;60; 17999.5; 0;0;0",
                                     "@PO=ABC123;13;2;BUY ;MKT;30; 131.26; 0;0;0"}));
    // Each market button asked its own question; the quantity box is back as it was.
    EXPECT_EQ(f.prompts.questions.size(), 3);
    EXPECT_EQ(f.app.orderEntry.quantityText(), " 7");
    EXPECT_EQ(f.s.book.DefaultWP, 2);

    // "No" to the market button's question places nothing.
    f.prompts.yesAnswer = false;
    f.closing.m_drehposition_Click(f.row(2));
    EXPECT_EQ(f.sent().size(), 3);
}

TEST(Closing, NoPositionMeansAMessageAndNoOrder)
{
    ClosingFixture f;
    f.closing.m_glattstellen_Click(f.row(3)); // before any position table
    f.positions({{1, 0}});
    f.closing.m_drehposition_Click(f.row(1));
    EXPECT_EQ(f.prompts.messages, (QStringList{QString::fromUtf8("Kein Bestand - kein Glattstellen möglich!"),
                                               QString::fromUtf8("Kein Bestand - kein Drehen möglich!")}));
    EXPECT_TRUE(f.sent().isEmpty());
    EXPECT_EQ(f.s.book.DefaultWP, 1);
    EXPECT_EQ(f.app.orderEntry.quantityText(), " 7");
}

TEST(Closing, GlattClosesEverythingWithoutFurtherQuestions)
{
    ClosingFixture f;
    f.positions({{1, 10}, {2, -5}, {3, 0}, {9, 4}});
    OrderRecord open;
    open.WPIndex = 3;
    open.Status = Submitted;
    open.OrderUserID = 5;
    open.UserKz = "ABC123";
    open.OrderID = "SRV00005";
    f.s.book.orders.append(open);
    f.s.book.DefaultWP = 3;

    f.prompts.yesAnswer = false;
    f.closing.Command11_Click();
    EXPECT_TRUE(f.sent().isEmpty());
    ASSERT_EQ(f.prompts.questions.size(), 1);
    // The question as it always was, then the counter-orders it would send.
    EXPECT_EQ(f.prompts.questions[0], "Wirklich alle Positionen glattstellen ?\r\nDiese Sicherheitsabfrage kann unter "
                                      "'Sonstiges' deaktiviert werden!\r\n\r\n2 Orders:\r\nVERKAUF 10 FDAX MKT\r\nKAUF 5 " +
                                          QString::fromLatin1(f.s.Instruments[2].Ticker.trimmed()) +
                                          " MKT\r\n\r\nDanach werden alle offenen Orders gestrichen.");

    f.prompts.yesAnswer = true;
    f.closing.Command11_Click();
    EXPECT_EQ(f.prompts.questions.size(), 2); // no question per order
    EXPECT_EQ(f.sent(), (QStringList{"@PO=ABC123;11;1;SEL ;MKT;10; 17999.5; 0;0;0",
                                     "@PO=ABC123;12;2;BUY ;MKT;5; 131.26; 0;0;0", "@CO=ABC123;5;SRV00005"}));
    EXPECT_TRUE(f.app.protocol.contains("Glatt: WPFDAXGegenorder -10Kontrakte"));
    EXPECT_TRUE(f.app.protocol.contains("Glatt: WPFGBLGegenorder  5Kontrakte"));
    EXPECT_EQ(f.s.book.DefaultWP, 3);
    EXPECT_EQ(f.s.settings.safetyQuestion, 1);
    EXPECT_EQ(f.app.orderEntry.quantityText(), " 1");
}

// "GLATT" sends what the user confirmed. Positions that change while the question is open
// (an "@SUD" arriving meanwhile) make it ask again with the new orders; a "No" then sends
// nothing. A refused cancel of an order that has already ended, as "CANCEL Alle" after
// "GLATT" meets it, is told in the message line without a box.
TEST(Closing, GlattSendsWhatWasConfirmedAndAsksAgainWhenPositionsChanged)
{
    ClosingFixture f;
    f.positions({{1, 10}});
    int asked = 0;
    f.prompts.whileAsking = [&] {
        if (++asked == 1)
            f.positions({{1, 20}, {2, -5}});
    };
    f.prompts.yesAnswer = true;
    f.closing.Command11_Click();
    ASSERT_EQ(f.prompts.questions.size(), 2);
    EXPECT_TRUE(f.prompts.questions[0].contains("VERKAUF 10 FDAX MKT"));
    EXPECT_TRUE(f.prompts.questions[1].startsWith(QStringLiteral("Die Positionen haben sich ge\u00e4ndert")));
    EXPECT_TRUE(f.prompts.questions[1].contains("VERKAUF 20 FDAX MKT"));
    EXPECT_EQ(f.sent(), (QStringList{"@PO=ABC123;11;1;SEL ;MKT;20; 17999.5; 0;0;0",
                                     "@PO=ABC123;12;2;BUY ;MKT;5; 131.26; 0;0;0"}));

    // Changed again, and this time the answer is No: nothing at all is sent.
    asked = 0;
    f.prompts.whileAsking = [&] {
        if (++asked == 1)
            f.positions({{1, 30}});
        else
            f.prompts.yesAnswer = false;
    };
    f.closing.Command11_Click();
    EXPECT_EQ(f.prompts.questions.size(), 4);
    EXPECT_EQ(f.sent().size(), 2);

    const int boxes = f.popups;
    f.app.dispatcher.dispatch(QByteArray("@CR=Order bereits gestrichen (Order 6)"));
    f.app.dispatcher.dispatch(QByteArray("@CR=Order bereits ausgef\xfchrt (Order 7)"));
    EXPECT_EQ(f.popups, boxes);
    EXPECT_TRUE(f.app.messages.messageLine().endsWith(QString::fromLatin1("Cancel Rejected Order bereits ausgef\xfchrt (Order 7)")));
    f.app.dispatcher.dispatch("@CR=Order unbekannt (Order 8)");
    EXPECT_EQ(f.popups, boxes + 1);
}

TEST(ClosingEndToEnd, TurnAndGlattAgainstTheServer)
{
    KORVI_NEEDS_SERVER();
    LiveSession live;
    ClientFixture& c = live.client;
    ASSERT_TRUE(live.start({"--seed", "11"}));
    State& s = c.app.state;
    ASSERT_TRUE(waitFor([&] { return s.PositionsReceived; }, 10000));
    s.settings.safetyQuestion = 0;
    auto held = [&](int wp) {
        const PositionRecord* p = s.positionOf(wp);
        return p ? p->Bestand : 0;
    };
    auto buy = [&](int wp, int quantity) {
        c.app.orderEntry.mouseDown(false, c.app.orderEntry.instrumentRow(wp),
                                   c.app.orderGrid.gridColumn(InstrumentLineType, C_DEFAULT));
        c.app.orderEntry.setQuantityText(QString::number(quantity));
        c.app.placing.Command8_Click(0);
    };

    // Instruments with a small margin, so the account covers the orders.
    auto byTicker = [&](const QByteArray& ticker) {
        for (int n = 1; n <= s.InstrumentCount; ++n)
            if (s.Instruments[n].Ticker == ticker)
                return n;
        return 0;
    };
    const int dax = byTicker("DAX"), oil = byTicker("CL"), bund = byTicker("FGBL");
    ASSERT_TRUE(dax && oil && bund);

    buy(dax, 20);
    ASSERT_TRUE(waitFor([&] { return held(dax) == 20; }, 10000)) << held(dax);
    c.app.closing.m_drehposition_Click(c.app.orderEntry.instrumentRow(dax));
    ASSERT_TRUE(waitFor([&] { return held(dax) == -20; }, 10000)) << held(dax);

    buy(oil, 5);
    ASSERT_TRUE(waitFor([&] { return held(oil) == 5; }, 10000)) << held(oil);
    // An open limit order far from the market, so that it stays open.
    const int row = c.app.orderEntry.instrumentRow(bund);
    c.app.orderEntry.mouseDown(false, row, c.app.orderGrid.gridColumn(InstrumentLineType, C_Bid));
    OrderRecord& line = s.book.LeerOrders[s.book.OGRowMap[row + 2].Item];
    line.Typ = "LMT";
    line.Limit1 = s.instrument(bund)->Bid * 1.5f;
    c.app.orderEntry.mouseDown(false, row + 2, c.app.orderGrid.gridColumn(OrderLineType, O_TRANS));
    ASSERT_TRUE(waitFor([&] {
        for (int o = 1; o <= s.book.orders.count(); ++o)
            if (s.book.orders[o].WPIndex == bund && s.book.orders[o].Status == Submitted)
                return true;
        return false;
    }, 10000));

    c.app.closing.Command11_Click();
    EXPECT_TRUE(waitFor([&] { return held(dax) == 0 && held(oil) == 0; }, 10000)) << held(dax) << " " << held(oil);
    EXPECT_TRUE(waitFor([&] {
        for (int o = 1; o <= s.book.orders.count(); ++o)
            if (s.book.orders[o].Status >= PendSubm && s.book.orders[o].Status <= Submitted)
                return false;
        return true;
    }, 10000));
    EXPECT_EQ(c.app.orderEntry.quantityText(), " 1");
}
