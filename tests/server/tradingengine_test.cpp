// The trading engine without sockets: matching of each order type and side, partial
// fills, brackets, positions and results, bad requests, statements and restarts.
#include "fields.h"
#include "numbers.h"
#include "orderrequest.h"
#include "participantstore.h"
#include "tradestore.h"
#include "tradingengine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace korvi::server;

namespace {

// Records what the engine says, per participant.
class Recorder : public TradeOutbox {
public:
    void toParticipant(qint64 participant, QByteArray message) override { m_sent.emplace_back(participant, message); }

    // Messages of one participant since the last take, optionally only those with `prefix`.
    std::vector<QByteArray> take(qint64 participant, QByteArrayView prefix = {})
    {
        std::vector<QByteArray> out;
        for (const auto& [p, m] : m_sent) {
            if (p == participant && m.startsWith(prefix))
                out.push_back(m);
        }
        m_sent.clear();
        return out;
    }

private:
    std::vector<std::pair<qint64, QByteArray>> m_sent;
};

// The fields of a message after its "=".
std::vector<QByteArray> fieldsOf(const QByteArray& message)
{
    korvi::Fields f;
    const int n = f.split(QByteArrayView(message).sliced(message.indexOf('=') + 1), 100, ';');
    std::vector<QByteArray> out;
    for (int i = 1; i <= n; ++i)
        out.push_back(f[i].toByteArray());
    return out;
}

double num(const QByteArray& text) { return korvi::readNumber(text); }

std::vector<InstrumentSpec> testSpecs()
{
    InstrumentSpec a;
    a.ticker = "AAA";
    a.code = "AAA.X";
    a.currency = "EUR";
    a.name = "Alpha";
    a.factor = 10;
    a.margin = 1000;
    a.startPrice = 100;
    a.tickSize = 0.5;
    a.commission = 2;
    InstrumentSpec b = a;
    b.ticker = "BBB";
    b.code = "BBB.X";
    b.factor = 1;
    b.margin = 50;
    b.commission = 0;
    return {a, b};
}

PriceState quote(double last, double bid, double ask, qint32 bidSize = 50, qint32 askSize = 50)
{
    return PriceState{last, bid, ask, bidSize, askSize};
}

Participant participant(qint64 id, QByteArray name, QByteArray shortId)
{
    Participant p;
    p.id = id;
    p.name = std::move(name);
    p.shortId = std::move(shortId);
    p.baseValue = 100000;
    p.accountStart = "20240920";
    return p;
}

QByteArray po(qint32 id, int instrument, QByteArrayView side, QByteArrayView type, qint32 qty, double limit = 0,
              int role = 0, qint32 parent = 0, QByteArrayView shortId = "U00001")
{
    return shortId.toByteArray() + ';' + korvi::stri(id) + ';' + korvi::stri(instrument) + ';' + side.toByteArray()
           + ' ' + ';' + type.toByteArray() + ';' + korvi::stri(qty) + ';' + korvi::writeSingle(static_cast<float>(limit))
           + "; 0;" + korvi::stri(role) + ';' + korvi::stri(parent);
}

class EngineTest : public ::testing::Test {
protected:
    static constexpr qint64 Ann = 1;
    static constexpr qint64 Bob = 2;

    void SetUp() override
    {
        m_now = QDateTime(QDate(2024, 9, 20), QTime(10, 0, 0));
        makeEngine({});
    }

    void makeEngine(EngineOptions options, TradeStore* store = nullptr)
    {
        // A second passes between two orders unless a test drives the clock itself.
        if (!options.steadyClock)
            options.steadyClock = [this] { return m_steadyMs += 1000; };
        m_engine = std::make_unique<TradingEngine>(testSpecs(), std::vector<PriceState>{quote(100, 99.5, 100.5), quote(50, 49.5, 50.5)},
                                                   store, m_out, options, [this] { return m_now; });
        QString error;
        ASSERT_TRUE(m_engine->restore({participant(Ann, "ann", "U00001"), participant(Bob, "bob", "U00002")}, error))
            << error.toStdString();
        m_out.take(Ann);
    }

    void place(const QByteArray& body, qint64 who = Ann) { m_engine->placeOrder(who, body); }

    Recorder m_out;
    QDateTime m_now;
    qint64 m_steadyMs = 0;
    std::unique_ptr<TradingEngine> m_engine;
};

TEST_F(EngineTest, MarketOrderIsAcceptedAndFillsAtOnceAtTheAskUpToTheQuotedSize)
{
    m_engine->onQuote(0, quote(100, 99.5, 100.5, 50, 5));
    place(po(7, 1, "BUY", "MKT", 8));
    const std::vector<QByteArray> msgs = m_out.take(Ann);
    ASSERT_GE(msgs.size(), 5u);
    // "@OO": all 21 fields, the client's number, the server's 8-character id, pending.
    const auto oo = fieldsOf(msgs[0]);
    ASSERT_TRUE(msgs[0].startsWith("@OO="));
    ASSERT_EQ(oo.size(), 21u);
    EXPECT_EQ(oo[0], "7");
    EXPECT_EQ(oo[1].size(), 8);
    EXPECT_EQ(oo[3], "BUY");
    EXPECT_EQ(oo[4], "8");
    EXPECT_EQ(oo[5], "MKT");
    EXPECT_EQ(oo[8], "1");
    EXPECT_EQ(oo[12], "100000");
    EXPECT_EQ(oo[15], "1");
    EXPECT_TRUE(msgs[1].startsWith("@OS=7;" + oo[1] + ";4;"));
    // Only five are quoted: a partial fill, the rest keeps working.
    const auto ex = fieldsOf(msgs[2]);
    ASSERT_TRUE(msgs[2].startsWith("@EX="));
    ASSERT_EQ(ex.size(), 13u);
    EXPECT_EQ(ex[1], oo[1]);
    EXPECT_EQ(ex[3], "1");
    EXPECT_EQ(ex[7], "BUY");
    EXPECT_EQ(ex[8], "5");
    EXPECT_DOUBLE_EQ(num(ex[9]), 100.5);
    EXPECT_DOUBLE_EQ(num(ex[10]), 5 * 100.5 * 10);
    EXPECT_DOUBLE_EQ(num(ex[11]), 10); // 2 per piece
    const auto os = fieldsOf(msgs[3]);
    EXPECT_EQ(os[2], "4");
    EXPECT_EQ(os[4], "5");
    EXPECT_EQ(os[5], "3");
    EXPECT_TRUE(msgs[4].startsWith("@SUD="));

    m_engine->onQuote(0, quote(101, 100.5, 101, 50, 10));
    const std::vector<QByteArray> rest = m_out.take(Ann, "@OS=");
    ASSERT_EQ(rest.size(), 1u);
    const auto done = fieldsOf(rest[0]);
    EXPECT_EQ(done[2], "6");
    EXPECT_EQ(done[4], "8");
    EXPECT_EQ(done[5], "0");
    EXPECT_NEAR(num(done[6]), (5 * 100.5 + 3 * 101) / 8, 1e-3);
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 8);
    EXPECT_DOUBLE_EQ(m_engine->position(Ann, 0).cost, (5 * 100.5 + 3 * 101) * 10);
    EXPECT_EQ(m_engine->figures(Ann).lastOrderId, 7);
}

