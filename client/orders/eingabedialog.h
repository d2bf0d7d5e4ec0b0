#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace korvi {

class Eingabe;

// The window of the preset dialog: shows what its logic holds, passes the option clicks
// on, and closes (by "&OK", the close box or Escape) only when the logic accepts the typed
// values; otherwise it shows the corrected texts and stays open.
class EingabeDialog : public QDialog {
    Q_OBJECT
public:
    EingabeDialog(Eingabe& logic, QWidget* parent = nullptr);

    QRadioButton& option(int index) { return *m_options[index]; }
    QLineEdit& field(int index) { return m_fields[index]; }
    QPushButton& okButton() { return m_ok; }

    void reject() override { tryClose(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool tryClose();
    void showTexts();

    Eingabe& m_logic;
    QLabel m_ticker;
    QRadioButton* m_options[3] = {};
    QLineEdit m_fields[2];
    QPushButton m_ok;
    bool m_accepted = false;
};

} // namespace korvi
