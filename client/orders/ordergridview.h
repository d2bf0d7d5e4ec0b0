#pragma once

#include <QAbstractTableModel>
#include <QComboBox>
#include <QTableView>

namespace korvi {

class CellGrid;
class OrderEntry;

// Shows a CellGrid to a table view: text, colours, bold, font size and alignment per cell.
class CellGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CellGridModel(CellGrid& grid, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    CellGrid& m_grid;
    int m_rows = 0;    // what the view has been told
    int m_columns = 0;
};

// A grid drawn from a CellGrid: only what is visible is painted, changed rows are
// repainted in blocks, and row heights follow the cells' heights.
class CellGridView : public QTableView {
    Q_OBJECT
public:
    explicit CellGridView(CellGrid& grid, QWidget* parent = nullptr);
    CellGrid& grid() { return m_grid; }

protected:
    void applyRowHeights(int first, int last);

    CellGrid& m_grid;
    CellGridModel m_model;
};

// The order grid ("OG"): clicks go to the order entry, the in-cell editor ("Combo1") is a
// drop-down placed over the cell, and the right button opens the context menus.
class OrderGridView : public CellGridView {
    Q_OBJECT
public:
    OrderGridView(CellGrid& grid, OrderEntry& entry, QWidget* parent = nullptr);
    QComboBox& editor() { return m_editor; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showEditor();

    OrderEntry& m_entry;
    QComboBox m_editor;
};

} // namespace korvi
