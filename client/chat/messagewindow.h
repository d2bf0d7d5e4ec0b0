#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>

namespace korvi {

class Messages;

// "Message": the small non-modal window that shows the newest server message. Ticking
// "nicht mehr als Fenster zeigen" stops it from opening for the rest of the run.
class MessageWindow : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(Messages& messages, QWidget* parent = nullptr);
    void showText(const QString& text);

private:
    QLabel m_text;
    QCheckBox m_noPopup;
};

} // namespace korvi
