#include "eingabedialog.h"

#include "brackets.h"

#include <QCloseEvent>
#include <QGridLayout>

namespace korvi {

EingabeDialog::EingabeDialog(Eingabe& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_ok(QStringLiteral("&OK"))
{
    setWindowTitle(Eingabe::caption());
    setModal(true);
    auto* grid = new QGridLayout(this);
    m_ticker.setText(logic.ticker);
    grid->addWidget(&m_ticker, 0, 0, 1, 2);
    const QStringList captions = Eingabe::optionCaptions();
    for (int i = 0; i < 3; ++i) {
        m_options[i] = new QRadioButton(captions[i], this);
        grid->addWidget(m_options[i], 1 + i, 0, 1, 2);
        connect(m_options[i], &QRadioButton::clicked, this, [this, i] { m_logic.Option1_Click(i); });
    }
    m_options[qBound(0, logic.option, 2)]->setChecked(true);
    const QStringList labels = Eingabe::fieldLabels();
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(new QLabel(labels[i], this), 4 + i, 0);
        grid->addWidget(&m_fields[i], 4 + i, 1);
    }
    showTexts();
    grid->addWidget(&m_ok, 6, 1);
    m_ok.setDefault(true);
    connect(&m_ok, &QPushButton::clicked, this, [this] { tryClose(); });
}

void EingabeDialog::showTexts()
{
    for (int i = 0; i < 2; ++i)
        m_fields[i].setText(m_logic.texts[i]);
}

bool EingabeDialog::tryClose()
{
    if (m_accepted)
        return true;
    m_accepted = m_logic.Command1_Click(m_fields[0].text(), m_fields[1].text());
    showTexts();
    if (m_accepted)
        QDialog::accept();
    return m_accepted;
}

void EingabeDialog::closeEvent(QCloseEvent* event)
{
    if (tryClose())
        event->accept();
    else
        event->ignore();
}

} // namespace korvi
