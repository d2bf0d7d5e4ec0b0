#pragma once

#include <QObject>
#include <QStringList>

namespace korvi {

// A protocol list of one of the windows ("L_Prot", "List5", "List2", "List1"). The user
// empties it with a double click. It keeps the newest `kMaxLines` lines (the oldest go
// first), and a line longer than `kMaxLineChars` keeps its beginning with its full length
// noted, so a client that runs for weeks, or a server that sends a huge message, cannot
// make the list grow without end or make the window measure megabytes of text.
class LogList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    static constexpr qsizetype kMaxLines = 5000;
    static constexpr qsizetype kMaxLineChars = 400;

    // The line as the list keeps it: a long one cut, with " ... (n Zeichen)" after it.
    static QString shortened(const QString& line, qsizetype maxChars = kMaxLineChars)
    {
        if (line.size() <= maxChars)
            return line;
        return line.left(maxChars) + QStringLiteral(" ... (") + QString::number(line.size()) +
               QStringLiteral(" Zeichen)");
    }

    void add(const QString& line)
    {
        const QString kept = shortened(line);
        if (m_lines.size() >= kMaxLines) {
            m_lines.removeFirst();
            ++m_dropped;
        }
        m_lines.append(kept);
        emit added(kept);
    }
    void clear()
    {
        m_lines.clear();
        emit cleared();
    }
    const QStringList& lines() const { return m_lines; }
    bool contains(const QString& line) const { return m_lines.contains(line); }
    // Lines dropped at the front since the program started.
    qint64 dropped() const { return m_dropped; }

signals:
    void added(const QString& line);
    void cleared();

private:
    QStringList m_lines;
    qint64 m_dropped = 0;
};

} // namespace korvi
