#include "catalogue.h"
#include "framing.h"

#include <QByteArrayList>
#include <gtest/gtest.h>

using namespace korvi;

namespace {

QByteArrayList drain(ReceiveBuffer& buffer)
{
    QByteArrayList out;
    QByteArrayView m;
    while (buffer.next(m))
        out.append(m.toByteArray());
    buffer.compact();
    return out;
}

QByteArrayList feed(ReceiveBuffer& buffer, QByteArrayView bytes)
{
    buffer.append(bytes);
    return drain(buffer);
}

} // namespace

TEST(Framing, MessagesAcrossArrivals)
{
    ReceiveBuffer b;
    EXPECT_EQ(feed(b, "\x01@OO=1\x02\x01~2;3\x02"), (QByteArrayList{"@OO=1", "~2;3"}));
    EXPECT_TRUE(feed(b, "\x01@K").isEmpty());
    EXPECT_TRUE(feed(b, "U=1;2").isEmpty());
    EXPECT_EQ(feed(b, ";3\x02\x01"), (QByteArrayList{"@KU=1;2;3"}));
    EXPECT_EQ(feed(b, "@=\x02"), (QByteArrayList{"@="}));
    EXPECT_EQ(b.pending(), 0);
}

TEST(Framing, ResynchronisesAtFrameStart)
{
    ReceiveBuffer b;
    // Bytes before the first frame start are dropped, even a stray frame end.
    EXPECT_EQ(feed(b, "junk\x02more\x01@A\x02"), (QByteArrayList{"@A"}));
    // Without any frame start, a frame end at position 4 cuts characters 2 and 3.
    EXPECT_EQ(feed(b, "xyz\x02"), (QByteArrayList{"yz"}));
    // A frame end at the very front gives an empty message.
    EXPECT_EQ(feed(b, "\x02"), (QByteArrayList{""}));
    // Only bytes before the first frame start are dropped: a second frame start inside an
    // unfinished frame becomes part of the message.
    EXPECT_EQ(feed(b, "\x01@BROKEN\x01@OK\x02"), (QByteArrayList{"@BROKEN\x01@OK"}));
}

