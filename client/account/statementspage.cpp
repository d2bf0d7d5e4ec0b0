#include "statementspage.h"

#include "account/statements.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringListModel>
#include <QVBoxLayout>

namespace korvi {

StatementsPage::StatementsPage(Statements& statements, QWidget* parent)
    : QWidget(parent), m_statements(statements)
{
    Command12 = new QPushButton(QStringLiteral("Auszüge anfordern"), this);
    Command13 = new QPushButton(QStringLiteral("Auszug löschen"), this);
    Command14 = new QPushButton(QStringLiteral("&Drucken"), this);
    Check2 = new QCheckBox(QStringLiteral("Anhängen"), this);
    Combo7 = new QComboBox(this);
    Combo7->setPlaceholderText(QStringLiteral("Auszüge..."));
    Combo7->setMinimumContentsLength(24);
    List4 = new QListView(this);
    m_lines = new QStringListModel(this);
    List4->setModel(m_lines);
    List4->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List4->setUniformItemSizes(true);
    // Statements are laid out in columns of fixed width.
    List4->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* controls = new QHBoxLayout;
    controls->addWidget(Command12);
    controls->addWidget(Combo7, 1);
    controls->addWidget(Check2);
    controls->addWidget(Command13);
    controls->addWidget(Command14);
    auto* page = new QVBoxLayout(this);
    page->addLayout(controls);
    page->addWidget(List4, 1);

    connect(Command12, &QPushButton::clicked, this, [this] { m_statements.Command12_Click(); });
    connect(Command13, &QPushButton::clicked, this, [this] { m_statements.Command13_Click(); });
    connect(Command14, &QPushButton::clicked, this, [this] { m_statements.Command14_Click(); });
    connect(Check2, &QCheckBox::toggled, this, [this](bool on) { m_statements.Check2_Click(on); });
    connect(Combo7, &QComboBox::activated, this, [this](int index) { m_statements.Combo7_Click(index); });

    connect(&m_statements, &Statements::filesChanged, this, &StatementsPage::showFiles);
    connect(&m_statements, &Statements::selectionChanged, this, &StatementsPage::showSelection);
    connect(&m_statements, &Statements::linesChanged, this,
            [this] { m_lines->setStringList(m_statements.lines()); });
    showFiles();
    m_lines->setStringList(m_statements.lines());
}

void StatementsPage::showFiles()
{
    const QSignalBlocker block(Combo7);
    Combo7->clear();
    Combo7->addItems(m_statements.files());
    Combo7->setCurrentIndex(m_statements.selected());
}

void StatementsPage::showSelection(int index)
{
    const QSignalBlocker block(Combo7);
    Combo7->setCurrentIndex(index);
}

} // namespace korvi
