#include "fileinterface.h"
#include "dates.h"

#include "externalorders.h"
#include "loglist.h"
#include "numbers.h"
#include "seams.h"
#include "textfile.h"
#include "wexprotocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace korvi {

QByteArrayList readCommandItems(QByteArrayView content)
{
    QByteArrayList items;
    qsizetype i = 0;
    const qsizetype n = content.size();
    auto lineEnd = [&](qsizetype k) { return content[k] == '\r' || content[k] == '\n'; };
    while (i < n) {
        while (i < n && (content[i] == ' ' || content[i] == '\t'))
            ++i;
        QByteArray item;
        if (i < n && content[i] == '"') {
            // Quoted: up to the closing quote (or the line end); the rest up to the next
            // comma or line end is skipped.
            ++i;
            const qsizetype from = i;
            while (i < n && content[i] != '"' && !lineEnd(i))
                ++i;
            item = content.sliced(from, i - from).toByteArray();
            if (i < n && content[i] == '"')
                ++i;
            while (i < n && content[i] != ',' && !lineEnd(i))
                ++i;
        } else {
            const qsizetype from = i;
            while (i < n && content[i] != ',' && !lineEnd(i))
                ++i;
            item = content.sliced(from, i - from).trimmed().toByteArray();
        }
        // The separator: a comma, or one line end (CR LF, CR or LF).
        if (i < n && content[i] == ',') {
            ++i;
        } else if (i < n && content[i] == '\r') {
            ++i;
            if (i < n && content[i] == '\n')
                ++i;
        } else if (i < n && content[i] == '\n') {
            ++i;
        }
        items.append(item);
    }
    return items;
}

QByteArray orderConfirmationLine(QByteArrayView reference, qint32 orderUserId)
{
    QByteArray line;
    line += '"';
    line += reference;
    line += "\";";
    line += leadingBlank(orderUserId);
    line += " \r\n";
    return line;
}

QByteArray orderRefusalLine(QByteArrayView reference, int code, QByteArrayView text)
{
    QByteArray line = orderConfirmationLine(reference, 0);
    line.chop(2);
    line += ";@ER;";
    line += leadingBlank(code);
    line += ';';
    line += text;
    line += "\r\n";
    return line;
}

FileInterface::FileInterface(const QString& folder, ExternalOrders& orders, Clock& clock, LogList& list2,
                             LogList& protocol, QObject* parent)
    : QObject(parent), m_folder(folder), m_orders(orders), m_clock(clock), m_list2(list2), m_protocol(protocol)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &FileInterface::tick);
}

QString FileInterface::path(const char* name) const { return QDir(m_folder).filePath(QLatin1String(name)); }

void FileInterface::Check6_Click(bool ticked)
{
    if (ticked)
        m_timer.start();
    else
        m_timer.stop();
    emit listEnabled(ticked);
}

bool FileInterface::append(const char* name, const QByteArray& line)
{
    // Opened, written and closed for every line: a line once reported is on disk.
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const bool ok = file.write(line) == line.size() && file.flush();
    file.close();
    return ok;
}

void FileInterface::WriteOrderConfirmation(const QByteArray& reference, qint32 orderUserId)
{
    if (!isOn())
        return;
    if (!append(kConfirmationFile, orderConfirmationLine(reference, orderUserId)))
        m_protocol.add(QStringLiteral("F:WriteOrderConfirmation ") + QLatin1String(kConfirmationFile));
}

void FileInterface::WriteOrderRefusal(const QByteArray& reference, int code, const QByteArray& text)
{
    if (!isOn())
        return;
    if (!append(kConfirmationFile, orderRefusalLine(reference, code, text)))
        m_protocol.add(QStringLiteral("F:WriteOrderRefusal ") + QLatin1String(kConfirmationFile));
}

void FileInterface::tick()
{
    // A question asked by a command ("GLATT") lets the timer fire again meanwhile.
    if (m_running)
        return;
    m_running = true;
    const auto done = qScopeGuard([this] { m_running = false; });
    const QString command = path(kCommandFile);
    if (!exist(command))
        return;
    const QString work = path(kWorkFile);
    if (exist(work))
        loesch_datei(work);
    // Taken over by renaming: from here on the other program may write a new command file.
    // When the rename fails nothing is executed, so an old work file never runs again.
    if (!QFile::rename(command, work))
        return;
    QByteArray content;
    const bool tooLarge = QFileInfo(work).size() > kMaxFileSize;
    const bool read = !tooLarge && readWholeFile(work, content);
    // The work file goes before its commands run: a file that cannot be deleted is not
    // executed, so that no command file is ever executed twice.
    if (!loesch_datei(work) || !read) {
        m_protocol.add(QStringLiteral("F:ASCII_Timer ") + QLatin1String(kWorkFile));
        return;
    }
    const QByteArray last = execute(content);
    append(kProtocolFile, clockText(m_clock.now().time()).toLatin1() + ' ' + last + "\r\n");
}

QByteArray FileInterface::execute(QByteArrayView content)
{
    const QByteArrayList items = readCommandItems(content);
    for (const QByteArray& item : items) {
        if (item.isEmpty() || item.startsWith('\''))
            continue;
        m_list2.add(clockText(m_clock.now().time()) + QLatin1Char(' ') + fromWire(item));
        const CommandFields f(item);
        if (f[1] == "@PO")
            m_orders.Ext_Placeorder(item.size() > 4 ? QByteArrayView(item).sliced(4) : QByteArrayView());
        else if (f[1] == "@CO")
            m_orders.Ext_CancelOrder(toInt32(readNumber(f[2])).value_or(0));
        else if (f[1] == "@GL" && glatt)
            glatt();
        else if (f[1] == "@CA" && cancelAll)
            cancelAll();
    }
    return items.isEmpty() ? QByteArray() : items.last();
}

} // namespace korvi
