#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>

namespace korvi {

// Builds the line-oriented text files of the working folder: CR LF line ends, quoted
// texts, and number lines in the leading-blank form with one trailing blank.
class TextFileWriter {
public:
    void quoted(QByteArrayView text);
    void text(QByteArrayView text);
    void number(double value);       // written with double precision
    void singleNumber(float value);  // written with single precision
    void integer(qint64 value);      // leading-blank form of a whole number
    const QByteArray& bytes() const { return m_out; }

private:
    QByteArray m_out;
};

// Reads such a file one item per line. A quoted line gives the text between the quotes;
// an unquoted one is read up to the first comma, blanks around it skipped. Past the end
// every read reports false and leaves its target alone, so a short file keeps defaults.
class TextFileReader {
public:
    explicit TextFileReader(const QByteArray& content);

    bool atEnd() const { return m_next >= m_lines.size(); }
    bool item(QByteArray& out);
    // The next line whole, as it stands in the file.
    bool rawLine(QByteArray& out);
    bool number(double& out);
    bool int16(qint16& out);

private:
    QByteArrayList m_lines;
    qsizetype m_next = 0;
};

// Single-byte text: each byte is one character, both ways.
inline QString fromWire(QByteArrayView bytes) { return QString::fromLatin1(bytes); }
inline QByteArray toWire(const QString& text) { return text.toLatin1(); }

// Upper case for single-byte text: a-z and the accented letters change, "ß" stays.
QByteArray upperSingleByte(QByteArrayView text);

// Files of the working folder.
bool exist(const QString& path);
bool loesch_datei(const QString& path);
// Writes the whole file or nothing: a crash or a full disk never leaves half a file.
bool writeFileAtomically(const QString& path, const QByteArray& content);
// The same for a file that holds a secret: the new file is readable and writable by its
// owner only from its first byte on, whatever the old file's mode was.
bool writePrivateFileAtomically(const QString& path, const QByteArray& content);
// Writes the whole file or nothing as far as this program goes (a crash of the program
// never leaves half a file), without waiting for the disk: for files the server can send
// again, thousands of which may arrive at once. The file is readable by its owner only.
bool writeFileUnsynced(const QString& path, const QByteArray& content);
// Reads the whole file; false when it is missing or unreadable.
bool readWholeFile(const QString& path, QByteArray& out);
// The name of the file in `folder` that matches `name` without regard to case, or
// `name` itself when none does.
QString findNoCase(const QString& folder, const QString& name);
// True for a plain file name that stays inside the working folder: no folder part, no
// "..", no drive or device name.
bool isPlainFileName(QByteArrayView name);

} // namespace korvi
