#include "chatroom.h"
#include "dates.h"

#include "connection/connection.h"
#include "fields.h"
#include "framing.h"
#include "loglist.h"
#include "numbers.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QFileInfo>
#include <algorithm>

namespace korvi {

QString CrLfToBlank(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    return text;
}

QString publicChatText(const QString& input)
{
    const QString text = CrLfToBlank(input);
    return text.contains(QLatin1Char(';')) ? QLatin1Char(';') + text : text;
}

QString notInChatText(const QString& name)
{
    return QStringLiteral("Chat: ") + name + QStringLiteral(" ist nicht im Chat");
}

QPoint chatPlacement(const QRect& mainFrame, const QRect& screen, int chatWidth)
{
    if (mainFrame.right() + chatWidth <= screen.right())
        return {mainFrame.right() + 1, mainFrame.top()};
    return {std::max(screen.left(), mainFrame.left() - chatWidth), mainFrame.top()};
}

ChatRoom::ChatRoom(State& state, Connection& connection, Sound& sound, Clock& clock, bool& chatBox,
                   QObject* parent)
    : QObject(parent), m_state(state), m_connection(connection), m_sound(sound), m_clock(clock),
      m_chatBox(chatBox)
{
}

bool ChatRoom::chatSound() const { return m_state.settings.chatSound != 0; }

QString ChatRoom::timeStamp() const { return clockText(m_clock.now().time()); }

QString ChatRoom::conversationText() const
{
    QString text;
    for (const QString& line : m_lines)
        text += QLatin1String("\r\n") + line;
    return text;
}

void ChatRoom::setRecipient(const QString& text)
{
    m_recipient = text;
    emit recipientChanged(text);
}

void ChatRoom::clearInput()
{
    m_input.clear();
    emit inputChanged(m_input);
}

void ChatRoom::Chatadd(const QString& text)
{
    const QString line = LogList::shortened(text, kMaxLineChars);
    if (m_lines.size() >= kMaxLines)
        m_lines.removeFirst();
    m_lines.append(line);
    emit lineAdded(line);
}

void ChatRoom::WS_SV(QByteArrayView body)
{
    // An unreadable level reads as 0, as every unreadable number does.
    ChatLevel = toInt16(readNumber(body)).value_or(0);
    if (ChatLevel < 0)
        ChatLevel = 0;
    m_placesHidden = ChatLevel == 0;
    if (ChatLevel == 0) {
        // The box is cleared too, so that a later level does not show it ticked without
        // a window, and a reconnect does not announce the chat again.
        if (m_chatBox) {
            m_chatBox = false;
            emit chatBoxChanged(false);
        }
        if (ChatOpen)
            emit closeWindow();
        if (clearPlaces)
            clearPlaces();
    } else if (zeigposition) {
        zeigposition();
    }
    emit levelChanged(ChatLevel);
}

void ChatRoom::WS_SCU(QByteArrayView body)
{
    if (!ChatOpen)
        return;
    Fields f;
    const int n = std::min(f.split(body, kMaxUsers, ';'), kMaxUsers);
    m_users.clear();
    for (int i = 1; i <= n; ++i)
        m_users.append(fromWire(f[i]));
    emit usersChanged();
}

void ChatRoom::WS_CU1(QByteArrayView body)
{
    const QString name = fromWire(body);
    if (!ChatOpen || name.isEmpty() || m_users.contains(name) || m_users.size() >= kMaxUsers)
        return;
    m_users.append(name);
    emit usersChanged();
    Chatadd(QStringLiteral("User ") + name + QStringLiteral(" betritt Chat"));
}

void ChatRoom::WS_CU0(QByteArrayView body)
{
    const QString name = fromWire(body);
    if (!ChatOpen || !m_users.removeOne(name))
        return;
    emit usersChanged();
    Chatadd(QStringLiteral("User ") + name + QString::fromLatin1(" verl\xe4\xdft Chat"));
}

void ChatRoom::WS_ReceiveChat(QByteArrayView body)
{
    if (ChatLevel < 1 || !ChatOpen)
        return;
    const QString text = fromWire(body);
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString sender = colon < 0 ? QString() : text.left(colon + 1);
    Chatadd(timeStamp() + QLatin1Char(' ') + sender);
    Chatadd(colon < 0 ? text : text.mid(colon + 1));
    if (!chatSound() || m_state.settings.chatSoundFile.isEmpty())
        return;
    // A missing file plays nothing and tells nobody.
    const QString path = m_state.filePath(fromWire(m_state.settings.chatSoundFile));
    if (QFileInfo(path).isFile())
        m_sound.play(path);
}

void ChatRoom::WS_ReceiveTChat(QByteArrayView body)
{
    if (ChatLevel < 1 || !ChatOpen)
        return;
    if (m_trades.size() >= kMaxTrades)
        m_trades.removeFirst();
    const QString line = LogList::shortened(timeStamp() + QLatin1Char(' ') + fromWire(body), kMaxLineChars);
    m_trades.append(line);
    emit tradeAdded(line);
}

void ChatRoom::serverMessage(QByteArrayView body)
{
    if (ChatOpen && body.startsWith("Chat: "))
        Chatadd(fromWire(body));
}

bool ChatRoom::WS_CHAT(int digit) { return m_connection.sendRequest("@CH=" + stri(digit)); }
bool ChatRoom::WS_RCU() { return m_connection.sendRequest("@RCU="); }
bool ChatRoom::WS_CTRADES(int digit) { return m_connection.sendRequest("@CT=" + stri(digit)); }

bool ChatRoom::sendLine(const QByteArray& message)
{
    // A line that cannot go out is not shown as said; the conversation says why, and the
    // input stays for another try. Before the server's greeting a line would be lost too.
    if (!m_connection.canTrade()) {
        Chatadd(QStringLiteral("Nicht gesendet: keine Verbindung zum Server"));
        return false;
    }
    if (ChatLevel < 1) {
        Chatadd(QString::fromLatin1("Nicht gesendet: Chat f\xfcr diesen User nicht freigegeben"));
        return false;
    }
    m_connection.Senddata(frame(message));
    return true;
}

bool ChatRoom::inChat(const QString& name) const
{
    return std::any_of(m_users.begin(), m_users.end(),
                       [&](const QString& user) { return user.compare(name, Qt::CaseInsensitive) == 0; });
}

void ChatRoom::Command1_Click()
{
    if (m_input.isEmpty() || !sendLine("@C=" + toWire(publicChatText(m_input))))
        return;
    Chatadd(timeStamp() + QStringLiteral(" ich:"));
    Chatadd(m_input);
    clearInput();
}

void ChatRoom::Command5_Click()
{
    if (m_recipient.isEmpty() || m_input.isEmpty())
        return;
    // Only to someone in the chat; the server refuses any other name as well, and the
    // input stays so that the recipient can be corrected.
    if (!inChat(m_recipient)) {
        Chatadd(notInChatText(m_recipient));
        return;
    }
    if (!sendLine("@C=" + toWire(m_recipient) + ';' + toWire(m_input)))
        return;
    Chatadd(timeStamp() + QStringLiteral(" ich:P->") + m_recipient + QLatin1Char(':'));
    Chatadd(m_input);
    clearInput();
}

void ChatRoom::Command2_Click()
{
    m_lines.clear();
    emit conversationCleared();
}

void ChatRoom::List1_Click(int index)
{
    if (index >= 0 && index < m_users.size())
        setRecipient(m_users.at(index));
}

void ChatRoom::Text3_Click(const QString& line)
{
    QString picked;
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank >= 0 && line.contains(QLatin1Char(':'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'), blank + 1);
        if (colon > blank)
            picked = line.mid(blank + 1, colon - blank - 1);
    }
    setRecipient(picked);
}

void ChatRoom::Command3_Click()
{
    m_wide = true;
    emit widthChanged(true);
    WS_CTRADES(1);
}

void ChatRoom::Command4_Click()
{
    m_wide = false;
    emit widthChanged(false);
    WS_CTRADES(0);
}

void ChatRoom::Form_Load()
{
    ChatOpen = true;
    m_wide = false;
    stop = false;
}

void ChatRoom::Form_Unload()
{
    if (!ChatOpen)
        return;
    // A new window starts empty, as a newly loaded one does; a feed nobody sees ends.
    ChatOpen = false;
    if (m_wide)
        Command4_Click();
    m_lines.clear();
    m_users.clear();
    m_trades.clear();
    m_recipient.clear();
    m_input.clear();
    // Closed by its own frame while the box is ticked: the box follows, and the server
    // learns that this participant left.
    if (m_chatBox)
        Check3_Click(false);
}

void ChatRoom::Check3_Click(bool ticked)
{
    m_chatBox = ticked;
    emit chatBoxChanged(ticked);
    if (ticked && !ChatOpen)
        emit openWindow();
    else if (!ticked && ChatOpen)
        emit closeWindow();
    WS_CHAT(ticked ? 1 : 0);
    WS_RCU();
}

void ChatRoom::Check4_Click(bool ticked)
{
    m_state.settings.chatSound = ticked ? 1 : 0;
    emit chatSoundChanged(ticked);
}

void ChatRoom::settingsLoaded() { emit chatSoundChanged(chatSound()); }

} // namespace korvi
