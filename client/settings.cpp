#include "settings.h"

#include "fields.h"
#include "numbers.h"
#include "textfile.h"

namespace korvi {

namespace {

// How an unquoted text line reads back: a leading double quote starts a quoted text, a
// comma ends the text, outer blanks go.
QByteArray readBackUnquoted(const QByteArray& text)
{
    QByteArray out;
    TextFileReader r(text + "\r\n");
    r.item(out);
    return out;
}

// A text is written as it is when it reads back unchanged, and in double quotes otherwise
// (a comma, outer blanks, a leading double quote), so that a password survives being saved.
void textLine(TextFileWriter& w, const QByteArray& text)
{
    if (readBackUnquoted(text) == text)
        w.text(text);
    else
        w.quoted(text);
}

// A text line: a line in double quotes gives everything between its first and its last
// character, so a text holding double quotes itself reads back whole; other lines read as
// the file reader reads items.
bool textItem(TextFileReader& r, QByteArray& target)
{
    QByteArray line;
    if (!r.rawLine(line))
        return false;
    const QByteArray t = line.trimmed();
    if (t.size() >= 2 && t.startsWith('"') && t.endsWith('"')) {
        target = t.mid(1, t.size() - 2);
        return true;
    }
    TextFileReader single(line + "\r\n");
    return single.item(target);
}

void nonEmpty(TextFileReader& r, QByteArray& target)
{
    QByteArray v;
    if (textItem(r, v) && !v.isEmpty())
        target = v;
}

void single(TextFileReader& r, float& target)
{
    double v = 0;
    if (r.number(v))
        target = static_cast<float>(v);
}

} // namespace

bool parseSettings(const QByteArray& content, Settings& s)
{
    if (content.isEmpty())
        return false;
    TextFileReader r(content);
    textItem(r, s.userName);
    textItem(r, s.serverAddress);
    r.int16(s.ipCheck);
    textItem(r, s.reserved4);
    textItem(r, s.reserved5);
    r.int16(s.reserved6);
    r.item(s.orderGridWidths);
    r.item(s.execGridWidths);
    // Column widths are separated by ";", so the comma cut of the reader never shortens them.
    single(r, s.width);
    single(r, s.height);
    single(r, s.top);
    single(r, s.left);
    r.int16(s.zeigeAlleOrders);
    textItem(r, s.password);
    textItem(r, s.colourFile);
    r.int16(s.safetyQuestion);
    r.int16(s.chatSound);
    textItem(r, s.chatSoundFile);
    r.int16(s.fennixExtern);
    r.int16(s.asciiRemote);
    r.int16(s.executionSound);
    nonEmpty(r, s.wexPort);
    nonEmpty(r, s.wexUser);
    nonEmpty(r, s.wexIp);
    return true;
}

QByteArray serializeSettings(const Settings& s)
{
    TextFileWriter w;
    w.quoted(s.userName);
    w.quoted(s.serverAddress);
    w.integer(s.ipCheck);
    w.quoted(s.reserved4);
    w.quoted(s.reserved5);
    w.integer(s.reserved6);
    w.text(s.orderGridWidths);
    w.text(s.execGridWidths);
    w.singleNumber(s.width);
    w.singleNumber(s.height);
    w.singleNumber(s.top);
    w.singleNumber(s.left);
    w.integer(s.zeigeAlleOrders);
    textLine(w, s.password);
    textLine(w, s.colourFile);
    w.integer(s.safetyQuestion);
    w.integer(s.chatSound);
    textLine(w, s.chatSoundFile);
    w.integer(s.fennixExtern);
    w.integer(s.asciiRemote);
    w.integer(s.executionSound);
    textLine(w, s.wexPort);
    w.quoted(s.wexUser);
    textLine(w, s.wexIp);
    return w.bytes();
}

QByteArray formatColumnWidths(const QList<int>& widths)
{
    QByteArray out;
    for (int i = 0; i < widths.size(); ++i) {
        if (i)
            out += ';';
        out += writeDouble(widths[i]);
    }
    return out;
}

QList<int> parseColumnWidths(QByteArrayView text)
{
    QList<int> widths;
    Fields f;
    const int n = qMin(f.split(text, 100, ';'), 100);
    for (int i = 1; i <= n; ++i) {
        // A width that is no sensible number leaves that column as it was built (-1).
        const auto w = toInt32(readNumber(f[i]));
        widths << (w && *w >= 0 && *w <= 100000 ? *w : -1);
    }
    return widths;
}

bool loadSettingsFile(const QString& folder, Settings& s)
{
    QByteArray content;
    if (!readWholeFile(findNoCase(folder, kSettingsFileName), content))
        return false;
    return parseSettings(content, s);
}

bool saveSettingsFile(const QString& folder, const Settings& s)
{
    // The file holds the password (line 14) and the order socket's user name (line 23).
    return writePrivateFileAtomically(findNoCase(folder, kSettingsFileName), serializeSettings(s));
}

HostAndPort splitServerAddress(QByteArrayView text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return {text.toByteArray(), {}};
    return {text.first(colon).toByteArray(), text.sliced(colon + 1).trimmed().toByteArray()};
}

QByteArray joinServerAddress(const QByteArray& host, const QByteArray& port)
{
    const QByteArray p = port.trimmed();
    return p.isEmpty() || p == kStandardServerPort ? host : host + ':' + p;
}

QByteArray serverAddressToSave(const QByteArray& read, const QByteArray& runOnly, const HostAndPort& inUse)
{
    const QByteArray current = joinServerAddress(inUse.host, inUse.port);
    if (!runOnly.isEmpty()) {
        const HostAndPort given = splitServerAddress(runOnly);
        if (joinServerAddress(given.host, given.port) == current)
            return read;
    }
    return current;
}

} // namespace korvi
