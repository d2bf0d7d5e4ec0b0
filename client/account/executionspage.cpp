#include "executionspage.h"

#include "executions.h"
#include "orders/ordergridview.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace korvi {

ExecutionsPage::ExecutionsPage(Executions& executions, QWidget* parent)
    : QWidget(parent), m_executions(executions), m_refresh(QStringLiteral("Grid Refresh"))
{
    m_grid = new CellGridView(executions.cells, this);
    m_grid->setWidestCells(executions.widestNumbers());
    m_order.addItems(Executions::orderCaptions());
    m_order.setCurrentIndex(static_cast<int>(executions.order()));

    auto* controls = new QHBoxLayout;
    controls->addWidget(&m_order);
    controls->addWidget(&m_refresh);
    controls->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_grid, 1);
    column->addLayout(controls);

    connect(&m_order, &QComboBox::activated, this, [this](int index) {
        m_executions.setOrder(static_cast<ExecutionOrder>(qBound(0, index, 2)));
    });
    connect(&m_refresh, &QPushButton::clicked, this, [this] { m_executions.refreshGrid(); });
}

} // namespace korvi
