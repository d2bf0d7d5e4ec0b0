#include "messages.h"
#include "dates.h"

#include "connection/connection.h"
#include "fields.h"
#include "loglist.h"
#include "programfiles.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QTimer>
#include <limits>

namespace korvi {

Messages::Messages(State& state, Connection& connection, LogList& outgoing, LogList& protocol,
                   Prompts& prompts, Sound& sound, Clock& clock, QObject* parent)
    : QObject(parent), m_state(state), m_connection(connection), m_outgoing(outgoing),
      m_protocol(protocol), m_prompts(prompts), m_sound(sound), m_clock(clock)
{
}

void Messages::setMessageLine(const QString& text)
{
    const QString kept = LogList::shortened(text, kMaxMessageChars);
    // The history follows the changes of the line, as its change event did.
    if (kept == m_line && !m_history.isEmpty())
        return;
    m_line = kept;
    if (m_history.size() >= kMaxHistory)
        m_history.removeFirst();
    m_history.append(kept);
    emit messageLineChanged(kept);
    emit historyAdded(kept);
}

void Messages::ShowMessage(const QString& text)
{
    setMessageLine(text);
    if (m_noPopup)
        return;
    m_sound.beep();
    emit popupRequested(LogList::shortened(text, kMaxMessageChars));
}

QString Messages::stamped(QByteArrayView data) const
{
    return clockText(m_clock.now().time()) + QLatin1Char(' ') +
           fromWire(data);
}

void Messages::WS_Message(QByteArrayView data)
{
    ShowMessage(stamped(data));
    if (upperSingleByte(data) != "FALSCHES PA\xdfWORT" || m_credentialsPending)
        return;
    // The dialog runs after the receive step has returned: a dialog inside it would hold
    // back every frame that arrives while it is open.
    m_credentialsPending = true;
    QTimer::singleShot(0, this, &Messages::askNewCredentials);
}

void Messages::askNewCredentials()
{
    // The reconnect watchdog rests while the dialog is open, so that it does not log in
    // again with the old password meanwhile.
    const bool keep = m_connection.KeepConnected;
    m_connection.KeepConnected = false;
    QString user = fromWire(m_connection.userField());
    QString password = fromWire(m_connection.passwordField());
    const bool ok = m_prompts.credentials(user, password);
    m_credentialsPending = false;
    if (!ok) {
        emit credentialsCancelled();
        return;
    }
    m_connection.setUserField(toWire(user));
    m_connection.setPasswordField(toWire(password));
    // A "USER GESPERRT" handled while the dialog was open keeps the reconnects off.
    if (keep && !m_connection.KeepConnected)
        m_connection.KeepConnected = true;
}

void Messages::WS_SendAnnotation(QByteArrayView data) { ShowMessage(stamped(data)); }

QString Messages::WS_SendDocument(QByteArrayView data)
{
    Fields fields;
    const int count = fields.split(data, std::numeric_limits<int>::max(), ';');
    for (int i = 1; i <= count; ++i)
        m_outgoing.add(fromWire(fields[i]));

    QByteArrayView name = fields[1];
    if (name.startsWith("FILE="))
        name = name.sliced(5);
    QString written;
    if (!isPlainFileName(name)) {
        // Only plain names of the working folder are accepted: a server must not reach
        // other folders or devices.
        m_protocol.add(QStringLiteral("F:WS_SendDocument Dateiname abgelehnt: ") + fromWire(name));
    } else if (isProgramFile(name)) {
        // Only the checked transfer delivers an update, and a document must not place
        // orders, change settings or replace the price history.
        m_protocol.add(QStringLiteral("F:WS_SendDocument Datei des Programms abgelehnt: ") + fromWire(name));
    } else {
        QByteArray content;
        for (int i = 2; i <= count; ++i)
            content.append(fields[i]).append("\r\n");
        const QString fileName = fromWire(name);
        if (writeFileUnsynced(m_state.filePath(fileName), content)) {
            written = fileName;
            recordDocument(fileName);
        } else {
            m_protocol.add(QStringLiteral("F:WS_SendDocument ") + fileName);
        }
    }
    m_documentsPending = true;
    return written;
}

void Messages::recordDocument(const QString& name)
{
    if (!m_documentsRead) {
        m_documentsRead = true;
        if (QByteArray bytes; readWholeFile(m_state.filePath(QLatin1String(kDocumentRecord)), bytes)) {
            TextFileReader reader(bytes);
            for (QByteArray line; reader.rawLine(line);) {
                const QString known = fromWire(line);
                if (!line.isEmpty() && isPlainFileName(line) && !isProgramFile(line) &&
                    !m_documentNames.contains(known)) {
                    m_documents.append(known);
                    m_documentNames.insert(known);
                }
            }
        }
    }
    // A document received again counts from its newest arrival.
    if (m_documents.isEmpty() || m_documents.constLast() != name) {
        if (m_documentNames.contains(name))
            m_documents.removeOne(name);
        m_documents.append(name);
        m_documentNames.insert(name);
    }
    m_recordDirty = true;
    while (m_documents.size() > m_maxDocuments) {
        const QString oldest = m_documents.takeFirst();
        m_documentNames.remove(oldest);
        const QString path = m_state.filePath(oldest);
        if (exist(path) && !loesch_datei(path))
            m_protocol.add(QStringLiteral("F:WS_SendDocument ") + oldest +
                           QStringLiteral(" nicht gel\u00f6scht"));
        ++m_removedDocuments;
        m_lastRemoved = oldest;
    }
}

void Messages::settle()
{
    if (m_removedDocuments > 0) {
        m_protocol.add(
            QStringLiteral(
                "Dokumente: %1 \u00e4lteste gel\u00f6scht (bis %2), h\u00f6chstens %3 werden behalten")
                .arg(m_removedDocuments)
                .arg(m_lastRemoved)
                .arg(m_maxDocuments));
        m_removedDocuments = 0;
    }
    if (m_recordDirty) {
        m_recordDirty = false;
        TextFileWriter w;
        for (const QString& name : std::as_const(m_documents))
            w.text(toWire(name));
        if (!writeFileAtomically(m_state.filePath(QLatin1String(kDocumentRecord)), w.bytes()))
            m_protocol.add(QStringLiteral("F:WS_SendDocument ") + QLatin1String(kDocumentRecord));
    }
    if (m_documentsPending) {
        m_documentsPending = false;
        emit documentsChanged();
    }
}

} // namespace korvi