TEST_F(EngineTest, SellMarketFillsAtTheBid)
{
    place(po(1, 2, "SEL", "MKT", 3));
    const auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 49.5);
    EXPECT_EQ(fieldsOf(ex[0])[7], "SEL");
    EXPECT_EQ(m_engine->position(Ann, 1).quantity, -3);
}

TEST_F(EngineTest, LimitOrdersFillWhenTheMarketReachesTheLimitAtTheQuotedPrice)
{
    place(po(1, 1, "BUY", "LMT", 2, 99));
    place(po(2, 1, "SEL", "LMT", 2, 101));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty()) << "neither limit is reached yet";
    m_engine->onQuote(0, quote(99.5, 99, 99.5));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty()) << "ask 99.5 is above the buy limit";
    m_engine->onQuote(0, quote(99, 98.5, 99));
    auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[7], "BUY");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 99);
    // A bid above the sell limit fills at the better bid.
    m_engine->onQuote(0, quote(101.5, 101.5, 102));
    ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[7], "SEL");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 101.5);
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    // A marketable limit fills on placement.
    place(po(3, 1, "BUY", "LMT", 1, 105));
    EXPECT_EQ(m_out.take(Ann, "@EX=").size(), 1u);
}

TEST_F(EngineTest, StopOrdersTriggerOnTheLastPriceAndFillAsMarket)
{
    place(po(1, 1, "BUY", "STP", 1, 102));
    place(po(2, 1, "SEL", "STP", 1, 98));
    m_engine->onQuote(0, quote(101.5, 101, 102.5));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty()) << "an ask above the stop does not trigger; the last price does";
    m_engine->onQuote(0, quote(102, 101.5, 102.5));
    auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[7], "BUY");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 102.5);
    m_engine->onQuote(0, quote(98, 97.5, 98.5));
    ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[7], "SEL");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 97.5);
}

TEST_F(EngineTest, TriggeredStopWithoutQuotedSizeFillsLaterEvenWhenThePriceReturns)
{
    place(po(1, 1, "SEL", "STP", 2, 98));
    m_engine->onQuote(0, quote(98, 97.5, 98.5, 1, 5));
    EXPECT_EQ(m_out.take(Ann, "@EX=").size(), 1u);
    m_engine->onQuote(0, quote(99, 98.5, 99.5, 3, 5));
    const auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u) << "once triggered the stop is a market order";
    EXPECT_EQ(fieldsOf(ex[0])[8], "1");
}

TEST_F(EngineTest, MarketOnCloseFillsAtTheCloseAndOpenOrdersEnd)
{
    place(po(1, 1, "BUY", "MOC", 4));
    place(po(2, 1, "BUY", "LMT", 1, 90));
    m_engine->onQuote(0, quote(103, 102.5, 103.5, 1, 1));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty());
    const qint32 day = m_engine->tradingDay();
    m_engine->dailyClose();
    const auto msgs = m_out.take(Ann);
    std::vector<QByteArray> ex, os;
    for (const QByteArray& m : msgs) {
        if (m.startsWith("@EX="))
            ex.push_back(m);
        if (m.startsWith("@OS="))
            os.push_back(m);
    }
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[8], "4") << "in full, whatever the quoted size";
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 103);
    ASSERT_EQ(os.size(), 2u);
    EXPECT_TRUE(os[1].startsWith("@OS=2;")) << os[1].toStdString();
    EXPECT_EQ(fieldsOf(os[1])[2], "5");
    EXPECT_EQ(m_engine->tradingDay(), day + 1);
    // The day is booked: the result (commission 8) went into the base value, the
    // position's cost is its value at the close.
    const auto f = m_engine->figures(Ann);
    EXPECT_DOUBLE_EQ(f.baseValue, 100000 - 8);
    EXPECT_DOUBLE_EQ(f.todayResult, 0);
    EXPECT_DOUBLE_EQ(m_engine->position(Ann, 0).cost, 4 * 103 * 10);
}

TEST_F(EngineTest, PositionsResultsAndProfitFollowASequenceOfFills)
{
    place(po(1, 1, "BUY", "MKT", 2));                // 2 at 100.5
    m_engine->onQuote(0, quote(101.5, 101.5, 102));
    place(po(2, 1, "SEL", "MKT", 3));                // closes 2 at 101.5, opens 1 short
    const auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 2u);
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[12]), 0);
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[1])[12]), 2 * (101.5 - 100.5) * 10);
    Position p = m_engine->position(Ann, 0);
    EXPECT_EQ(p.quantity, -1);
    EXPECT_DOUBLE_EQ(p.cost, -1015);
    m_engine->onQuote(0, quote(100, 99.5, 100.5));
    // Realised 20, commissions 5 x 2, short one piece from 101.5 to 100: +15.
    auto f = m_engine->figures(Ann);
    EXPECT_DOUBLE_EQ(f.todayResult, 20 - 10 + 15);
    EXPECT_DOUBLE_EQ(f.totalMargin, 1000);
    // "@SUD": result; base; then quantity, margin, cost, value, instrument.
    const auto sud = fieldsOf(m_engine->positionsMessage(Ann));
    ASSERT_EQ(sud.size(), 7u);
    EXPECT_DOUBLE_EQ(num(sud[0]), 25);
    EXPECT_DOUBLE_EQ(num(sud[1]), 100000);
    EXPECT_EQ(sud[2], "-1");
    EXPECT_DOUBLE_EQ(num(sud[3]), 1000);
    EXPECT_DOUBLE_EQ(num(sud[4]), -1015);
    EXPECT_DOUBLE_EQ(num(sud[5]), -1000);
    EXPECT_EQ(sud[6], "1");
    place(po(3, 1, "BUY", "MKT", 1));
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    EXPECT_DOUBLE_EQ(m_engine->position(Ann, 0).cost, 0);
    EXPECT_EQ(fieldsOf(m_engine->positionsMessage(Ann)).size(), 2u) << "no position, no position fields";
}

