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
    EXPECT_EQ(commandWord(Cmd::Kursupdate), "@KU");
    EXPECT_EQ(commandWord(Cmd::GetKontoauszug), "@GKO");
    // Every command has a word, and a word maps back to its command.
    for (int i = 0; i < static_cast<int>(Cmd::Count); ++i) {
        const auto cmd = static_cast<Cmd>(i);
        ASSERT_FALSE(commandWord(cmd).isEmpty()) << i;
        EXPECT_EQ(lookupCommand(commandWord(cmd)), cmd);
    }
}
