#include "escaping.h"

#include <QFile>
#include <QSaveFile>

namespace korvi {

std::optional<QByteArray> ReplaceText(QByteArrayView text, QByteArrayView search, QByteArrayView replacement,
                                      qsizetype start, qsizetype count)
{
    if (search.isEmpty() || start < 0 || start > text.size())
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size());
    out.append(text.first(start));
    qsizetype from = start;
    qsizetype done = 0;
    while (count < 0 || done < count) {
        const qsizetype at = text.indexOf(search, from);
        if (at < 0)
            break;
        out.append(text.sliced(from, at - from));
        out.append(replacement);
        from = at + search.size();
        ++done;
    }
    out.append(text.sliced(from));
    return out;
}

QByteArray EscapeEncode(QByteArrayView data)
{
    qsizetype extra = 0;
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        extra += (b <= 2 || b == 0xFE) ? 1 : 0;
    }
    QByteArray out(data.size() + extra, Qt::Uninitialized);
    char* o = out.data();
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0xFE) {
            *o++ = kEscapeByte;
            *o++ = 'g';
        } else if (b <= 2) {
            *o++ = kEscapeByte;
            *o++ = static_cast<char>('d' + b);
        } else {
            *o++ = c;
        }
    }
    return out;
}

namespace {

// Decodes `data` into `o`, which has room for data.size() bytes; returns the end. A 0xFE
// that ends the data is written as it is.
char* decodeInto(const char* p, const char* end, char* o)
{
    // A plain byte loop: packages hold many zero bytes, so escapes come every few bytes
    // and searching for the next one does not pay.
    while (p < end) {
        const char c = *p++;
        if (c != kEscapeByte) {
            *o++ = c;
            continue;
        }
        const char letter = p < end ? *p : '\0';
        if (letter >= 'd' && letter <= 'f') {
            *o++ = static_cast<char>(letter - 'd');
            ++p;
        } else {
            // 0xFE 'g' is 0xFE; any other 0xFE stays as it is.
            *o++ = kEscapeByte;
            p += letter == 'g' ? 1 : 0;
        }
    }
    return o;
}

} // namespace

void EscapeDecodeAppend(QByteArrayView data, QByteArray& out)
{
    const qsizetype old = out.size();
    out.resize(old + data.size());
    char* end = decodeInto(data.data(), data.data() + data.size(), out.data() + old);
    out.resize(end - out.constData());
}

QByteArray EscapeDecode(QByteArrayView data)
{
    QByteArray out;
    EscapeDecodeAppend(data, out);
    return out;
}

void EscapeStreamDecoder::feed(QByteArrayView piece, QByteArray& out)
{
    if (piece.isEmpty())
        return;
    const bool holdNext = piece.back() == kEscapeByte;
    QByteArrayView body = holdNext ? piece.chopped(1) : piece;
    if (m_held) {
        // The held 0xFE pairs with the first byte of this piece when that is a letter;
        // otherwise it stands alone.
        const char letter = body.isEmpty() ? '\0' : body.front();
        if (letter >= 'd' && letter <= 'g') {
            const char pair[2] = {kEscapeByte, letter};
            EscapeDecodeAppend(QByteArrayView(pair, 2), out);
            body = body.sliced(1);
        } else {
            out.append(kEscapeByte);
        }
    }
    EscapeDecodeAppend(body, out);
    m_held = holdNext;
}

void EscapeStreamDecoder::finish(QByteArray& out)
{
    if (m_held)
        out.append(kEscapeByte);
    m_held = false;
}

DecodeResult DecodeFile(const QString& source, const QString& target)
{
    DecodeResult result;
    QFile in(source);
    if (!in.exists()) {
        result.status = DecodeResult::NoSource;
        return result;
    }
    if (!in.open(QIODevice::ReadOnly)) {
        result.error = in.errorString();
        return result;
    }
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) {
        result.error = out.errorString();
        return result;
    }
    EscapeStreamDecoder decoder;
    QByteArray chunk(kDecodeChunk, Qt::Uninitialized);
    QByteArray decoded;
    decoded.reserve(kDecodeChunk + 1);
    for (;;) {
        const qint64 got = in.read(chunk.data(), kDecodeChunk);
        if (got < 0) {
            result.error = in.errorString();
            out.cancelWriting();
            return result;
        }
        if (got == 0)
            break;
        ++result.chunks;
        decoded.resize(0); // keeps the room of the previous chunk
        decoder.feed(QByteArrayView(chunk.constData(), got), decoded);
        if (out.write(decoded) != decoded.size()) {
            result.error = out.errorString();
            out.cancelWriting();
            return result;
        }
        result.written += decoded.size();
    }
    decoded.resize(0);
    decoder.finish(decoded);
    if (out.write(decoded) != decoded.size() || !out.commit()) {
        result.error = out.errorString();
        return result;
    }
    result.written += decoded.size();
    result.status = DecodeResult::Done;
    return result;
}

} // namespace korvi
