#pragma once

#include <QDialog>
#include <QLineEdit>

namespace korvi {

// Places a window in the middle of the screen it is on (the start-up dialogs open there,
// not over the main window).
void centreOnScreen(QWidget& window);

// "Username und Passwort": asks for the user name and password. The confirmation field is
// offered but not compared.
class CredentialsDialog : public QDialog {
    Q_OBJECT
public:
    CredentialsDialog(const QString& user, const QString& password, QWidget* parent = nullptr);
    QString user() const { return m_user.text(); }
    QString password() const { return m_password.text(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit m_user;
    QLineEdit m_password;
    QLineEdit m_confirm;
};

} // namespace korvi
