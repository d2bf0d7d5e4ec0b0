// Message building: known values in, known bytes out.
#include "messages.h"

#include <gtest/gtest.h>

using namespace korvi::server;

namespace {

const PriceState kBase{100.75, 100.5, 101.0, 500, 800};

TEST(PriceMessageTest, ShortestFormCarriesExactlyWhatChanged)
{
    struct Case {
        const char* what;
        PriceState after;
        QByteArray expected;
    };
    const std::vector<Case> cases = {
        {"last moved", {101.0, 100.75, 101.25, 400, 700}, "~3; 101; .25;400; .25;700"},
        {"last moved, book kept", {100.5, 100.5, 101.0, 500, 800}, "~3; 100.5; 0;500; .5;800"},
        {"bid and ask", {100.75, 100.25, 101.25, 10, 20}, "^13; .5;10; .5;20"},
        {"ask price and size", {100.75, 100.5, 101.5, 500, 90}, "^23; .75;90"},
        {"ask price only", {100.75, 100.5, 101.25, 500, 800}, "^33; .5"},
        {"ask size only", {100.75, 100.5, 101.0, 500, 1}, "^43;1"},
        {"bid price and size", {100.75, 100.25, 101.0, 7, 800}, "^53; .5;7"},
        {"bid size only", {100.75, 100.5, 101.0, 9, 800}, "^53; .25;9"},
        {"bid price and ask size", {100.75, 100.25, 101.0, 500, 5}, "^13; .5;500; .25;5"},
        {"nothing", kBase, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(msg::priceChange(3, kBase, c.after, false), c.expected) << c.what;
    // The full form on request, even when nothing changed; ask before last, as the
    // receiver reads it.
    EXPECT_EQ(msg::priceChange(12, kBase, kBase, true), "@KU=12; 100.5;500; 101;800; 100.75");
}

TEST(PriceMessageTest, SmallTicksStayExact)
{
    const PriceState before{1.085, 1.08495, 1.08505, 15, 17};
    const PriceState after{1.08505, 1.085, 1.0851, 20, 30};
    EXPECT_EQ(msg::priceChange(11, before, after, false), "~11; 1.08505; 5E-05;20; 5E-05;30");
}

TEST(LoginMessagesTest, FixedTextsAndSmallMessages)
{
    EXPECT_EQ(msg::kWrongPassword, QByteArrayView("@MSG=FALSCHES PA\xDFWORT"));
    EXPECT_EQ(msg::kWrongPassword.size(), 21) << "the sharp s is one byte";
    EXPECT_EQ(msg::userData("U00042"), "@UD=U00042");
    EXPECT_EQ(msg::level(2), "@SV=2");
    EXPECT_EQ(msg::lastOrderId(57), "@LI=57");
    EXPECT_EQ(msg::serverTime(QTime(9, 5, 7)), "@ST=Serverzeit 09:05:07");

    InstrumentSpec fdax{"FDAX", "FDAX.EUREX", "EUR", "DAX Future", 25, 32000, 18250, 0.5, 2.5};
    InstrumentSpec bund{"FGBL", "FGBL.EUREX", "EUR", "Euro-Bund Future", 1000, 3400, 131.2, 0.01, 1};
    EXPECT_EQ(msg::codeTable({fdax, bund}), "!;T;01FDAX.EUREX;FGBL.EUREX");
    EXPECT_EQ(msg::instruments({fdax, bund}, {{18250, 18249.5, 18250.5, 12, 34}, {131.2, 131.19, 131.21, 5, 6}}),
              "@SI=FDAX;FDAX.EUREX;EUR; 18250; 18249.5;12; 18250.5;34;DAX Future; 25; 32000; .5\n"
              "FGBL;FGBL.EUREX;EUR; 131.2; 131.19;5; 131.21;6;Euro-Bund Future; 1000; 3400; .01");
    EXPECT_EQ(msg::instruments({}, {}), "@SI=");
}

TEST(AccountMessagesTest, AccountPositionsAndPlaces)
{
    msg::AccountLine a;
    a.accountStart = "20240920";
    a.accountText = "Demo";
    a.baseValue = 100000;
    a.todayResult = -20.5;
    a.totalPlace = 7;
    a.dayPlace = 101;
    a.totalMargin = 3400;
    EXPECT_EQ(msg::account(a), "@SUK=20240920;Demo; 0; 100000;-20.5;7;101; 3400");

    EXPECT_EQ(msg::positions(150, 10000, {}), "@SUD= 150; 10000");
    const std::vector<msg::PositionLine> held = {{2, 64000, 36500.5, 36510, 1}, {-1, 3400, 131.2, 131.25, 3}};
    EXPECT_EQ(msg::positions(0, 100000, held),
              "@SUD= 0; 100000;2; 64000; 36500.5; 36510;1;-1; 3400; 131.2; 131.25;3");
    EXPECT_EQ(msg::places(0, 101, 0), "@SUP=0;101; 0");
}

TEST(OrderMessagesTest, OrderAndExecutionRecords)
{
    msg::OrderLine o;
    o.orderUserId = -57;
    o.orderId = "A0000001";
    o.info12 = "U00001";
    o.side = "BUY";
    o.quantity = 2;
    o.type = "LMT";
    o.limit1 = 18200.5;
    o.status = 4;
    o.remaining = 2;
    o.orderTime = "093005";
    o.statusTime = "093006";
    o.instrument = 1;
    o.bracketRole = 1;
    const QByteArray record = msg::orderRecord(o);
    EXPECT_EQ(record, "-57;A0000001;U00001;BUY;2;LMT; 18200.5; 0;4;0;2; 0;093005;093006;;1;1;0;;0;0");
    EXPECT_EQ(record.count(';'), 20) << "21 fields";
    EXPECT_EQ(msg::allOrders({o, o}), "@SAO=" + record + '\n' + record);
    EXPECT_EQ(msg::openOrders({}), "@SOO=");

    msg::ExecutionLine e{"U00001", "A0000001", "", 1, "", "E0000001", "093007", "BUY", 2, 18200.5, 910025, 5, 0};
    const QByteArray ex = msg::executionRecord(e);
    EXPECT_EQ(ex, "U00001;A0000001;;1;;E0000001;093007;BUY;2; 18200.5; 910025; 5; 0");
    EXPECT_EQ(ex.count(';'), 12) << "13 fields";
    EXPECT_EQ(msg::allExecutions({}), "@SAE=");
}

} // namespace
