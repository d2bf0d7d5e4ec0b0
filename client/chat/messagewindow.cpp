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
    m_text.setWordWrap(true);
    m_text.setMinimumWidth(320);
    auto* close = new QPushButton(QStringLiteral("Schlie\u00dfen"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(&m_text, 1);
    layout->addWidget(&m_noPopup);
    layout->addWidget(close);
    connect(&m_noPopup, &QCheckBox::toggled, this, [&messages](bool on) {
        if (on)
            messages.setMessageNoPopup();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

void MessageWindow::showText(const QString& text)
{
    m_text.setText(text);
    if (!isVisible()) {
        adjustSize();
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
}

} // namespace korvi