// Arrival sequences and the messages they give, in order, each once.
TEST(Framing, ArrivalSequences)
{
    struct Case {
        const char* name;
        QByteArrayList arrivals;
        QByteArrayList messages;
    };
    const QList<Case> cases = {
        {"no frame start at all, then junk before a frame", {"no frame start here at all", "junk\x01msg\x02"}, {"msg"}},
        {"one frame over three arrivals", {"\x01@O", "O=1;", "2\x02"}, {"@OO=1;2"}},
        {"two frames and half a third", {"\x01" "a\x02\x01" "b\x02\x01" "c", "c\x02"}, {"a", "b", "cc"}},
        {"a frame end alone later", {"xyz", "\x02"}, {"yz"}},
        {"junk between frames", {"\x01" "a\x02junk", "more junk\x01" "b\x02"}, {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReceiveBuffer b;
        QByteArrayList got;
        for (const QByteArray& a : c.arrivals)
            got += feed(b, a);
        EXPECT_EQ(got, c.messages);
        EXPECT_EQ(b.pending(), 0);
    }
}

TEST(Framing, OverflowDropsAndResynchronises)
{
    ReceiveBuffer b(64);
    EXPECT_TRUE(b.append("\x01" + QByteArray(40, 'a')));
    EXPECT_FALSE(b.append(QByteArray(40, 'b')));
    EXPECT_TRUE(drain(b).isEmpty());
    // The rest of the overlong frame is dropped up to the next frame start.
    EXPECT_EQ(feed(b, "cc\x02\x01@NEXT\x02"), (QByteArrayList{"@NEXT"}));
    // An arrival far beyond the capacity keeps only a frame that starts near its end.
    b.append(QByteArray(1000, 'x') + "\x01@TAIL\x02");
    EXPECT_EQ(drain(b), (QByteArrayList{"@TAIL"}));
}

TEST(Framing, FrameFillingTheWholeCapacityIsKept)
{
    // A frame exactly as long as the buffer holds is a message; one byte more is not.
    ReceiveBuffer b(64);
    const QByteArray body = "@MSG=" + QByteArray(64 - 7, 'x');
    const QByteArray exact = frame(body);
    ASSERT_EQ(exact.size(), b.capacity());
    EXPECT_TRUE(b.append(exact.left(30)));
    EXPECT_TRUE(b.append(exact.mid(30)));
    EXPECT_EQ(drain(b), QByteArrayList{body});
    EXPECT_FALSE(b.append(frame(body + 'y')));
    EXPECT_TRUE(drain(b).isEmpty());
    EXPECT_EQ(feed(b, "\x01@OK\x02"), QByteArrayList{"@OK"});
}

TEST(Framing, FrameAndCommandParts)
{
    EXPECT_EQ(frame("@IR"), QByteArray("\x01@IR\x02"));
    const auto parts = splitCommand("@OO=a=b;c");
    EXPECT_EQ(parts.word, "@OO");
    EXPECT_EQ(parts.body, "a=b;c");
    EXPECT_EQ(splitCommand("@WELCOME").word, "@WELCOME");
    EXPECT_TRUE(splitCommand("@WELCOME").body.isEmpty());
    EXPECT_EQ(splitCommand("@=").word, "@");
}

TEST(Catalogue, LongAndShortWordsCaseSensitive)
{
    EXPECT_EQ(lookupCommand("@OO"), Cmd::OpenOrder);
    EXPECT_EQ(lookupCommand("@OpenOrder"), Cmd::OpenOrder);
    EXPECT_EQ(lookupCommand("@SUD1"), Cmd::SendUserKonto);
    EXPECT_EQ(lookupCommand("@SUD"), Cmd::SendUserData);
    EXPECT_EQ(lookupCommand("@"), Cmd::Keepalive);
    EXPECT_FALSE(lookupCommand("@oo").has_value());
    EXPECT_FALSE(lookupCommand("@XYZ").has_value());
    // The words the server sends, in both forms, each with the handler it must reach.
    const QList<QPair<const char*, Cmd>> received = {
        {"@", Cmd::Keepalive}, {"@WELCOME", Cmd::Welcome}, {"@RV", Cmd::RequestVersion},
        {"@SV", Cmd::SendVersion}, {"@SYI", Cmd::SystemInfo}, {"@PI", Cmd::PlatzInfo},
        {"@PlatzInfo", Cmd::PlatzInfo}, {"@GV", Cmd::GewinnerVerlierer},
        {"@GewinnerVerlierer", Cmd::GewinnerVerlierer}, {"@TS", Cmd::TimeSet}, {"@TIMESET", Cmd::TimeSet},
        {"@UD", Cmd::UserData}, {"@SAO", Cmd::SendAllOrders}, {"@SENDALLORDERS", Cmd::SendAllOrders},
        {"@SAE", Cmd::SendAllExecutions}, {"@SENDALLEXECUTIONS", Cmd::SendAllExecutions},
        {"@SUK", Cmd::SendUserKonto}, {"@SENDUSERKONTO", Cmd::SendUserKonto}, {"@SUD1", Cmd::SendUserKonto},
        {"@SUD", Cmd::SendUserData}, {"@SENDUSERDATA", Cmd::SendUserData}, {"@SUP", Cmd::SendUserPlaetze},
        {"@SENDUSERPLAETZE", Cmd::SendUserPlaetze}, {"@OO", Cmd::OpenOrder}, {"@OpenOrder", Cmd::OpenOrder},
        {"@CR", Cmd::CancelRejected}, {"@CancelRejected", Cmd::CancelRejected}, {"@OR", Cmd::OrderRejected},
        {"@OrderRejected", Cmd::OrderRejected}, {"@SOO", Cmd::SendOpenOrders},
        {"@SENDOPENORDERS", Cmd::SendOpenOrders}, {"@SI", Cmd::SendInstruments},
        {"@SENDINSTRUMENTS", Cmd::SendInstruments}, {"@KU", Cmd::Kursupdate}, {"@KURSUPDATE", Cmd::Kursupdate},
        {"@LI", Cmd::LastOrderId}, {"@ST", Cmd::Status}, {"@STATUS", Cmd::Status}, {"@EX", Cmd::Execution},
        {"@Execution", Cmd::Execution}, {"@OS", Cmd::OrderStatus}, {"@ORDERSTATUS", Cmd::OrderStatus},
        {"@RC", Cmd::ReceiveChat}, {"@ReceiveChat", Cmd::ReceiveChat}, {"@RT", Cmd::ReceiveTChat},
        {"@ReceiveTChat", Cmd::ReceiveTChat}, {"@ER", Cmd::Error}, {"@ERROR", Cmd::Error},
        {"@CC", Cmd::ConnectionClosed}, {"@CONNECTIONCLOSED", Cmd::ConnectionClosed},
        {"@SD", Cmd::SendDocument}, {"@SENDDOCUMENT", Cmd::SendDocument}, {"@SA", Cmd::SendAnnotation},
        {"@SENDANNOTATION", Cmd::SendAnnotation}, {"@MSG", Cmd::Message}, {"@MESSAGE", Cmd::Message},
        {"@HB", Cmd::Heartbeat}, {"@Heartbeat", Cmd::Heartbeat}, {"@FIS", Cmd::FileStart},
        {"@FID", Cmd::FileData}, {"@FIE", Cmd::FileEnd}, {"@SCU", Cmd::SendChatUsers},
        {"@CU1", Cmd::ChatUserOn}, {"@CU0", Cmd::ChatUserOff},
    };
    for (const auto& [word, cmd] : received)
        EXPECT_EQ(lookupCommand(word), cmd) << word;
    // The words the client sends are written exactly so.
    const QList<QPair<Cmd, const char*>> sent = {
        {Cmd::Login, "@U"},           {Cmd::PlaceOrder, "@PO"},         {Cmd::CancelOrder, "@CO"},
        {Cmd::BracketQuery, "@BR?"},  {Cmd::RequestAll, "@RA"},         {Cmd::RequestOpenOrders, "@RAO"},
        {Cmd::RequestAllExecutions, "@RAE"}, {Cmd::InstrumentRequest, "@IR"}, {Cmd::TimeGet, "@TIMEGET"},
        {Cmd::GetKontoauszug, "@GKO"}, {Cmd::RequestInfo, "@RI"},
    };
    for (const auto& [cmd, word] : sent)
        EXPECT_EQ(commandWord(cmd), word);
}
