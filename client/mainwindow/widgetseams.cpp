#include "widgetseams.h"

#include "connection/autostartdialog.h"
#include "connection/credentialsdialog.h"
#include "orders/eingabedialog.h"

#include "mainwindow/assetfolders.h"

#include <QApplication>
#include <QColorDialog>
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

void WidgetPrompts::titledMessage(const QString& text, const QString& title)
{
    QMessageBox::information(m_parent, title, text);
}

bool WidgetPrompts::chooseColour(quint32& colour)
{
    const QColor start(int(colour & 0xFF), int(colour >> 8 & 0xFF), int(colour >> 16 & 0xFF));
    const QColor chosen = QColorDialog::getColor(start, m_parent);
    if (!chosen.isValid())
        return false;
    colour = quint32(chosen.red()) | quint32(chosen.green()) << 8 | quint32(chosen.blue()) << 16;
    return true;
}

WidgetSound::WidgetSound() = default;
WidgetSound::~WidgetSound() = default;

void WidgetSound::beep() { QApplication::beep(); }

void WidgetSound::play(const QString& path)
{
    QString file = path;
    if (!QFileInfo(file).isFile())
        file = findAsset(m_fallback, QFileInfo(path).fileName());
    if (file.isEmpty())
        return;
    // A new sound replaces the one playing.
    m_effect = std::make_unique<QSoundEffect>();
    m_effect->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    m_effect->play();
}

} // namespace korvi
