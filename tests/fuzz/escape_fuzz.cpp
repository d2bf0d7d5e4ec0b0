// Escaped data of any kind: the one-pass decoder must give what the four replacements in
// their order give, decoding in pieces must give what decoding at once gives, and
// escaping then decoding must give the input back. DecodeFile runs on the input now and
// then, with its 10000-byte chunks.

#include "escaping.h"
#include "memorydir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace korvi;

namespace {

QByteArray decodeByReplacing(const QByteArray& data)
{
    static const QByteArray fe(1, '\xFE');
    QByteArray s = data;
    s = *ReplaceText(s, fe + 'd', QByteArray(1, '\0'));
    s = *ReplaceText(s, fe + 'e', QByteArray(1, '\x01'));
    s = *ReplaceText(s, fe + 'f', QByteArray(1, '\x02'));
    s = *ReplaceText(s, fe + 'g', fe);
    return s;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the piece size for the stream decoder.
    const int piece = 1 + data[0] % 13;
    const QByteArray input(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));

    const QByteArray whole = EscapeDecode(input);
    check(whole == decodeByReplacing(input));

    QByteArray streamed;
    EscapeStreamDecoder decoder;
    for (qsizetype at = 0; at < input.size(); at += piece)
        decoder.feed(QByteArrayView(input).sliced(at, std::min<qsizetype>(piece, input.size() - at)), streamed);
    decoder.finish(streamed);
    check(streamed == whole);

    const QByteArray encoded = EscapeEncode(input);
    check(!encoded.contains('\0') && !encoded.contains('\x01') && !encoded.contains('\x02'));
    check(EscapeDecode(encoded) == input);

    if (data[0] == 0) {
        static MemoryDir dir;
        QFile source(dir.filePath("dummy.bin"));
        if (source.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            source.write(input);
            source.close();
            const DecodeResult r = DecodeFile(dir.filePath("dummy.bin"), dir.filePath("out.bin"));
            QFile out(dir.filePath("out.bin"));
            check(r.status == DecodeResult::Done && out.open(QIODevice::ReadOnly) && out.readAll() == whole);
        }
    }
    return 0;
}
