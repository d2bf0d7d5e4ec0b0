#include "chatcheckbox.h"

#include "chatroom.h"
#include "chatwindow.h"

#include <QSignalBlocker>

namespace korvi {

ChatCheckBox::ChatCheckBox(ChatRoom& room, QWidget* mainWindow)
    : QCheckBox(QStringLiteral("CHAT"), mainWindow), m_room(room), m_mainWindow(mainWindow)
{
    connect(this, &QCheckBox::clicked, this, [this](bool ticked) { m_room.Check3_Click(ticked); });
    connect(&room, &ChatRoom::chatBoxChanged, this, [this](bool ticked) {
        const QSignalBlocker quiet(this);
        setChecked(ticked);
    });
    connect(&room, &ChatRoom::levelChanged, this, [this](int level) { setVisible(level > 0); });
    connect(&room, &ChatRoom::openWindow, this, &ChatCheckBox::open);
    connect(&room, &ChatRoom::closeWindow, this, &ChatCheckBox::close);
}

ChatCheckBox::~ChatCheckBox() { delete m_window.data(); }

ChatWindow* ChatCheckBox::window() const { return m_window.data(); }

void ChatCheckBox::open()
{
    if (!m_window || !m_room.ChatOpen) {
        // Closed by its own frame, the window goes (later); the next tick opens a fresh one.
        m_window = new ChatWindow(m_room, m_mainWindow);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_window->show();
    m_window->raise();
}

void ChatCheckBox::close()
{
    if (!m_window)
        return;
    m_window->close();
    m_window = nullptr;
}

QCheckBox* makeChatSoundBox(ChatRoom& room, QWidget* parent)
{
    auto* box = new QCheckBox(QStringLiteral("Chat mit Sound"), parent);
    box->setChecked(room.chatSound());
    QObject::connect(box, &QCheckBox::clicked, &room, [&room](bool on) { room.Check4_Click(on); });
    QObject::connect(&room, &ChatRoom::chatSoundChanged, box, [box](bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    });
    return box;
}

} // namespace korvi
