#pragma once

#include "colours.h"

#include <QObject>
#include <QString>
#include <vector>

namespace korvi {

// One cell of a grid as the drawing procedures write it.
struct Cell {
    QString text;
    Colour background = 0;
    Colour foreground = 0;
    bool ownBackground = false; // false: the grid's general background
    bool ownForeground = false;
    bool bold = false;
    int fontSize = 0;           // 0: the grid's font size
    bool centred = false;

    bool operator==(const Cell&) const = default;
};

// The cells of a grid (the order grid or the execution grid), written by the drawing code
// and shown by a table view. Changes made between beginUpdate() and endUpdate() are
// reported once, as runs of neighbouring changed rows, so the view repaints in blocks.
class CellGrid : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    int rowCount() const { return m_rows; }
    int columnCount() const { return m_columns; }
    void resize(int rows, int columns);
    void insertRow(int row);
    void removeRow(int row);

    Cell& cell(int row, int column);
    const Cell& at(int row, int column) const;
    // Writes the text and background of a cell in one step.
    void put(int row, int column, const QString& text, Colour background);
    void clearRow(int row);

    int rowHeight(int row) const;
    void setRowHeight(int row, int height);
    static constexpr int kDefaultRowHeight = 20;

    // The grid's general cell background and text colour.
    Colour generalBackground = 0;
    Colour textColour = 0;
    int columnWidth0 = 250;

    int currentRow = 0;
    int currentColumn = 0;
    void setCurrent(int row, int column)
    {
        currentRow = row;
        currentColumn = column;
    }
    QString currentText() const { return valid(currentRow, currentColumn) ? at(currentRow, currentColumn).text : QString(); }
    bool valid(int row, int column) const { return row >= 0 && row < m_rows && column >= 0 && column < m_columns; }

    // A number that changes whenever anything of the row changes and that moves with the
    // row when rows are inserted or removed above it: what a view caches a row's image by.
    quint64 rowStamp(int row) const { return row >= 0 && row < m_rows ? m_stamps[static_cast<size_t>(row)] : 0; }
    // A number of the row itself: it moves with the row like the stamp but stays when the
    // row's cells change. A view keeps a row's image by it and redraws only changed cells.
    quint64 rowId(int row) const { return row >= 0 && row < m_rows ? m_ids[static_cast<size_t>(row)] : 0; }

    void beginUpdate();
    void endUpdate();
    // Marks a row as changed (reported at endUpdate, or at once outside an update).
    void touch(int row);

signals:
    void layoutReset();
    void rowsChanged(int first, int last);

private:
    int m_rows = 0;
    int m_columns = 0;
    // The cells of all rows, m_columns per slot. A row's slot is m_slotOf[row]: inserting
    // or removing a row moves slot numbers, not the cells of every row below it. A rebuild
    // (resize) lays the slots out in row order again.
    Cell* rowCells(int row) { return m_cells.data() + static_cast<size_t>(m_slotOf[static_cast<size_t>(row)]) * m_columns; }
    const Cell* rowCells(int row) const
    {
        return m_cells.data() + static_cast<size_t>(m_slotOf[static_cast<size_t>(row)]) * m_columns;
    }
    std::vector<Cell> m_cells;
    std::vector<int> m_slotOf;
    std::vector<int> m_freeSlots;
    std::vector<int> m_heights;
    std::vector<quint64> m_stamps;
    std::vector<quint64> m_ids;
    quint64 m_nextStamp = 0;
    int m_updateDepth = 0;
    std::vector<int> m_dirtyRows;   // changed rows, each once
    std::vector<bool> m_rowDirty;   // per row: in m_dirtyRows
    bool m_structureChanged = false;
    Cell m_none;
};

} // namespace korvi