TEST_F(EngineTest, BracketExitsWaitForTheMainThenOneCancelsTheOther)
{
    place(po(10, 1, "BUY", "LMT", 2, 99, role::Main));
    place(po(11, 1, "SEL", "LMT", 2, -1, role::TakeProfit, 10));
    place(po(12, 1, "SEL", "STP", 2, -2, role::StopLoss, 10));
    auto os = m_out.take(Ann, "@OS=");
    ASSERT_EQ(os.size(), 3u);
    EXPECT_EQ(fieldsOf(os[1])[2], "3") << "exit waits";
    EXPECT_EQ(fieldsOf(os[1])[8], "0");
    const QByteArray mainId = fieldsOf(os[0])[1];
    EXPECT_EQ(fieldsOf(os[1])[7], mainId);
    EXPECT_FALSE(m_engine->findOrder(Ann, 11)->active);

    // The main fills at 99; the exits are activated with prices from their distances.
    m_engine->onQuote(0, quote(99, 98.5, 99));
    os = m_out.take(Ann, "@OS=");
    ASSERT_EQ(os.size(), 3u);
    EXPECT_EQ(fieldsOf(os[0])[2], "6");
    const auto tp = fieldsOf(os[1]);
    EXPECT_EQ(tp[0], "11");
    EXPECT_EQ(tp[2], "4");
    EXPECT_EQ(tp[8], "1");
    EXPECT_DOUBLE_EQ(num(tp[9]), 100);
    EXPECT_DOUBLE_EQ(num(fieldsOf(os[2])[9]), 97);

    // The take-profit fills one piece; the stop-loss shrinks with it, then the second
    // piece ends the bracket.
    m_engine->onQuote(0, quote(100, 100, 100.5, 1, 5));
    os = m_out.take(Ann, "@OS=");
    ASSERT_EQ(os.size(), 2u);
    EXPECT_EQ(fieldsOf(os[1])[0], "12");
    EXPECT_EQ(fieldsOf(os[1])[5], "1");
    m_engine->onQuote(0, quote(100.5, 100.5, 101, 5, 5));
    os = m_out.take(Ann, "@OS=");
    ASSERT_EQ(os.size(), 2u);
    EXPECT_EQ(fieldsOf(os[0])[2], "6");
    EXPECT_EQ(fieldsOf(os[1])[0], "12");
    EXPECT_EQ(fieldsOf(os[1])[2], "5");
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    // The stop-loss never fires afterwards.
    m_engine->onQuote(0, quote(90, 89.5, 90.5));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty());
}

TEST_F(EngineTest, ExitsOfAFilledMainActivateAtOnceAndNeverOpenANewPosition)
{
    place(po(1, 1, "SEL", "MKT", 3));
    m_engine->makeBracketMain(Ann, "U00001;1;" + m_engine->findOrder(Ann, 1)->orderId);
    EXPECT_EQ(m_engine->findOrder(Ann, 1)->role, role::Main);
    place(po(2, 1, "BUY", "STP", 3, -1, role::StopLoss, 1));
    place(po(3, 1, "BUY", "MOC", 3, -1, role::OnClose, 1));
    EXPECT_TRUE(m_engine->findOrder(Ann, 2)->active);
    EXPECT_DOUBLE_EQ(m_engine->findOrder(Ann, 2)->limit1, 100.5) << "sold at 99.5, stop one point above";
    // The participant closes the position by hand: the exits have nothing left to close.
    place(po(4, 1, "BUY", "MKT", 3));
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    m_engine->onQuote(0, quote(101, 100.5, 101.5));
    EXPECT_EQ(m_engine->findOrder(Ann, 2)->status, status::Cancelled);
    m_engine->dailyClose();
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0) << "the market-on-close exit opened nothing";
}

