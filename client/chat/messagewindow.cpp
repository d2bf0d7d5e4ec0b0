#include "messagewindow.h"

#include "messages.h"

#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace korvi {

MessageWindow::MessageWindow(Messages& messages, QWidget* parent)
    : QDialog(parent), m_noPopup(QStringLiteral("nicht mehr als Fenster zeigen"))
{
    setWindowTitle(QStringLiteral("Message"));
    setModal(false);
    m_text.setFont(QFont(QStringLiteral("Arial")));
    m_text.setReadOnly(true);
    m_text.setFrameShape(QFrame::NoFrame);
    m_text.setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text.setMaximumBlockCount(200);
    auto* close = new QPushButton(QStringLiteral("Schlie\u00dfen"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(&m_text, 1);
    layout->addWidget(&m_noPopup);
    layout->addWidget(close);
    resize(420, 220);
    connect(&m_noPopup, &QCheckBox::toggled, this, [&messages](bool on) {
        if (on)
            messages.setMessageNoPopup();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void MessageWindow::showText(const QString& text)
{
    m_text.setPlainText(text);
    if (!isVisible()) {
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
}

} // namespace korvi
