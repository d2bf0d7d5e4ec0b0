#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <functional>

namespace korvi {

class Clock;
class Connection;
class Sound;
struct State;

// "CrLfToBlank": every CR LF pair becomes one blank; a lone CR or LF stays.
QString CrLfToBlank(QString text);

// The body of "@C=" for a public line: the text with CR LF pairs as blanks, and, when it
// holds a ";", a ";" in front. The server reads the part before the first ";" as the
// recipient of a private line, so a public text with a ";" of its own must not put a name
// there; with the empty name in front it stays public and keeps every ";".
QString publicChatText(const QString& input);

// What the chat says when the server refuses a private line, and what it says itself when
// the recipient is not in its list.
QString notInChatText(const QString& name);

// Where the chat window goes: beside the main window's frame, on its right when it fits on
// the screen, otherwise on its left (but never off the screen's left edge).
QPoint chatPlacement(const QRect& mainFrame, const QRect& screen, int chatWidth);

// The chat without its window: the level the server allows, the "CHAT" box, the
// conversation, the participant list, the trades feed, the input and recipient fields,
// the chat requests and the handlers of the chat messages. The window ("Chat") shows what
// the signals say and forwards clicks to the methods named after its controls.
class ChatRoom : public QObject {
    Q_OBJECT
public:
    // Bounds of what the window keeps; the oldest lines go first.
    static constexpr int kMaxLines = 5000;
    static constexpr int kMaxTrades = 2000;
    static constexpr int kMaxUsers = 5000;
    // A longer line (the server cuts at 500) is kept cut, with its length noted.
    static constexpr qsizetype kMaxLineChars = 2000;
    // Window widths in pixels: narrow, and widened to show the trades feed.
    static constexpr int kNarrowWidth = 310;
    static constexpr int kWideWidth = 499;

    ChatRoom(State& state, Connection& connection, Sound& sound, Clock& clock, bool& chatBox,
             QObject* parent = nullptr);

    // Fill the two place labels again, and empty them (wired to the account display).
    std::function<void()> zeigposition;
    std::function<void()> clearPlaces;

    qint16 ChatLevel = 0;
    bool ChatOpen = false;
    // The server said level 0: the place labels stay empty until it says otherwise.
    bool placesHidden() const { return m_placesHidden; }
    bool chatBox() const { return m_chatBox; }
    // "Stop" (`Check1`): new lines do not move the views.
    bool stop = false;
    bool wide() const { return m_wide; }
    bool tradesButtonVisible() const { return ChatLevel >= 2; }
    bool chatSound() const;

    const QStringList& lines() const { return m_lines; }       // Text3, line by line
    QString conversationText() const;                          // Text3 as one text, CR LF
    const QStringList& users() const { return m_users; }       // List1
    const QStringList& trades() const { return m_trades; }     // List2
    const QString& input() const { return m_input; }           // Text1 (CR LF line ends)
    const QString& recipient() const { return m_recipient; }   // Text2
    void setInput(const QString& text) { m_input = text; }
    void setRecipient(const QString& text);

    // Server messages.
    void WS_SV(QByteArrayView body);
    void WS_SCU(QByteArrayView body);
    void WS_CU1(QByteArrayView body);
    void WS_CU0(QByteArrayView body);
    void WS_ReceiveChat(QByteArrayView body);
    void WS_ReceiveTChat(QByteArrayView body);
    // A server message ("@MSG"): one about the chat ("Chat: ...", such as a refused private
    // line) is shown in the conversation as well.
    void serverMessage(QByteArrayView body);

    // Requests sent straight on the socket; dropped (false) while not connected.
    bool WS_CHAT(int digit);
    bool WS_RCU();
    bool WS_CTRADES(int digit);

    // The window and its controls.
    void Chatadd(const QString& line);
    void Command1_Click();              // "Senden an alle"
    void Command5_Click();              // "Privat senden an:"
    void Command2_Click();              // "Löschen"
    void List1_Click(int index);        // a name of the participant list
    void Text3_Click(const QString& lineUnderCaret);
    void Command3_Click();              // widen: trades feed on
    void Command4_Click();              // narrow: trades feed off
    void Form_Load();
    void Form_Unload();
    // The main window's boxes "CHAT" and "Chat mit Sound".
    void Check3_Click(bool ticked);
    void Check4_Click(bool ticked);
    // The settings were read: the sound box shows their value.
    void settingsLoaded();

signals:
    void lineAdded(const QString& line);
    void conversationCleared();
    void usersChanged();
    void tradeAdded(const QString& line);
    void inputChanged(const QString& text);
    void recipientChanged(const QString& text);
    void widthChanged(bool wide);
    // The level changed: the "CHAT" box and the widen button show or hide.
    void levelChanged(int level);
    void chatBoxChanged(bool ticked);
    void chatSoundChanged(bool on);
    // The window is to be opened or closed.
    void openWindow();
    void closeWindow();

private:
    QString timeStamp() const;
    void clearInput();
    bool sendLine(const QByteArray& message);
    bool inChat(const QString& name) const;

    State& m_state;
    Connection& m_connection;
    Sound& m_sound;
    Clock& m_clock;
    bool& m_chatBox;
    bool m_wide = false;
    bool m_placesHidden = false;
    QStringList m_lines;
    QStringList m_users;
    QStringList m_trades;
    QString m_input;
    QString m_recipient;
};

} // namespace korvi
