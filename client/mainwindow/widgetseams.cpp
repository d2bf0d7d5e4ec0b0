#include "widgetseams.h"

#include "connection/autostartdialog.h"
#include "connection/credentialsdialog.h"
#include "orders/eingabedialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>

namespace korvi {

void WidgetPrompts::message(const QString& text)
{
    QMessageBox::information(m_parent, QApplication::applicationDisplayName(), text);
}

bool WidgetPrompts::yesNo(const QString& text)
{
    return QMessageBox::question(m_parent, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

Prompts::AutostartChoice WidgetPrompts::autostart()
{
    AutostartDialog dialog(m_parent);
    dialog.exec();
    return dialog.credentialsWanted() ? AutostartChoice::Credentials : AutostartChoice::Start;
}

bool WidgetPrompts::credentials(QString& user, QString& password)
{
    CredentialsDialog dialog(user, password, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = dialog.user();
    password = dialog.password();
    return true;
}

void WidgetPrompts::eingabe(Eingabe& logic)
{
    EingabeDialog dialog(logic, m_parent);
    dialog.exec();
}

WidgetSound::WidgetSound() = default;
WidgetSound::~WidgetSound() = default;

void WidgetSound::beep() { QApplication::beep(); }

void WidgetSound::play(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return;
    // A new sound replaces the one playing.
    m_effect = std::make_unique<QSoundEffect>();
    m_effect->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    m_effect->play();
}

} // namespace korvi
