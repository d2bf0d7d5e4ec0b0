#include "textfile.h"

#include "numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <filesystem>

namespace korvi {

void TextFileWriter::quoted(QByteArrayView text)
{
    m_out.append('"').append(text).append("\"\r\n");
}

void TextFileWriter::text(QByteArrayView text) { m_out.append(text).append("\r\n"); }

void TextFileWriter::number(double value) { m_out.append(writeDouble(value)).append(" \r\n"); }

void TextFileWriter::singleNumber(float value)
{
    m_out.append(writeSingle(value)).append(" \r\n");
}

void TextFileWriter::integer(qint64 value)
{
    m_out.append(value < 0 ? "" : " ").append(QByteArray::number(value)).append(" \r\n");
}

TextFileReader::TextFileReader(const QByteArray& content)
{
    m_lines = content.split('\n');
    for (QByteArray& line : m_lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // A final line end leaves an empty piece that is not a line of its own.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

bool TextFileReader::item(QByteArray& out)
{
    if (atEnd())
        return false;
    const QByteArray& line = m_lines[m_next++];
    const QByteArray t = line.trimmed();
    if (t.startsWith('"')) {
        const qsizetype close = t.indexOf('"', 1);
        out = close < 0 ? t.mid(1) : t.mid(1, close - 1);
        return true;
    }
    const qsizetype comma = t.indexOf(',');
    out = (comma < 0 ? t : t.left(comma)).trimmed();
    return true;
}

bool TextFileReader::rawLine(QByteArray& out)
{
    if (atEnd())
        return false;
    out = m_lines[m_next++];
    return true;
}

bool TextFileReader::number(double& out)
{
    QByteArray t;
    if (!item(t))
        return false;
    out = readNumber(t);
    return true;
}

bool TextFileReader::int16(qint16& out)
{
    double v = 0;
    if (!number(v))
        return false;
    // A value that does not fit leaves the default in place.
    if (const auto i = toInt16(v))
        out = *i;
    return true;
}

QByteArray upperSingleByte(QByteArrayView text)
{
    QByteArray out(text.data(), text.size());
    for (char& ch : out) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            ch = static_cast<char>(c - 0x20);
    }
    return out;
}

bool exist(const QString& path) { return QFileInfo(path).isFile(); }

bool loesch_datei(const QString& path) { return QFile::remove(path); }

namespace {

bool writeWhole(const QString& path, const QByteArray& content, bool secret)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // The temporary file takes the mode before it holds anything; the rename keeps it.
    if (secret && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return false;
    }
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

bool writeFileAtomically(const QString& path, const QByteArray& content)
{
    return writeWhole(path, content, false);
}

bool writePrivateFileAtomically(const QString& path, const QByteArray& content)
{
    return writeWhole(path, content, true);
}

bool writeFileUnsynced(const QString& path, const QByteArray& content)
{
    // A hidden temporary file beside the target, renamed over it once complete.
    QTemporaryFile file(QFileInfo(path).absolutePath() + QStringLiteral("/.korvi-XXXXXX"));
    if (!file.open() || file.write(content) != content.size() || !file.flush())
        return false;
    file.close();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(file.fileName()).toStdString()),
                            std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        return false;
    file.setAutoRemove(false); // it is the target now
    return true;
}

bool readWholeFile(const QString& path, QByteArray& out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    out = file.readAll();
    return file.error() == QFileDevice::NoError;
}

QString findNoCase(const QString& folder, const QString& name)
{
    const QDir dir(folder);
    if (dir.exists(name))
        return dir.filePath(name);
    const QStringList entries = dir.entryList(QDir::Files);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return dir.filePath(name);
}

bool isPlainFileName(QByteArrayView name)
{
    const QByteArray n = name.trimmed().toByteArray();
    if (n.isEmpty() || n == "." || n == "..")
        return false;
    if (n.contains('/') || n.contains('\\') || n.contains(':') || n.contains('\0'))
        return false;
    // Device names of the old desktop system, with or without an extension.
    static const QByteArrayList kDevices{"CON", "PRN", "AUX", "NUL", "COM1", "COM2", "COM3",
                                         "COM4", "LPT1", "LPT2", "LPT3"};
    const QByteArray stem = upperSingleByte(n.left(n.indexOf('.') < 0 ? n.size() : n.indexOf('.')));
    return !kDevices.contains(stem);
}

} // namespace korvi
