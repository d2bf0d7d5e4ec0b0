// The transport escaping of update packages: the four byte values, the order in which the
// wire's escaping is undone, and decoding a file in chunks.
#include "escaping.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace korvi;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// Undoing the escaping literally as four text replacements in their order.
QByteArray decodeByReplacing(const QByteArray& data)
{
    QByteArray s = data;
    s = *ReplaceText(s, bytes({0xFE, 'd'}), bytes({0x00}));
    s = *ReplaceText(s, bytes({0xFE, 'e'}), bytes({0x01}));
    s = *ReplaceText(s, bytes({0xFE, 'f'}), bytes({0x02}));
    s = *ReplaceText(s, bytes({0xFE, 'g'}), bytes({0xFE}));
    return s;
}

QByteArray encodeByReplacing(const QByteArray& data)
{
    QByteArray s = data;
    s = *ReplaceText(s, bytes({0xFE}), bytes({0xFE, 'g'}));
    s = *ReplaceText(s, bytes({0x00}), bytes({0xFE, 'd'}));
    s = *ReplaceText(s, bytes({0x01}), bytes({0xFE, 'e'}));
    s = *ReplaceText(s, bytes({0x02}), bytes({0xFE, 'f'}));
    return s;
}

// Random data rich in escape bytes and letters, where mistakes in pairing show.
QByteArray awkwardData(QRandomGenerator& random, int size)
{
    static const char alphabet[] = {'\xFE', 'd', 'e', 'f', 'g', '\0', '\x01', '\x02', 'x', ';'};
    QByteArray out(size, Qt::Uninitialized);
    for (char& c : out)
        c = alphabet[random.bounded(int(sizeof alphabet))];
    return out;
}

QByteArray allByteValues()
{
    QByteArray out;
    for (int i = 0; i < 256; ++i)
        out.append(static_cast<char>(i));
    return out + bytes({0xFE, 'g', 0xFE, 'd', 0xFE, 0xFE});
}

} // namespace

TEST(Escaping, ReplaceText)
{
    struct Case {
        const char* text;
        const char* search;
        const char* replacement;
        qsizetype start;
        qsizetype count;
        const char* expected;
    };
    const Case cases[] = {
        {"a;b;c", ";", "--", 0, -1, "a--b--c"},
        {"a;b;c", ";", "", 0, 1, "ab;c"},
        {"a;b;c", ";", "+", 2, -1, "a;b+c"},       // text before the start is kept
        {"aaa", "aa", "X", 0, -1, "Xa"},           // a replacement goes on after itself
        {"aa", "a", "aa", 0, -1, "aaaa"},          // a replacement holding the search text ends
        {"abc", "abc", "", 0, -1, ""},
        {"abc", "x", "y", 0, -1, "abc"},
        {"abc", "c", "d", 3, -1, "abc"},           // start at the end: nothing to replace
        {"ABC", "b", "x", 0, -1, "ABC"},           // bytes compare exactly
    };
    for (const Case& c : cases) {
        const auto got = ReplaceText(c.text, c.search, c.replacement, c.start, c.count);
        ASSERT_TRUE(got.has_value()) << c.text;
        EXPECT_EQ(*got, QByteArray(c.expected)) << c.text << " / " << c.search;
    }
    EXPECT_FALSE(ReplaceText("abc", "", "x").has_value());
    EXPECT_FALSE(ReplaceText("abc", "a", "x", 4).has_value());
    EXPECT_FALSE(ReplaceText("abc", "a", "x", -1).has_value());
}

TEST(Escaping, DecodeCases)
{
    struct Case {
        QByteArray in, out;
    };
    const Case cases[] = {
        {bytes({0xFE, 0x67, 0x64}), bytes({0xFE, 0x64})},        // the 0x64 is no escape letter here
        {bytes({0xFE, 0x67, 0xFE, 0x64}), bytes({0xFE, 0x00})},
        {bytes({0xFE, 'd', 0xFE, 'e', 0xFE, 'f', 0xFE, 'g'}), bytes({0, 1, 2, 0xFE})},
        {bytes({'a', 0xFE, 'x', 0xFE}), bytes({'a', 0xFE, 'x', 0xFE})}, // lone escape bytes stay
        {bytes({0xFE, 0xFE, 'd'}), bytes({0xFE, 0x00})},
        {"a;b=c", "a;b=c"},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeDecode(c.in), c.out) << c.in.toHex().constData();
        EXPECT_EQ(decodeByReplacing(c.in), c.out) << c.in.toHex().constData();
    }
    EXPECT_EQ(EscapeEncode(bytes({0xFE, 0x00, 0x01, 0x02, 'g'})),
              bytes({0xFE, 'g', 0xFE, 'd', 0xFE, 'e', 0xFE, 'f', 'g'}));
}