// The exits of a group close together at most what the main filled, whichever exit
// arrives or fills first: a late exit of a closed group is refused, never left working to
// close a later, unrelated position.
TEST_F(EngineTest, ALateExitOfAClosedGroupIsRefusedInEitherArrivalOrder)
{
    struct Case {
        const char* name;
        QByteArray first;  // fills on arrival and closes the group
        QByteArray second; // arrives after that
        PriceState closeQuote;
    };
    const std::vector<Case> cases = {
        {"stop-loss first", po(2, 1, "SEL", "STP", 1, 99, role::StopLoss, 1), po(3, 1, "SEL", "LMT", 1, 101, role::TakeProfit, 1),
         quote(98, 98, 98.5)},
        {"take-profit first", po(2, 1, "SEL", "LMT", 1, 101, role::TakeProfit, 1), po(3, 1, "SEL", "STP", 1, 99, role::StopLoss, 1),
         quote(101.5, 101.5, 102)},
        {"market-on-close after a stop", po(2, 1, "SEL", "STP", 1, 99, role::StopLoss, 1), po(3, 1, "SEL", "MOC", 1, 99, role::OnClose, 1),
         quote(98, 98, 98.5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        makeEngine({});
        place(po(1, 1, "BUY", "MKT", 1));
        m_engine->makeBracketMain(Ann, "U00001;1;" + m_engine->findOrder(Ann, 1)->orderId);
        m_engine->onQuote(0, c.closeQuote);
        place(c.first);
        ASSERT_EQ(m_engine->findOrder(Ann, 2)->status, status::Filled);
        m_out.take(Ann);
        place(c.second);
        const auto msgs = m_out.take(Ann);
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_TRUE(msgs[0].startsWith("@OR=" + reason::GroupClosed.toByteArray() + " (Order 3)")) << msgs[0].toStdString();
        // A new, unrelated long is never sold by the refused exit.
        place(po(4, 1, "BUY", "MKT", 1));
        m_engine->onQuote(0, quote(110, 110, 110.5));
        m_engine->onQuote(0, quote(90, 89.5, 90));
        m_engine->dailyClose();
        EXPECT_EQ(m_engine->position(Ann, 0).quantity, 1);
    }
}

TEST_F(EngineTest, ExitsOfOneGroupTogetherNeverCloseMoreThanTheMainFilled)
{
    // Main of 4 fills 3 and is cancelled; the exits protect 3 and share them: the
    // take-profit closes 2, the stop-loss then only 1, even though the participant holds
    // more from a plain order.
    place(po(2, 1, "BUY", "MKT", 5));
    m_engine->onQuote(0, quote(100, 99.5, 100.5, 50, 3));
    place(po(1, 1, "BUY", "LMT", 4, 100.5, role::Main));
    ASSERT_EQ(m_engine->findOrder(Ann, 1)->filled, 3);
    m_engine->cancelOrder(Ann, "U00001;1;" + m_engine->findOrder(Ann, 1)->orderId);
    place(po(3, 1, "SEL", "LMT", 4, 102, role::TakeProfit, 1));
    EXPECT_EQ(m_engine->findOrder(Ann, 3)->remaining, 3);
    m_engine->onQuote(0, quote(102, 102, 102.5, 2, 50));
    EXPECT_EQ(m_engine->findOrder(Ann, 3)->filled, 2);
    place(po(4, 1, "SEL", "STP", 4, 99, role::StopLoss, 1));
    EXPECT_EQ(m_engine->findOrder(Ann, 4)->remaining, 1) << "what the take-profit already closed is not closed twice";
    m_engine->onQuote(0, quote(98, 98, 98.5));
    EXPECT_EQ(m_engine->findOrder(Ann, 4)->filled, 1);
    EXPECT_EQ(m_engine->findOrder(Ann, 3)->status, status::Cancelled);
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 5) << "the plain order's pieces stay";
    // An exit larger than its main is refused.
    place(po(5, 1, "BUY", "LMT", 1, 90, role::Main));
    place(po(6, 1, "SEL", "LMT", 2, 95, role::TakeProfit, 5));
    EXPECT_TRUE(m_out.take(Ann, "@OR=").at(0).startsWith("@OR=" + reason::ExitTooLarge.toByteArray()));
}

TEST_F(EngineTest, CancellingAnUnfilledMainCancelsItsExits)
{
    place(po(1, 1, "BUY", "LMT", 1, 90, role::Main));
    place(po(2, 1, "SEL", "LMT", 1, -5, role::TakeProfit, 1));
    const QByteArray id = m_engine->findOrder(Ann, 1)->orderId;
    m_out.take(Ann);
    m_engine->cancelOrder(Ann, "U00001;1;" + id);
    const auto os = m_out.take(Ann, "@OS=");
    ASSERT_EQ(os.size(), 2u);
    EXPECT_EQ(fieldsOf(os[0])[2], "5");
    EXPECT_EQ(fieldsOf(os[1])[0], "2");
    EXPECT_EQ(fieldsOf(os[1])[2], "5");
}

TEST_F(EngineTest, BadOrdersAreRefusedWithAReasonAndChangeNothing)
{
    place(po(1, 1, "BUY", "LMT", 1, 90));
    m_out.take(Ann);
    const std::vector<std::pair<QByteArray, QByteArrayView>> cases = {
        {"U00001;2;1;BUY ;MKT", reason::Incomplete},
        {"", reason::Incomplete},
        {po(2, 1, "BUY", "MKT", 0), reason::QuantityBelowOne},
        {po(2, 1, "BUY", "MKT", -5), reason::QuantityBelowOne},
        {"U00001;2;1;BUY ;MKT;1000000001; 0; 0;0;0", reason::QuantityTooLarge},
        {"U00001;2;1;BUY ;MKT;99999999999999; 0; 0;0;0", reason::QuantityTooLarge},
        {"U00001;2;1;BUY ;MKT;1.5; 0; 0;0;0", reason::QuantityNotWhole},
        {"U00001;2;1;BUY ;LMT;1; nan; 0;0;0", "Limit 1 keine Zahl"},
        {"U00001;2;1;BUY ;LMT;1; 1e30; 0;0;0", reason::BadLimit},
        {po(2, 1, "BUY", "LMT", 1, 0), reason::LimitMissing},
        {po(2, 1, "BUY", "STP", 1, -3), reason::LimitMissing},
        {po(2, 0, "BUY", "MKT", 1), reason::UnknownInstrument},
        {po(2, 3, "BUY", "MKT", 1), reason::UnknownInstrument},
        {po(2, 1, "BYE", "MKT", 1), reason::UnknownSide},
        {po(2, 1, "BUY", "XYZ", 1), reason::UnknownType},
        {po(2, 1, "BUY", "MKT", 1, 0, 0, 0, "U00002"), reason::WrongParticipant},
        {po(1, 1, "BUY", "MKT", 1), reason::DuplicateOrderNumber},
        {po(0, 1, "BUY", "MKT", 1), reason::BadOrderNumber},
        {po(2, 1, "SEL", "LMT", 1, -1, role::TakeProfit, 77), reason::ParentUnknown},
        {po(2, 1, "BUY", "LMT", 1, -1, role::TakeProfit, 1), reason::ParentMismatch},
        {po(2, 1, "BUY", "MKT", 1, 0, 9), reason::BadRole},
        {po(2, 1, "BUY", "MKT", 200), reason::MarginNotCovered},
        // Every number in the protocol's form, or refused with the field's name.
        {"U00001;2;1;BUY ;LMT;1; 1,5; 0;0;0", "Limit 1 keine Zahl"},
        {"U00001;2;1;BUY ;LMT;1; 100; 0x1;0;0", "Limit 2 keine Zahl"},
        {"U00001;2;1;BUY ;LMT;1; 1e; 0;0;0", "Limit 1 keine Zahl"},
        {"U00001;2,5;1;BUY ;MKT;1; 0; 0;0;0", "Order-Nummer keine Zahl"},
        {"U00001;2;1x;BUY ;MKT;1; 0; 0;0;0", "Wertpapier keine Zahl"},
        {"U00001;2;1;BUY ;MKT;1,5; 0; 0;0;0", "St\xFC""ckzahl keine Zahl"},
        {"U00001;2;1;BUY ;MKT;- 1; 0; 0;0;0", "St\xFC""ckzahl keine Zahl"},
        {"U00001;2;1;BUY ;MKT;1; 0; 0;1.0.0;0", "Bracket-Rolle keine Zahl"},
        {"U00001;2;1;BUY ;MKT;1; 0; 0;0;--1", "Bracket-Hauptorder keine Zahl"},
        // Prices the instrument (tick 0.5) can trade at: no denormals, nothing that
        // rounds to 0, also not as a bracket exit's distance.
        {"U00001;2;1;BUY ;LMT;1; 1e-320; 0;0;0", "Limit 1 kein handelbarer Preis"},
        {"U00001;2;1;BUY ;LMT;1; .2; 0;0;0", "Limit 1 kein handelbarer Preis"},
        {"U00001;2;1;BUY ;STP;1; 101; 4.9E-324;0;0", "Limit 2 kein handelbarer Preis"},
        {"U00001;2;1;SEL ;LMT;1;-1e-320; 0;3;1", "Limit 1 kein handelbarer Preis"},
        // Order numbers whose absolute value is an order number too.
        {"U00001;-2147483648;1;BUY ;MKT;1; 0; 0;0;0", reason::BadOrderNumber},
        {"U00001;2147483648;1;BUY ;MKT;1; 0; 0;0;0", reason::BadOrderNumber},
    };
    for (const auto& [body, why] : cases) {
        place(body);
        const auto msgs = m_out.take(Ann);
        ASSERT_EQ(msgs.size(), 1u) << body.toStdString();
        EXPECT_TRUE(msgs[0].startsWith("@OR=" + why.toByteArray())) << body.toStdString() << " -> " << msgs[0].toStdString();
    }
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    EXPECT_EQ(m_engine->figures(Ann).lastOrderId, 1);
    // The protocol's own forms pass: exponents, signs, blanks around, the outermost numbers.
    for (const QByteArray& body : {QByteArray("U00001;5;1;BUY ;LMT;1; 1E+02; 0;0;0"), QByteArray("U00001; +6 ;1;BUY ;LMT;1;95.; .5E1;0;0"),
                                   QByteArray("U00001;-2147483647;1;BUY ;LMT;1; 90.25; 0;0;0")}) {
        place(body);
        const auto msgs = m_out.take(Ann);
        ASSERT_FALSE(msgs.empty()) << body.toStdString();
        EXPECT_TRUE(msgs[0].startsWith("@OO=")) << body.toStdString() << " -> " << msgs[0].toStdString();
    }
    EXPECT_EQ(m_engine->figures(Ann).lastOrderId, 2147483647);
    for (qint32 id : {5, 6, -2147483647})
        m_engine->cancelOrder(Ann, "U00001;" + korvi::stri(id) + ';' + m_engine->findOrder(Ann, id)->orderId);
    m_out.take(Ann);
    // A position that uses the margin can still be closed.
    place(po(3, 1, "BUY", "MKT", 99));
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 50) << "fifty quoted, the rest works";
    place(po(4, 1, "SEL", "MKT", 50));
    EXPECT_EQ(m_out.take(Ann, "@OR=").size(), 0u);
}

