#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// The pure parts of the chat service: cleaning a line, telling private from public lines,
// the per-participant line budget and the chat messages' texts.
namespace korvi::server::chat {

// Longest text relayed; the rest of a longer line is cut off.
inline constexpr qsizetype kMaxLineChars = 500;
// Lines one participant may send within one second; further lines are dropped.
inline constexpr int kMaxLinesPerSecond = 5;

// Removes control bytes (below 0x20 and 0x7F) and cuts the text at kMaxLineChars.
QByteArray cleanText(QByteArrayView text);

// What "@C=" carries. A private line is name ";" text. A public line is the text alone
// when it holds no ";", and ";" followed by the text when it does, so that no part of a
// public text can be read as a recipient. Therefore every line with a name before its
// first ";" is private, whoever that name belongs to: a private line to a name that is
// not in the chat is refused, never relayed to everybody.
struct ChatLine {
    bool isPrivate = false;
    QByteArray recipient; // as typed, for private lines
    QByteArrayView text;  // the text after the name and ";" (private), after the leading
                          // ";" (public with ";"), or the whole body
};
ChatLine parseLine(QByteArrayView body);

// The line budget of one participant: a bucket of kMaxLinesPerSecond lines that refills at
// that many lines a second, so a steady five a second passes however the lines jitter,
// while a faster stream loses what goes beyond. The first dropped line of a flood asks for
// one warning; the next warning is due only after a whole second without drops.
class LineBudget {
public:
    enum class Verdict { Pass, Drop, DropAndWarn };
    Verdict take(qint64 nowMs);

private:
    double m_tokens = kMaxLinesPerSecond;
    qint64 m_last = -1;
    qint64 m_lastDrop = -1;
};

// The others hear of a participant entering or leaving the chat ("@CU1", "@CU0") only
// when it lasts: a leave waits kQuietMs, and an enter within that time takes it back
// without a word, so a box ticked on and off (or a connection that comes back) does not
// flood everybody's conversation.
class PresenceNotices {
public:
    static constexpr qint64 kQuietMs = 3000;

    // The participant's first connection entered; true when the others are to be told
    // (false: it had left moments ago, at `*leftAt`, and nobody was told).
    bool entered(qint64 participant, qint64* leftAt = nullptr);
    // Its last connection left at `nowMs`; the notice waits.
    void left(qint64 participant, const QByteArray& name, qint64 nowMs);
    // The names whose leave notice is due at `nowMs`, in the order they left; handed out once.
    std::vector<QByteArray> due(qint64 nowMs);
    bool waiting() const { return !m_leaves.empty(); }

private:
    struct Leave {
        qint64 participant;
        QByteArray name;
        qint64 at;
    };
    std::vector<Leave> m_leaves; // in the order they left
};

// "@SCU=" the names, separated by ";".
QByteArray userList(const std::vector<QByteArray>& names);
// "@CU1=" name and "@CU0=" name.
QByteArray userEnters(QByteArrayView name);
QByteArray userLeaves(QByteArrayView name);
// "@RC=" sender ":" text; a private line says so in front of its text, so that the sender
// part stays the bare name the client picks as the recipient of a reply.
QByteArray chatLine(QByteArrayView sender, QByteArrayView text, bool isPrivate);
// "@RT=" ticker ";" quantity (negative for a sale) ";" price: one trade of the game,
// without the name of who made it.
QByteArray tradeLine(QByteArrayView ticker, bool buy, qint32 quantity, double price);

// The texts the sender is told.
inline constexpr QByteArrayView kTooFast = "@MSG=Chat: mehr als 5 Zeilen pro Sekunde, Zeilen verworfen";
QByteArray notPresent(QByteArrayView name);

} // namespace korvi::server::chat