TEST(Escaping, OnePassGivesWhatTheFourReplacementsGiveOnAnyInput)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        const QByteArray data = awkwardData(random, random.bounded(1, 40));
        ASSERT_EQ(EscapeDecode(data), decodeByReplacing(data)) << data.toHex().constData();
        const QByteArray encoded = EscapeEncode(data);
        ASSERT_EQ(encoded, encodeByReplacing(data));
        ASSERT_EQ(EscapeDecode(encoded), data);
        ASSERT_FALSE(encoded.contains('\0') || encoded.contains('\x01') || encoded.contains('\x02'));
    }
    const QByteArray all = allByteValues();
    EXPECT_EQ(EscapeDecode(EscapeEncode(all)), all);
}

TEST(Escaping, StreamDecoderMatchesWholeDecodeForAnyCut)
{
    QRandomGenerator random(11);
    for (int round = 0; round < 500; ++round) {
        const QByteArray data = awkwardData(random, random.bounded(1, 60));
        QByteArray out;
        EscapeStreamDecoder decoder;
        for (qsizetype at = 0; at < data.size();) {
            const qsizetype n = std::min<qsizetype>(random.bounded(1, 6), data.size() - at);
            decoder.feed(QByteArrayView(data).sliced(at, n), out);
            at += n;
        }
        decoder.finish(out);
        ASSERT_EQ(out, EscapeDecode(data)) << data.toHex().constData();
    }
}

class DecodeFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    void write(const char* name, const QByteArray& content)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    QByteArray read(const char* name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir m_dir;
};

TEST_F(DecodeFileTest, ChunksAndPairsCutByAChunkEnd)
{
    const QByteArray filler(9998, 'x');
    struct Case {
        const char* what;
        QByteArray escaped;
        qint64 chunks;
        QByteArray decoded;
    };
    const Case cases[] = {
        {"exactly one chunk", QByteArray(10000, 'a'), 1, QByteArray(10000, 'a')},
        {"one byte more", QByteArray(10001, 'a'), 2, QByteArray(10001, 'a')},
        {"0xFE ends the chunk, its letter starts the next", filler + "y" + bytes({0xFE, 'd', 'z'}), 2,
         filler + "y" + bytes({0x00, 'z'})},
        {"an escaped 0xFE ends the chunk", filler + bytes({0xFE, 'g', 'd'}), 2, filler + bytes({0xFE, 'd'})},
        {"0xFE 0xFE across the end", filler + "y" + bytes({0xFE, 0xFE, 'e'}), 2, filler + "y" + bytes({0xFE, 0x01})},
        {"a lone 0xFE ends the file", bytes({'a', 0xFE}), 1, bytes({'a', 0xFE})},
        {"empty file", {}, 0, {}},
    };
    for (const Case& c : cases) {
        write("dummy.bin", c.escaped);
        const DecodeResult r = DecodeFile(path("dummy.bin"), path("out.bin"));
        EXPECT_EQ(r.status, DecodeResult::Done) << c.what;
        EXPECT_EQ(r.chunks, c.chunks) << c.what;
        EXPECT_EQ(read("out.bin"), c.decoded) << c.what;
    }

    QRandomGenerator random(3);
    QByteArray large;
    for (int i = 0; i < 35'000; ++i)
        large.append(static_cast<char>(random.bounded(256)));
    write("dummy.bin", EscapeEncode(large));
    EXPECT_EQ(DecodeFile(path("dummy.bin"), path("out.bin")).status, DecodeResult::Done);
    EXPECT_EQ(read("out.bin"), large);
}

TEST_F(DecodeFileTest, NoSourceOrFailureLeavesTheTargetAlone)
{
    write("out.bin", "old");
    EXPECT_EQ(DecodeFile(path("none.bin"), path("out.bin")).status, DecodeResult::NoSource);
    EXPECT_EQ(read("out.bin"), "old");

    write("dummy.bin", "new");
    const DecodeResult r = DecodeFile(path("dummy.bin"), m_dir.filePath("no/such/folder/out.bin"));
    EXPECT_EQ(r.status, DecodeResult::Failed);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // nothing half-written
}
