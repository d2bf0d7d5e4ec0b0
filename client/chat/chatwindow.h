#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace korvi {

class ChatRoom;

// "Chat": the conversation, the input line, the recipient field, the participant list and
// the trades list. It only shows the ChatRoom and forwards clicks to it. "Stop" keeps both
// views where the user scrolled while new lines arrive.
class ChatWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 400;

    // Opens beside `mainWindow` (which may be null in tests).
    ChatWindow(ChatRoom& room, QWidget* mainWindow);
    ~ChatWindow() override;

    QPlainTextEdit& conversation() { return m_text3; }
    QPlainTextEdit& input() { return m_text1; }
    QLineEdit& recipientField() { return m_text2; }
    QListWidget& userList() { return m_list1; }
    QListWidget& tradeList() { return m_list2; }
    QCheckBox& stopBox() { return m_check1; }
    QPushButton& widenButton() { return m_command3; }
    QPushButton& narrowButton() { return m_command4; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void appendLine(const QString& line);
    void appendTrade(const QString& line);
    void showUsers();
    void applyWidth(bool wide);
    void showLevel();

    ChatRoom& m_room;
    QPlainTextEdit m_text3;   // the conversation
    QPlainTextEdit m_text1;   // the input
    QLineEdit m_text2;        // the recipient
    QListWidget m_list1;      // "User im Chat"
    QListWidget m_list2;      // the trades feed
    QCheckBox m_check1;       // "Stop"
    QPushButton m_command1;   // "Senden an alle"
    QPushButton m_command2;   // "Löschen"
    QPushButton m_command5;   // "Privat senden an:"
    QPushButton m_command3;   // widen
    QPushButton m_command4;   // narrow
    bool m_unloaded = false;
};

} // namespace korvi