// The order bucket of one participant with a clock the table drives: steps of (time in ms,
// trading day, verdict expected, whether the order is then accepted). Settings: 2 orders at
// once, 4 a second after that, 5 a day.
TEST(OrderAllowanceTest, BurstThenRateThenDayCap)
{
    using V = OrderAllowance::Verdict;
    const OrderLimitSettings limits{4, 2, 5};
    const struct {
        qint64 at;
        qint32 day;
        V verdict;
        bool accept;
    } steps[] = {
        {0, 1, V::Pass, true},
        {0, 1, V::Pass, true},
        {0, 1, V::TooFast, false},   // the burst is used up
        {100, 1, V::TooFast, false}, // 0.4 of an order has come back
        {250, 1, V::Pass, false},    // one whole order: a refused order still costs it
        {250, 1, V::TooFast, false},
        {10'000, 1, V::Pass, true},  // a long pause fills the bucket to its burst only
        {10'000, 1, V::Pass, true},
        {10'000, 1, V::TooFast, false},
        {9'000, 1, V::TooFast, false}, // a clock going back gives nothing back
        {20'000, 1, V::Pass, true},    // the fifth accepted order of the day
        {20'000, 1, V::DayFull, false},
        {90'000, 1, V::DayFull, false}, // however long it waits, until the next day
        {90'000, 2, V::Pass, true},
        {90'000, 2, V::Pass, true},
    };
    OrderAllowance allowance;
    for (const auto& s : steps) {
        EXPECT_EQ(allowance.request(limits, s.day, s.at), s.verdict) << "at " << s.at;
        if (s.accept)
            allowance.accepted(s.day);
    }
    EXPECT_EQ(allowance.acceptedToday(2), 2);
    EXPECT_EQ(allowance.acceptedToday(1), 0) << "an earlier day no longer counts";
}

// The engine asks the bucket for every order: a loop of place and cancel is refused in
// German once it goes beyond the rate, and for the rest of the day once it reaches the
// cap, which therefore bounds the orders the engine holds for one participant.
TEST_F(EngineTest, OrderRateAndDayCapAreRefusedInGerman)
{
    qint64 steady = 0;
    EngineOptions options;
    options.orderLimits = {10, 3, 6};
    options.steadyClock = [&steady] { return steady; };
    makeEngine(options);
    const auto placeAndCancel = [&](qint32 id) {
        place(po(id, 1, "BUY", "LMT", 1, 90));
        const auto msgs = m_out.take(Ann);
        if (msgs.empty() || !msgs[0].startsWith("@OO="))
            return msgs.empty() ? QByteArray("nothing") : msgs[0];
        m_engine->cancelOrder(Ann, "U00001;" + korvi::stri(id) + ';' + m_engine->findOrder(Ann, id)->orderId);
        m_out.take(Ann);
        return QByteArray("placed");
    };
    for (qint32 id = 1; id <= 3; ++id)
        EXPECT_EQ(placeAndCancel(id), "placed");
    EXPECT_EQ(placeAndCancel(4), "@OR=Zu viele Orders pro Sekunde (h\xF6""chstens 3 auf einmal, dann 10 pro Sekunde) (Order 4)");
    steady += 100;
    EXPECT_EQ(placeAndCancel(4), "placed");
    steady += 10'000;
    EXPECT_EQ(placeAndCancel(5), "placed");
    EXPECT_EQ(placeAndCancel(6), "placed");
    EXPECT_EQ(placeAndCancel(7), "@OR=Zu viele Orders heute (h\xF6""chstens 6) (Order 7)");
    EXPECT_EQ(m_engine->findOrder(Ann, 7), nullptr);
    place(po(1, 1, "BUY", "LMT", 1, 90, 0, 0, "U00002"), Bob);
    EXPECT_EQ(m_out.take(Bob, "@OO=").size(), 1u) << "another participant has an allowance of its own";
    m_engine->dailyClose();
    m_out.take(Ann);
    m_now = m_now.addDays(1);
    steady += 10'000;
    EXPECT_EQ(placeAndCancel(8), "placed") << "a new day, a new allowance";
}

TEST_F(EngineTest, CancelsAreCheckedAndNobodyTouchesAnothersOrders)
{
    place(po(1, 1, "BUY", "LMT", 1, 90));
    place(po(2, 1, "BUY", "MKT", 1));
    const QByteArray open = m_engine->findOrder(Ann, 1)->orderId;
    const QByteArray filled = m_engine->findOrder(Ann, 2)->orderId;
    m_out.take(Ann);
    const auto refused = [&](qint64 who, const QByteArray& body, QByteArrayView why) {
        m_engine->cancelOrder(who, body);
        const auto msgs = m_out.take(who);
        ASSERT_EQ(msgs.size(), 1u) << body.toStdString();
        EXPECT_TRUE(msgs[0].startsWith("@CR=" + why.toByteArray())) << msgs[0].toStdString();
    };
    refused(Bob, "U00002;1;" + open, reason::OrderUnknown);
    refused(Bob, "U00001;1;" + open, reason::WrongParticipant);
    refused(Ann, "U00001;2;" + filled, reason::OrderFilled);
    refused(Ann, "U00001;5;OZZZZZZZ", reason::OrderUnknown);
    refused(Ann, "U00001", reason::Incomplete);
    place(po(1, 1, "SEL", "MKT", 1), Bob);
    EXPECT_EQ(m_out.take(Bob, "@OR=").size(), 1u) << "Bob's orders need his own short id";
    place(po(1, 1, "SEL", "MKT", 1, 0, 0, 0, "U00002"), Bob);
    EXPECT_EQ(m_out.take(Ann).size(), 0u) << "Ann hears nothing of Bob's orders";
    m_engine->cancelOrder(Ann, "U00001;1;" + open);
    EXPECT_EQ(fieldsOf(m_out.take(Ann, "@OS=").at(0))[2], "5");
    refused(Ann, "U00001;1;" + open, reason::OrderCancelled);
}

TEST_F(EngineTest, RankingsPlaceTradersAndLeaveOthersWithoutAPlace)
{
    m_engine->onQuote(0, quote(100, 100, 100.5));
    place(po(1, 1, "BUY", "MKT", 1));
    m_engine->onQuote(0, quote(110, 110, 110.5));
    m_engine->updateRankings();
    EXPECT_EQ(m_engine->figures(Ann).totalPlace, 1);
    EXPECT_EQ(m_engine->figures(Ann).dayPlace, 1);
    EXPECT_EQ(m_engine->figures(Bob).totalPlace, 0);
    place(po(1, 1, "BUY", "MKT", 1, 0, 0, 0, "U00002"), Bob);
    m_out.take(Bob);
    m_engine->updateRankings();
    EXPECT_EQ(m_engine->figures(Bob).totalPlace, 2) << "bought at the top";
    const auto sup = m_out.take(Bob, "@SUP=");
    ASSERT_EQ(sup.size(), 1u);
    EXPECT_TRUE(sup[0].startsWith("@SUP=2;2;"));
    EXPECT_EQ(fieldsOf(m_engine->placeInfoMessage(Bob))[0], "2 von 2");
}

TEST_F(EngineTest, OpenOrdersAreCappedPerParticipantExitsIncluded)
{
    makeEngine({.maxOpenOrders = 3});
    place(po(1, 1, "BUY", "LMT", 1, 90, role::Main));
    place(po(2, 1, "SEL", "LMT", 1, 105));
    place(po(3, 1, "SEL", "STP", 1, -2, role::StopLoss, 1));
    m_out.take(Ann);
    place(po(4, 1, "BUY", "LMT", 1, 80));
    const auto refused = m_out.take(Ann);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0], "@OR=Zu viele offene Orders (h\xF6""chstens 3) (Order 4)");
    place(po(1, 1, "SEL", "MKT", 1, 0, 0, 0, "U00002"), Bob);
    EXPECT_TRUE(m_out.take(Bob, "@OR=").empty()) << "the cap is per participant";
    m_engine->cancelOrder(Ann, "U00001;2;" + m_engine->findOrder(Ann, 2)->orderId);
    place(po(5, 1, "BUY", "MKT", 1));
    EXPECT_TRUE(m_out.take(Ann, "@OR=").empty()) << "a finished order frees its place";
}

TEST_F(EngineTest, AnExitNeverBecomesAMain)
{
    place(po(1, 1, "BUY", "LMT", 1, 90, role::Main));
    place(po(2, 1, "SEL", "LMT", 1, 95, role::TakeProfit, 1));
    m_out.take(Ann);
    const Order* exit = m_engine->findOrder(Ann, 2);
    m_engine->makeBracketMain(Ann, "U00001;2;" + exit->orderId);
    EXPECT_TRUE(m_out.take(Ann).empty());
    EXPECT_EQ(exit->role, role::TakeProfit);
    EXPECT_EQ(exit->bracketOrderId, m_engine->findOrder(Ann, 1)->orderId);
    place(po(3, 1, "BUY", "STP", 1, 99, role::StopLoss, 2));
    EXPECT_TRUE(m_out.take(Ann, "@OR=").at(0).startsWith("@OR=" + reason::ParentMismatch.toByteArray()));
}

// Today's places and the winners' and losers' lines of the day, for results known to the
// cent; equal results place the earlier registered participant (the lower id) first.
TEST_F(EngineTest, RankingsOrderByResultThenByRegistrationAndNameTheDaysWinnersAndLosers)
{
    struct Trader {
        qint64 id;
        QByteArray name;
        QByteArrayView side;
        qint32 quantity;
    };
    struct Case {
        std::vector<Trader> traders;
        std::vector<qint16> dayPlaces; // in the order of `traders`
        QByteArray winners, losers;
        double last = 60;              // BBB's last price when the lists are made
    };
    // BBB is bought at 50.5 or sold at 49.5 and ends at `last` (60), without commission. A
    // result of exactly 0 is neither a win nor a loss.
    const std::vector<Case> cases = {
        {{{1, "ann", "BUY", 3}, {2, "bob", "BUY", 1}, {7, "cy", "SEL", 2}, {4, "dee", "SEL", 1}},
         {1, 2, 4, 3},
         "Gewinner: ann +28.5 bob +9.5",
         "Verlierer: cy -21 dee -10.5"},
        {{{7, "cy", "BUY", 1}, {2, "bob", "BUY", 1}, {4, "dee", "BUY", 1}, {1, "ann", "BUY", 1}},
         {4, 2, 3, 1},
         "Gewinner: ann +9.5 bob +9.5 dee +9.5",
         "Verlierer: -"},
        {{{4, "dee", "SEL", 1}}, {1}, "Gewinner: -", "Verlierer: dee -10.5"},
        {{{1, "ann", "BUY", 1}, {2, "bob", "SEL", 2}}, {1, 2}, "Gewinner: -", "Verlierer: bob -2", 50.5},
        {{{2, "bob", "SEL", 3}}, {1}, "Gewinner: -", "Verlierer: -", 49.5},
    };
    for (const Case& c : cases) {
        makeEngine({});
        m_engine->onQuote(1, quote(50, 49.5, 50.5));
        qint32 uid = 1;
        for (const Trader& t : c.traders) {
            Participant p = participant(t.id, t.name, "U0000" + korvi::stri(t.id));
            m_engine->addParticipant(p);
            place(po(uid++, 2, t.side, "MKT", t.quantity, 0, 0, 0, p.shortId), t.id);
        }
        m_engine->onQuote(1, quote(c.last, c.last - 0.5, c.last + 0.5));
        const std::vector<QByteArray> lines = m_engine->updateRankings();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], c.winners);
        EXPECT_EQ(lines[1], c.losers);
        for (size_t i = 0; i < c.traders.size(); ++i)
            EXPECT_EQ(m_engine->figures(c.traders[i].id).dayPlace, c.dayPlaces[i]) << c.traders[i].name.toStdString();
    }
}

class StoredEngineTest : public EngineTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QString error;
        m_participants.setHashIterations(kMinIterations);
        ASSERT_TRUE(m_participants.open(m_dir.path(), error)) << error.toStdString();
        ASSERT_TRUE(m_participants.addMany({{"demo", "demo"}, {"bob", "pw"}}, error)) << error.toStdString();
        m_now = QDateTime(QDate(2024, 9, 20), QTime(10, 0, 0));
        reopen({});
    }

    void reopen(EngineOptions options)
    {
        if (!options.steadyClock)
            options.steadyClock = [this] { return m_steadyMs += 1000; };
        m_engine.reset();
        m_store = std::make_unique<TradeStore>();
        QString error;
        ASSERT_TRUE(m_store->open(m_dir.path(), error)) << error.toStdString();
        m_engine = std::make_unique<TradingEngine>(testSpecs(), std::vector<PriceState>{quote(100, 99.5, 100.5), quote(50, 49.5, 50.5)},
                                                   m_store.get(), m_out, options, [this] { return m_now; });
        ASSERT_TRUE(m_engine->restore(m_participants.list(), error)) << error.toStdString();
        commit();
        m_out.take(Ann);
    }

    void commit()
    {
        QString error;
        ASSERT_TRUE(m_store->commit(error)) << error.toStdString();
    }

    QTemporaryDir m_dir;
    ParticipantStore m_participants;
    std::unique_ptr<TradeStore> m_store;
};

TEST_F(StoredEngineTest, RestartKeepsOrdersFillsPositionsAndFillsNothingTwice)
{
    place(po(1, 1, "BUY", "MKT", 2));
    place(po(2, 1, "BUY", "LMT", 1, 95));
    place(po(3, 1, "SEL", "LMT", 2, -2, role::TakeProfit, 1));
    commit();
    // Something not committed when the server dies is gone as a whole.
    place(po(4, 1, "BUY", "MKT", 1));
    reopen({});
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 2);
    EXPECT_EQ(m_engine->figures(Ann).lastOrderId, 3);
    EXPECT_EQ(m_engine->findOrder(Ann, 4), nullptr);
    const Order* open = m_engine->findOrder(Ann, 2);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->status, status::Submitted);
    EXPECT_TRUE(m_engine->findOrder(Ann, 3)->active);
    EXPECT_DOUBLE_EQ(m_engine->findOrder(Ann, 3)->limit1, 102.5);
    EXPECT_EQ(fieldsOf(m_engine->allOrdersMessage(Ann)).size(), 21u * 3 - 2) << "three records, joined by line feeds";
    EXPECT_TRUE(m_engine->allExecutionsMessage(Ann).contains(";E0000001;"));
    // The open limit fills once after the restart, and once only.
    m_engine->onQuote(0, quote(95, 94.5, 95));
    m_engine->onQuote(0, quote(95, 94.5, 95));
    EXPECT_EQ(m_out.take(Ann, "@EX=").size(), 1u);
    commit();
    reopen({});
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 3);
    m_engine->onQuote(0, quote(95, 94.5, 95));
    EXPECT_TRUE(m_out.take(Ann, "@EX=").empty());
    // A duplicate of a number used before the restart is still refused.
    place(po(2, 1, "BUY", "MKT", 1));
    EXPECT_EQ(m_out.take(Ann, "@OR=").size(), 1u);
}

