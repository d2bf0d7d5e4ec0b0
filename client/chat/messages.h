#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QSet>
#include <QStringList>

namespace korvi {

class Clock;
class Connection;
class LogList;
class Prompts;
class Sound;
struct State;

// The server's messages, annotations and documents. Messages go to the main window's
// message line and its history ("Meldungen...") and, unless the user turned it off, to the
// non-modal message window with a beep. The windows only show what the signals say.
class Messages : public QObject {
    Q_OBJECT
public:
    Messages(State& state, Connection& connection, LogList& outgoing, LogList& protocol,
             Prompts& prompts, Sound& sound, Clock& clock, QObject* parent = nullptr);

    // "ShowMessage": the message line, and the message window with a beep unless turned off.
    void ShowMessage(const QString& text);
    // Writes the message line only (other parts' status texts); it enters the history too.
    void setMessageLine(const QString& text);
    // "nicht mehr als Fenster zeigen": from now on messages no longer open the window.
    void setMessageNoPopup() { m_noPopup = true; }
    bool messageNoPopup() const { return m_noPopup; }

    const QString& messageLine() const { return m_line; }
    // The newest messages, oldest first; older ones are dropped so a client that runs
    // for weeks keeps a flat memory.
    static constexpr qsizetype kMaxHistory = 10000;
    // A message longer than this is kept (line, history, window) cut, with its length
    // noted: a server's text decides neither memory nor window sizes.
    static constexpr qsizetype kMaxMessageChars = 1000;
    const QStringList& history() const { return m_history; }

    void WS_Message(QByteArrayView data);
    void WS_SendAnnotation(QByteArrayView data);
    // Writes a document of the server into the working folder. Returns the file name, or
    // an empty name when nothing was written. The statement view hears of it once the
    // arrival of data is handled (`settle`).
    QString WS_SendDocument(QByteArrayView data);
    // The end of one arrival of data: the record of received documents is saved and the
    // statement view refreshed, once however many documents came.
    void settle();

    // At most this many received documents are kept in the working folder; the oldest
    // received go first. Files that were there before the record began are never removed.
    static constexpr qsizetype kMaxDocuments = 2000;
    // The record of received documents, oldest first, one name a line.
    static constexpr const char* kDocumentRecord = "KORVIDOK.LST";
    // Tests and benchmarks set a smaller bound.
    void setMaxDocuments(qsizetype n) { m_maxDocuments = n; }

signals:
    void messageLineChanged(const QString& text);
    void historyAdded(const QString& text);
    // Show the message window (reuse it when open) with this text.
    void popupRequested(const QString& text);
    // A document was written or refused: the account statement view reads its files again.
    void documentsChanged();
    // "Abbruch" in the credentials dialog after a wrong password: the program ends at once,
    // without saving.
    void credentialsCancelled();

private:
    QString stamped(QByteArrayView data) const;
    // Notes a written document in the record and removes the oldest beyond the bound.
    void recordDocument(const QString& name);
    void askNewCredentials();

    State& m_state;
    Connection& m_connection;
    LogList& m_outgoing;
    LogList& m_protocol;
    Prompts& m_prompts;
    Sound& m_sound;
    Clock& m_clock;
    QString m_line;
    QStringList m_history;
    bool m_noPopup = false;
    bool m_credentialsPending = false;
    // Received documents, oldest first (read from the record at the first document).
    QStringList m_documents;
    QSet<QString> m_documentNames;
    bool m_documentsRead = false;
    bool m_documentsPending = false;
    bool m_recordDirty = false;
    qsizetype m_maxDocuments = kMaxDocuments;
    qsizetype m_removedDocuments = 0;
    QString m_lastRemoved;
};

} // namespace korvi
