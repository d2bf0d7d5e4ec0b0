#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QWidget>

namespace korvi {

class CellGridView;
class Executions;

// The "Executions" tab page: the execution grid ("EG"), the order selector ("Combo3") and
// the "Grid Refresh" button. Choosing an order or pressing the button sorts and redraws.
class ExecutionsPage : public QWidget {
    Q_OBJECT
public:
    explicit ExecutionsPage(Executions& executions, QWidget* parent = nullptr);

    CellGridView& grid() { return *m_grid; }
    QComboBox& orderBox() { return m_order; }
    QPushButton& refreshButton() { return m_refresh; }

private:
    Executions& m_executions;
    CellGridView* m_grid = nullptr;
    QComboBox m_order;
    QPushButton m_refresh;
};

} // namespace korvi