// Today's orders still count after a restart: the cap cannot be reset by reconnecting a
// dying server.
TEST_F(StoredEngineTest, TheDayCapOutlivesARestart)
{
    EngineOptions options;
    options.orderLimits.perDay = 3;
    reopen(options);
    for (qint32 id = 1; id <= 2; ++id)
        place(po(id, 1, "BUY", "MKT", 1));
    commit();
    reopen(options);
    place(po(3, 1, "BUY", "MKT", 1));
    EXPECT_EQ(m_out.take(Ann, "@OO=").size(), 1u);
    place(po(4, 1, "BUY", "MKT", 1));
    const auto refused = m_out.take(Ann, "@OR=");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_TRUE(refused[0].startsWith("@OR=Zu viele Orders heute")) << refused[0].toStdString();
}

// A group's key is its main's server id: never given twice for the life of the game data,
// whatever restarts and closes come between, even when the client's numbers repeat.
TEST_F(StoredEngineTest, BracketKeysAreNeverReusedAcrossRestartsAndCloses)
{
    std::set<QByteArray> keys;
    for (int round = 0; round < 3; ++round) {
        place(po(1, 1, "BUY", "LMT", 1, 90, role::Main));
        place(po(2, 1, "SEL", "LMT", 1, -2, role::TakeProfit, 1));
        const Order* main = m_engine->findOrder(Ann, 1);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(m_engine->findOrder(Ann, 2)->bracketOrderId, main->orderId);
        EXPECT_TRUE(keys.insert(main->orderId).second) << "key " << main->orderId.toStdString() << " given twice";
        commit();
        reopen({});
        EXPECT_EQ(m_engine->findOrder(Ann, 2)->bracketOrderId, m_engine->findOrder(Ann, 1)->orderId);
        m_engine->dailyClose();
        m_now = m_now.addDays(1);
        commit();
        reopen({});
    }
}

