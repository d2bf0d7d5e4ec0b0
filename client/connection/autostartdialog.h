#pragma once

#include "startup.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace korvi {

// "Autostart": counts down from 5000 ms and starts the login unless the user asks for the
// user name and password dialog.
class AutostartDialog : public QDialog {
    Q_OBJECT
public:
    explicit AutostartDialog(QWidget* parent = nullptr);
    bool credentialsWanted() const { return m_credentials; }

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    AutostartCountdown m_countdown;
    QTimer m_timer;
    QLabel m_label;
    QPushButton m_start;
    QPushButton m_credentialsButton;
    bool m_credentials = false;
};

} // namespace korvi
