#include "autostartdialog.h"

#include "credentialsdialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace korvi {

AutostartDialog::AutostartDialog(QWidget* parent)
    : QDialog(parent), m_start(QStringLiteral("Start")),
      m_credentialsButton(QString::fromLatin1("Username/Pa\xdfwort"))
{
    setWindowTitle(QStringLiteral("Autostart"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(&m_label);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(&m_start);
    buttons->addWidget(&m_credentialsButton);
    layout->addLayout(buttons);

    connect(&m_start, &QPushButton::clicked, this, &QDialog::accept);
    connect(&m_credentialsButton, &QPushButton::clicked, this, [this] {
        m_timer.stop();
        m_credentials = true;
        accept();
    });
    m_timer.setInterval(kAutostartTickMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const bool finished = m_countdown.tick();
        m_label.setText(m_countdown.label());
        m_start.setFocus();
        if (finished) {
            m_timer.stop();
            accept();
        }
    });
    m_timer.start();
}

void AutostartDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

void AutostartDialog::done(int result)
{
    m_timer.stop();
    QDialog::done(result);
}

} // namespace korvi