TEST_F(StoredEngineTest, ShortPositionsSurviveARestartWithCostResultAndTheirStop)
{
    place(po(1, 1, "SEL", "MKT", 3));                              // AAA short 3 at the bid 99.5
    m_engine->makeBracketMain(Ann, "U00001;1;" + m_engine->findOrder(Ann, 1)->orderId);
    place(po(2, 1, "BUY", "STP", 3, -2, role::StopLoss, 1));       // stop two points above: 101.5
    place(po(3, 2, "SEL", "MKT", 1));                              // BBB short 1 at 49.5
    place(po(4, 2, "SEL", "MKT", 1, 0, 0, 0, "U00002"), Bob);      // someone else's short
    commit();
    const AccountFigures before = m_engine->figures(Ann);
    reopen({});
    const Position aaa = m_engine->position(Ann, 0);
    EXPECT_EQ(aaa.quantity, -3);
    EXPECT_DOUBLE_EQ(aaa.cost, -2985);
    EXPECT_EQ(m_engine->position(Ann, 1).quantity, -1);
    EXPECT_DOUBLE_EQ(m_engine->position(Ann, 1).cost, -49.5);
    EXPECT_EQ(m_engine->position(Bob, 1).quantity, -1);
    const AccountFigures after = m_engine->figures(Ann);
    EXPECT_DOUBLE_EQ(after.todayResult, before.todayResult);
    EXPECT_DOUBLE_EQ(after.totalMargin, 3 * 1000 + 50);
    // A falling market is a gain for the short: AAA from 99.5 to 98 is 3 x 1.5 x 10 = +45.
    m_engine->onQuote(0, quote(98, 97.5, 98.5));
    EXPECT_DOUBLE_EQ(m_engine->figures(Ann).todayResult, after.todayResult + 45 + 3 * (100 - 99.5) * 10);
    // The stop still guards it after the restart: rising through 101.5 buys all 3 back.
    const Order* stop = m_engine->findOrder(Ann, 2);
    ASSERT_NE(stop, nullptr);
    EXPECT_TRUE(stop->active);
    EXPECT_DOUBLE_EQ(stop->limit1, 101.5);
    m_engine->onQuote(0, quote(102, 101.5, 102));
    EXPECT_EQ(m_engine->position(Ann, 0).quantity, 0);
    const auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[8], "3");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[12]), (99.5 - 102) * 3 * 10) << "realised loss of the short";
}

