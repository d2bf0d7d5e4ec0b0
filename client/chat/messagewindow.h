#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>

namespace korvi {

class Messages;

// "Message": the small non-modal window that shows the newest server message. Ticking
// "nicht mehr als Fenster zeigen" stops it from opening for the rest of the run. The window
// keeps its size whatever the text: a long message scrolls.
class MessageWindow : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(Messages& messages, QWidget* parent = nullptr);
    void showText(const QString& text);
    QString text() const { return m_text.toPlainText(); }

private:
    QPlainTextEdit m_text;
    QCheckBox m_noPopup;
};

} // namespace korvi
