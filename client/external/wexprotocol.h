#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QTime>
#include <functional>

namespace korvi {

struct OrderRecord;
struct State;

// The fields of one command of the outside program or of a command file: cut at ";" into
// at most 20 pieces, the last taking the rest of the text. No quoting; pieces are views
// into the text, numbered from 1.
class CommandFields {
public:
    static constexpr int kMax = 20;
    explicit CommandFields(QByteArrayView text);
    QByteArrayView operator[](int i) const { return i >= 1 && i <= m_count ? m_pieces[i - 1] : QByteArrayView(); }
    int count() const { return m_count; }

private:
    QByteArrayView m_pieces[kMax];
    int m_count = 0;
};

// Numbers toward the outside program: a blank before values that are not negative.
QByteArray leadingBlank(qint64 value);

// One framed message: FrameStart, the command, ";" and each field, FrameEnd.
QByteArray wexFrame(QByteArrayView command, std::initializer_list<QByteArrayView> fields = {});

// "@IL": the instrument list, one "Ticker;Lumticker;Name" entry per line feed, the last
// line feed replaced by FrameEnd; "@IL" alone between the frame characters when empty.
QByteArray wexInstrumentList(const State& state);
// The answer to "HI", sent without frame characters.
QByteArray hereIAm(const QTime& time);
// "@OC", "@ER" and "@OS".
QByteArray wexNewOrderId(QByteArrayView reference, qint32 orderUserId);
// "@ER": code, text and the reference of the order (or the number of the order to cancel).
QByteArray wexError(int code, QByteArrayView text, QByteArrayView reference);
QByteArray wexOrderStatus(const OrderRecord& order);
// The errors the outside program is told about. Code 2 is no longer used (outside orders
// leave no entry lines behind, so there is no bound on them to report).
inline constexpr const char* kInstrumentMissing = "Wertpapier nicht verf\xfc" "gbar";       // code 1
inline constexpr const char* kNotConnected = "Keine Verbindung zum Server";                 // code 3
inline constexpr const char* kOrderUnknown = "Order nicht vorhanden";                       // code 4
inline constexpr const char* kOrderNotOpen = "Order nicht streichbar";                      // code 5
inline constexpr const char* kStopRefused = "STP-Limit auf der falschen Seite des Last-Kurses"; // code 6

// "WexBuffer": what the outside program sent and was not yet cut into messages.
// A text without FrameStart is one message as a whole (a line typed on a terminal); in
// framed text the bytes before a FrameStart are dropped and an unfinished frame waits for
// the rest. An unfinished frame larger than the capacity is dropped.
class WexBuffer {
public:
    explicit WexBuffer(qsizetype capacity = kDefaultCapacity) : m_capacity(capacity) {}
    static constexpr qsizetype kDefaultCapacity = 1024 * 1024;

    // Receives one arrival and hands every message to `handle` in order; `framed` tells
    // whether it came between frame characters. When `handle` returns false the rest of
    // the buffer is dropped (the connection is being closed). Returns false when an
    // unfinished frame outgrew the capacity and was dropped.
    bool receive(QByteArrayView bytes, const std::function<bool(QByteArrayView message, bool framed)>& handle);
    void clear();
    const QByteArray& pending() const { return m_data; }

private:
    QByteArray m_data;
    qsizetype m_scanned = 0; // bytes after the frame start known to hold no FrameEnd
    qsizetype m_capacity;
    bool m_discarding = false; // after an overflow: drop bytes up to the next frame start
};

} // namespace korvi