TEST_F(StoredEngineTest, StatementsTellTheDayAndAMissedCloseIsBookedAtStart)
{
    const qint32 day = m_engine->tradingDay();
    place(po(1, 1, "BUY", "MKT", 2));
    m_engine->onQuote(0, quote(101, 100.5, 101.5));
    commit();
    const auto live = m_engine->statementLines(Ann, day);
    ASSERT_GE(live.size(), 3u);
    EXPECT_TRUE(live[0].startsWith("Kontoauszug U00001 (demo) vom 20.09.2024"));
    // The server is down over the close; the next start books it.
    m_now = m_now.addDays(1);
    reopen({});
    EXPECT_EQ(m_engine->tradingDay(), day + 1);
    commit();
    const auto lines = m_engine->statementLines(Ann, day);
    const auto has = [&](QByteArrayView text) {
        return std::any_of(lines.begin(), lines.end(), [&](const QByteArray& l) { return l.contains(text); });
    };
    EXPECT_TRUE(has("Orders: 1"));
    EXPECT_TRUE(has("BUY 2 AAA MKT Filled 2 zu 100.5"));
    EXPECT_TRUE(has("Ausf\xFChrungen: 1"));
    // The restarted market stands at 100 again: bought at 100.5, -10, commissions 4.
    EXPECT_TRUE(has("AAA 2 Kosten 2010 Wert 2000"));
    EXPECT_TRUE(has("Ergebnis des Tages: -14"));
    EXPECT_TRUE(has("Kontostand: 99986"));
    EXPECT_FALSE(has("Vorl\xE4ufig"));
    const auto quiet = m_engine->statementLines(Ann, day - 3);
    ASSERT_EQ(quiet.size(), 2u);
    EXPECT_EQ(quiet[1], "Keine Ums\xE4tze an diesem Tag");
    const QByteArray sd = m_engine->statementMessage(Ann, day);
    EXPECT_TRUE(sd.startsWith("@SD=FILE=U0000120240920K.TXT;Kontoauszug")) << sd.toStdString();
    EXPECT_FALSE(sd.contains('\n'));
}

TEST_F(EngineTest, InstantFillsFillLimitsAtTheirOwnPrice)
{
    makeEngine({.instantFills = true});
    place(po(1, 1, "BUY", "LMT", 100, 90));
    const auto ex = m_out.take(Ann, "@EX=");
    ASSERT_EQ(ex.size(), 1u);
    EXPECT_EQ(fieldsOf(ex[0])[8], "100");
    EXPECT_DOUBLE_EQ(num(fieldsOf(ex[0])[9]), 90);
}

} // namespace

TEST_F(EngineTest, BracketQueryReportsTheOrderAndFreesAMainWithoutExits)
{
    place(po(1, 1, "BUY", "MKT", 2));
    const QByteArray id = m_engine->findOrder(Ann, 1)->orderId;
    m_engine->makeBracketMain(Ann, "U00001;1;" + id);
    m_out.take(Ann);

    // The exits were dropped before any was sent: the order is plain again and reported so.
    m_engine->bracketQuery(Ann, "U00001;1;" + id);
    auto oo = m_out.take(Ann, "@OO=");
    ASSERT_EQ(oo.size(), 1u);
    EXPECT_EQ(fieldsOf(oo[0])[0], "1");
    EXPECT_EQ(fieldsOf(oo[0])[16], "0") << "role";
    EXPECT_EQ(m_engine->findOrder(Ann, 1)->role, role::Plain);

    // With an exit it stays a main; the query only reports it.
    m_engine->makeBracketMain(Ann, "U00001;1;" + id);
    place(po(2, 1, "SEL", "LMT", 2, 150, role::TakeProfit, 1));
    m_out.take(Ann);
    m_engine->bracketQuery(Ann, "U00001;1;" + id);
    oo = m_out.take(Ann, "@OO=");
    ASSERT_EQ(oo.size(), 1u);
    EXPECT_EQ(fieldsOf(oo[0])[16], "1");
    EXPECT_EQ(fieldsOf(oo[0])[18], id) << "its own id as bracket id";

    // Unknown orders and other participants' short ids get no answer.
    m_engine->bracketQuery(Ann, "U00001;99;O9999999");
    m_engine->bracketQuery(Ann, "XXXXXX;1;" + id);
    EXPECT_TRUE(m_out.take(Ann).empty());
}
