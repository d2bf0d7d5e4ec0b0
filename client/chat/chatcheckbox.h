#pragma once

#include <QCheckBox>
#include <QPointer>

namespace korvi {

class ChatRoom;
class ChatWindow;

// The main window's box "CHAT": it opens and closes the chat window and hides while the
// server allows no chat.
class ChatCheckBox : public QCheckBox {
    Q_OBJECT
public:
    ChatCheckBox(ChatRoom& room, QWidget* mainWindow);
    ~ChatCheckBox() override;

    ChatWindow* window() const;

private:
    void open();
    void close();

    ChatRoom& m_room;
    QWidget* m_mainWindow;
    QPointer<ChatWindow> m_window;
};

// The box "Chat mit Sound" of the settings page.
QCheckBox* makeChatSoundBox(ChatRoom& room, QWidget* parent);

} // namespace korvi
