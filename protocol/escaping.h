#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace korvi {

// The transport escaping of file data sent inside messages. The framing bytes 0x01 and
// 0x02 and the byte 0x00 cannot travel in a message, so the sender writes each of them,
// and the escape byte 0xFE itself, as 0xFE and a letter:
//   0xFE -> 0xFE 'g', 0x00 -> 0xFE 'd', 0x01 -> 0xFE 'e', 0x02 -> 0xFE 'f'.
inline constexpr char kEscapeByte = '\xFE';

// Replaces occurrences of `search` in `text` from byte offset `start` on, at most `count`
// times (-1: all), comparing bytes exactly; the text before `start` is kept as it is.
// Each replacement continues after the replaced text. An empty search text or a start
// outside the text is an error (no value).
std::optional<QByteArray> ReplaceText(QByteArrayView text, QByteArrayView search, QByteArrayView replacement,
                                      qsizetype start = 0, qsizetype count = -1);

// Escapes file data for the data messages. The result holds no 0x00, 0x01 or 0x02.
QByteArray EscapeEncode(QByteArrayView data);

// Undoes the escaping. Gives the same bytes as replacing, in this order, 0xFE 'd' by 0x00,
// 0xFE 'e' by 0x01, 0xFE 'f' by 0x02 and last 0xFE 'g' by 0xFE, in one pass over the data;
// a 0xFE not followed by one of the four letters stays as it is.
QByteArray EscapeDecode(QByteArrayView data);
// The same, appending to `out` (no allocation when `out` has room).
void EscapeDecodeAppend(QByteArrayView data, QByteArray& out);

// Decodes escaped data that arrives in pieces: an escape pair may be cut between two
// pieces, so a 0xFE that ends a piece is held back and put in front of the next one.
class EscapeStreamDecoder {
public:
    // Decodes `piece` and appends the bytes that are certain to `out`.
    void feed(QByteArrayView piece, QByteArray& out);
    // Ends the stream: a held-back 0xFE had no letter after it and is kept as it is.
    void finish(QByteArray& out);
    bool holdingBack() const { return m_held; }

private:
    bool m_held = false;
};

// The chunk size DecodeFile reads the escaped file in.
inline constexpr qint64 kDecodeChunk = 10000;

struct DecodeResult {
    enum Status { Done, NoSource, Failed };
    Status status = Failed;
    qint64 chunks = 0;    // chunks read from the source
    qint64 written = 0;   // decoded bytes in the target
    QString error;        // for Failed
};

// Decodes the escaped file `source` into `target` in chunks of kDecodeChunk bytes. The
// target is written under a temporary name and put in place only when it is complete,
// so a failure never leaves a half-written target (an older target stays as it was).
// Without a source nothing happens.
DecodeResult DecodeFile(const QString& source, const QString& target);

} // namespace korvi
