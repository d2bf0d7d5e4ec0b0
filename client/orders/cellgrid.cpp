#include "cellgrid.h"

namespace korvi {

void CellGrid::resize(int rows, int columns)
{
    m_rows = qMax(0, rows);
    m_columns = qMax(0, columns);
    m_cells.assign(static_cast<size_t>(m_rows) * m_columns, Cell{});
    m_heights.assign(static_cast<size_t>(m_rows), kDefaultRowHeight);
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

void CellGrid::insertRow(int row)
{
    row = qBound(0, row, m_rows);
    m_cells.insert(m_cells.begin() + static_cast<ptrdiff_t>(row) * m_columns, m_columns, Cell{});
    m_heights.insert(m_heights.begin() + row, kDefaultRowHeight);
    ++m_rows;
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

void CellGrid::removeRow(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    const auto first = m_cells.begin() + static_cast<ptrdiff_t>(row) * m_columns;
    m_cells.erase(first, first + m_columns);
    m_heights.erase(m_heights.begin() + row);
    --m_rows;
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

Cell& CellGrid::cell(int row, int column)
{
    if (!valid(row, column)) {
        m_none = Cell{};
        return m_none;
    }
    touch(row);
    return m_cells[static_cast<size_t>(row) * m_columns + column];
}

const Cell& CellGrid::at(int row, int column) const
{
    return valid(row, column) ? m_cells[static_cast<size_t>(row) * m_columns + column] : m_none;
}

void CellGrid::put(int row, int column, const QString& text, Colour background)
{
    Cell& c = cell(row, column);
    c.text = text;
    c.background = background;
    c.ownBackground = true;
}

void CellGrid::clearRow(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    for (int c = 0; c < m_columns; ++c)
        m_cells[static_cast<size_t>(row) * m_columns + c] = Cell{};
    touch(row);
}

int CellGrid::rowHeight(int row) const
{
    return row >= 0 && row < m_rows ? m_heights[static_cast<size_t>(row)] : kDefaultRowHeight;
}

void CellGrid::setRowHeight(int row, int height)
{
    if (row >= 0 && row < m_rows && m_heights[static_cast<size_t>(row)] != height) {
        m_heights[static_cast<size_t>(row)] = height;
        touch(row);
    }
}

void CellGrid::beginUpdate() { ++m_updateDepth; }

void CellGrid::endUpdate()
{
    if (m_updateDepth > 0 && --m_updateDepth > 0)
        return;
    if (m_structureChanged) {
        m_structureChanged = false;
        m_dirtyFirst = m_dirtyLast = -1;
        emit layoutReset();
        return;
    }
    if (m_dirtyFirst >= 0) {
        const int first = m_dirtyFirst, last = qMin(m_dirtyLast, m_rows - 1);
        m_dirtyFirst = m_dirtyLast = -1;
        if (first <= last)
            emit rowsChanged(first, last);
    }
}

void CellGrid::touch(int row)
{
    if (m_dirtyFirst < 0 || row < m_dirtyFirst)
        m_dirtyFirst = row;
    if (row > m_dirtyLast)
        m_dirtyLast = row;
    if (m_updateDepth == 0 && !m_structureChanged)
        endUpdate();
}

} // namespace korvi
