#pragma once

#include <QObject>
#include <QStringList>

namespace korvi {

// A protocol list of one of the windows ("L_Prot", "List5", "List2", "List1"). It only
// grows; the user empties it with a double click.
class LogList : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void add(const QString& line)
    {
        m_lines.append(line);
        emit added(line);
    }
    void clear()
    {
        m_lines.clear();
        emit cleared();
    }
    const QStringList& lines() const { return m_lines; }
    bool contains(const QString& line) const { return m_lines.contains(line); }

signals:
    void added(const QString& line);
    void cleared();

private:
    QStringList m_lines;
};

} // namespace korvi
