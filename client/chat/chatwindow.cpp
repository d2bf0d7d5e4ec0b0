#include "chatwindow.h"

#include "chatroom.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

namespace korvi {

ChatWindow::ChatWindow(ChatRoom& room, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window), m_room(room), m_check1(QStringLiteral("Stop")),
      m_command1(QStringLiteral("Senden an alle")), m_command2(QString::fromLatin1("L\xf6schen")),
      m_command5(QStringLiteral("Privat senden an:"))
{
    setWindowTitle(QStringLiteral("Chat"));
    m_text3.setReadOnly(true);
    m_text3.setMaximumBlockCount(ChatRoom::kMaxLines + 1);
    m_text1.setFixedHeight(48);
    m_command3.setFixedWidth(16);
    m_command4.setFixedWidth(16);
    m_command3.setToolTip(QStringLiteral("Trades zeigen"));
    m_command4.setToolTip(QStringLiteral("Trades verbergen"));

    auto* left = new QVBoxLayout;
    left->addWidget(&m_text3, 1);
    left->addWidget(&m_text1);
    // The narrow window leaves the left column about 160 pixels: the buttons go one or two
    // to a row, so that every caption is shown whole.
    left->addWidget(&m_command1);
    auto* clearRow = new QHBoxLayout;
    clearRow->addWidget(&m_command2);
    clearRow->addWidget(&m_check1);
    left->addLayout(clearRow);
    left->addWidget(&m_command5);
    left->addWidget(&m_text2);

    auto* users = new QVBoxLayout;
    users->addWidget(new QLabel(QStringLiteral("User im Chat"), this));
    users->addWidget(&m_list1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(&m_command3);
    buttons->addWidget(&m_command4);
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 3);
    layout->addLayout(users, 1);
    layout->addLayout(buttons);
    layout->addWidget(&m_list2, 2);
    m_list1.setFixedWidth(90);

    connect(&m_command1, &QPushButton::clicked, this, [this] { m_room.Command1_Click(); });
    connect(&m_command5, &QPushButton::clicked, this, [this] { m_room.Command5_Click(); });
    connect(&m_command2, &QPushButton::clicked, this, [this] { m_room.Command2_Click(); });
    connect(&m_command3, &QPushButton::clicked, this, [this] { m_room.Command3_Click(); });
    connect(&m_command4, &QPushButton::clicked, this, [this] { m_room.Command4_Click(); });
    connect(&m_check1, &QCheckBox::toggled, this, [this](bool on) { m_room.stop = on; });
    connect(&m_list1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { m_room.List1_Click(m_list1.row(item)); });
    // The input keeps CR LF line ends, as the messages expect.
    connect(&m_text1, &QPlainTextEdit::textChanged, this, [this] {
        m_room.setInput(m_text1.toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n")));
    });
    connect(&m_text2, &QLineEdit::textEdited, this, [this](const QString& t) { m_room.setRecipient(t); });
    // Only a click of the user picks the recipient: arriving lines move the caret as well,
    // and must never change whom a private line goes to.
    m_text3.viewport()->installEventFilter(this);

    connect(&room, &ChatRoom::lineAdded, this, &ChatWindow::appendLine);
    connect(&room, &ChatRoom::tradeAdded, this, &ChatWindow::appendTrade);
    connect(&room, &ChatRoom::conversationCleared, &m_text3, &QPlainTextEdit::clear);
    connect(&room, &ChatRoom::usersChanged, this, &ChatWindow::showUsers);
    connect(&room, &ChatRoom::inputChanged, this, [this](const QString& t) {
        if (t.isEmpty() && !m_text1.toPlainText().isEmpty())
            m_text1.clear();
    });
    connect(&room, &ChatRoom::recipientChanged, this, [this](const QString& t) {
        if (m_text2.text() != t)
            m_text2.setText(t);
    });
    connect(&room, &ChatRoom::widthChanged, this, &ChatWindow::applyWidth);
    connect(&room, &ChatRoom::levelChanged, this, &ChatWindow::showLevel);

    m_room.Form_Load();
    for (const QString& line : m_room.lines())
        appendLine(line);
    showUsers();
    showLevel();
    applyWidth(false);
    if (mainWindow) {
        const QScreen* screen = mainWindow->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
        move(chatPlacement(mainWindow->frameGeometry(), area, ChatRoom::kNarrowWidth));
    }
}

ChatWindow::~ChatWindow()
{
    // The conversation is torn down after this body; its events must not reach a window
    // that is half gone.
    m_text3.viewport()->removeEventFilter(this);
    if (!m_unloaded) {
        m_unloaded = true;
        m_room.Form_Unload();
    }
}

void ChatWindow::closeEvent(QCloseEvent* event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        m_room.Form_Unload();
    }
    event->accept();
}

bool ChatWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text3.viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            m_room.Text3_Click(m_text3.cursorForPosition(mouse->position().toPoint()).block().text());
    }
    return QWidget::eventFilter(watched, event);
}

void ChatWindow::appendLine(const QString& line)
{
    // "Stop": the line is appended, but the view stays where it was.
    QScrollBar* bar = m_text3.verticalScrollBar();
    const int kept = bar->value();
    const QTextCursor caret = m_text3.textCursor();
    m_text3.appendPlainText(line);
    if (m_room.stop) {
        m_text3.setTextCursor(caret);
        bar->setValue(kept);
    } else {
        m_text3.moveCursor(QTextCursor::End);
        bar->setValue(bar->maximum());
    }
}

void ChatWindow::appendTrade(const QString& line)
{
    QScrollBar* bar = m_list2.verticalScrollBar();
    const int kept = bar->value();
    if (m_list2.count() >= ChatRoom::kMaxTrades)
        delete m_list2.takeItem(0);
    m_list2.addItem(line);
    if (m_room.stop) {
        bar->setValue(kept);
    } else {
        m_list2.setCurrentRow(m_list2.count() - 1);
        m_list2.scrollToBottom();
    }
}

void ChatWindow::showUsers()
{
    m_list1.clear();
    m_list1.addItems(m_room.users());
}

void ChatWindow::applyWidth(bool wide)
{
    m_list2.setVisible(wide);
    setFixedSize(wide ? ChatRoom::kWideWidth : ChatRoom::kNarrowWidth, kHeight);
}

void ChatWindow::showLevel()
{
    m_command3.setVisible(m_room.tradesButtonVisible());
}

} // namespace korvi
