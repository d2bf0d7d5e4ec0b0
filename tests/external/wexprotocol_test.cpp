#include "external/fileinterface.h"
#include "external/wexprotocol.h"
#include "orders/orderrecord.h"
#include "state.h"

#include <gtest/gtest.h>

using namespace korvi;

namespace {

struct Cut {
    QByteArray message;
    bool framed;
    bool operator==(const Cut& o) const { return message == o.message && framed == o.framed; }
};
void PrintTo(const Cut& c, std::ostream* os) { *os << (c.framed ? "framed " : "raw ") << c.message.toStdString(); }

struct BufferCase {
    const char* name;
    QByteArrayList arrivals;
    std::vector<Cut> messages;
    QByteArray pending;
};

} // namespace

// Arrivals from an outside program cut into messages: what is handled, in which order,
// and what waits for the next arrival.
TEST(WexBuffer, CutsArrivalsIntoMessages)
{
    const BufferCase cases[] = {
        {"two frames and a half", {"\x01" "A;1\x02\x01" "B\x02\x01" "C;h"}, {{"A;1", true}, {"B", true}}, "\x01" "C;h"},
        {"the half completed", {"\x01" "A\x02\x01" "C;h", "alf\x02"}, {{"A", true}, {"C;half", true}}, ""},
        {"bytes before the first frame start", {"xx\x02yy\x01" "A\x02"}, {{"A", true}}, ""},
        {"bytes between frames", {"\x01" "A\x02junk\x01" "B\x02"}, {{"A", true}, {"B", true}}, ""},
        {"bytes after the last frame are no message", {"\x01" "A\x02junk", "HI"}, {{"A", true}, {"HI", false}}, ""},
        {"unframed text is one message", {"HI"}, {{"HI", false}}, ""},
        {"unframed text in two arrivals", {"USER;Z", "AQR"}, {{"USER;Z", false}, {"AQR", false}}, ""},
        {"an empty frame", {"\x01\x02"}, {{"", true}}, ""},
        {"a frame end split from its start", {"\x01" "AB", "C", "D\x02"}, {{"ABCD", true}}, ""},
    };
    for (const BufferCase& c : cases) {
        SCOPED_TRACE(c.name);
        WexBuffer buffer;
        std::vector<Cut> got;
        for (const QByteArray& a : c.arrivals)
            EXPECT_TRUE(buffer.receive(a, [&](QByteArrayView m, bool framed) {
                got.push_back({m.toByteArray(), framed});
                return true;
            }));
        EXPECT_EQ(got, c.messages);
        EXPECT_EQ(buffer.pending(), c.pending);
    }
}

// A frame that never ends is dropped at the capacity, and its tail is not taken for a
// message; a handler that ends the connection drops what followed.
TEST(WexBuffer, OverflowAndStopDropTheRest)
{
    WexBuffer buffer(16);
    QByteArrayList got;
    auto keep = [&](QByteArrayView m, bool) {
        got << m.toByteArray();
        return true;
    };
    EXPECT_TRUE(buffer.receive("\x01" "0123456789", keep));
    EXPECT_FALSE(buffer.receive("0123456789", keep));
    EXPECT_TRUE(buffer.pending().isEmpty());
    EXPECT_TRUE(buffer.receive("@PO;W1;0;BUY;MKT;1", keep)); // the dropped frame's tail
    EXPECT_TRUE(buffer.receive("xx\x01" "B\x02", keep));
    EXPECT_EQ(got, QByteArrayList{"B"});

    got.clear();
    WexBuffer stopping;
    stopping.receive("\x01USER;x\x02\x01HI\x02\x01" "C", [&](QByteArrayView m, bool) {
        got << m.toByteArray();
        return false;
    });
    EXPECT_EQ(got, QByteArrayList{"USER;x"});
    EXPECT_TRUE(stopping.pending().isEmpty());
}

TEST(WexProtocol, FieldsOfACommand)
{
    const CommandFields f("@PO;W1;0;BUY");
    EXPECT_EQ(f.count(), 4);
    EXPECT_EQ(f[1], "@PO");
    EXPECT_EQ(f[4], "BUY");
    EXPECT_TRUE(f[5].isEmpty());
    QByteArray many;
    for (int i = 1; i <= 25; ++i)
        many += QByteArray::number(i) + ';';
    const CommandFields g(many);
    EXPECT_EQ(g.count(), 20);
    EXPECT_EQ(g[19], "19");
    EXPECT_EQ(g[20], "20;21;22;23;24;25;");
    EXPECT_EQ(CommandFields("").count(), 0);
    EXPECT_EQ(CommandFields("a;").count(), 2);
}

// The messages to the outside program, byte for byte.
TEST(WexProtocol, MessagesByteForByte)
{
    State s;
    s.InstrumentCount = 0;
    s.Instruments.resize(1);
    EXPECT_EQ(wexInstrumentList(s), QByteArray("\x01@IL\x02"));
    InstrumentRecord a;
    a.Ticker = "FDAX  ";
    a.Lumticker = " W1";
    a.Name = "Dax Future ";
    InstrumentRecord b;
    b.Ticker = "FGBL";
    b.Lumticker = "BUND";
    b.Name = "Bund";
    s.Instruments = {InstrumentRecord{}, a, b};
    s.InstrumentCount = 2;
    EXPECT_EQ(wexInstrumentList(s), QByteArray("\x01@IL;FDAX;W1;Dax Future\nFGBL;BUND;Bund\x02"));

    EXPECT_EQ(hereIAm(QTime(7, 5, 3)), "HERE I AM;07:05:03");
    EXPECT_EQ(wexNewOrderId("R7", -12), "\x01@OC;R7;-12\x02");
    EXPECT_EQ(wexError(1, kInstrumentMissing, "R7"), QByteArray("\x01@ER; 1;Wertpapier nicht verf\xfcgbar;R7\x02"));
    OrderRecord o;
    o.OrderUserID = -12;
    o.Status = Filled;
    o.Filled = 2;
    o.Rem = 0;
    o.Preis = 3800.5f;
    EXPECT_EQ(wexOrderStatus(o), "\x01@OS;-12; 6; 2; 0; 3800.5\x02");
    EXPECT_EQ(wexFrame("WHOISIT"), "\x01WHOISIT\x02");
    EXPECT_EQ(orderConfirmationLine("R7", -12), "\"R7\";-12 \r\n");
}

// The command file's item reader: commas end items, quotes go, blanks around go.
TEST(CommandFile, ItemsOfAFile)
{
    struct Case {
        QByteArray content;
        QByteArrayList items;
    };
    const Case cases[] = {
        {"@PO;W1\r\n@CA\r\n", {"@PO;W1", "@CA"}},
        {"a,b\r\nc", {"a", "b", "c"}},
        {"  \"q,x\" tail,d\n", {"q,x", "d"}},
        {"'note\r\n\r\n@GL  \r\n", {"'note", "", "@GL"}},
        {"\"open\r\nnext", {"open", "next"}},
        {"", {}},
        {"a,\r\n", {"a", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.toStdString());
        EXPECT_EQ(readCommandItems(c.content), c.items);
    }
}
