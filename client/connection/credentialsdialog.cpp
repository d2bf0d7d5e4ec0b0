#include "credentialsdialog.h"

#include <QFormLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QPushButton>

namespace korvi {

void centreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void CredentialsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    centreOnScreen(*this);
}

CredentialsDialog::CredentialsDialog(const QString& user, const QString& password, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Username und Passwort"));
    m_user.setText(user);
    m_password.setText(password);
    m_password.setEchoMode(QLineEdit::Password);
    m_confirm.setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Username:"), &m_user);
    form->addRow(QString::fromLatin1("Pa\xdfwort:"), &m_password);
    form->addRow(QString::fromLatin1("P.Best\xe4tigung:"), &m_confirm);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("&OK"));
    auto* cancel = new QPushButton(QStringLiteral("Abbruch"));
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    form->addRow(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace korvi
