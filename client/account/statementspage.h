#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QListView;
class QPushButton;
class QStringListModel;

namespace korvi {

class Statements;

// The "Auszüge" tab page: "Auszüge anfordern", "Auszug löschen", "&Drucken", "Anhängen",
// the choice list of statement files ("Auszüge...") and the statement list.
class StatementsPage : public QWidget {
    Q_OBJECT
public:
    explicit StatementsPage(Statements& statements, QWidget* parent = nullptr);

    QPushButton* Command12 = nullptr; // "Auszüge anfordern"
    QPushButton* Command13 = nullptr; // "Auszug löschen"
    QPushButton* Command14 = nullptr; // "&Drucken"
    QCheckBox* Check2 = nullptr;      // "Anhängen"
    QComboBox* Combo7 = nullptr;      // the statement files
    QListView* List4 = nullptr;       // the statement text

private:
    void showFiles();
    void showSelection(int index);

    Statements& m_statements;
    QStringListModel* m_lines = nullptr;
};

} // namespace korvi
