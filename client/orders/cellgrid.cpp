#include "cellgrid.h"

#include <algorithm>

namespace korvi {

void CellGrid::resize(int rows, int columns)
{
    m_rows = qMax(0, rows);
    m_columns = qMax(0, columns);
    // Emptied in place: a grid rebuilt with about as many rows keeps its storage.
    const size_t cells = static_cast<size_t>(m_rows) * m_columns;
    const size_t kept = std::min(cells, m_cells.size());
    std::fill_n(m_cells.begin(), kept, Cell{});
    m_cells.resize(cells);
    m_heights.assign(static_cast<size_t>(m_rows), kDefaultRowHeight);
    m_stamps.resize(static_cast<size_t>(m_rows));
    for (quint64& stamp : m_stamps)
        stamp = ++m_nextStamp;
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

void CellGrid::insertRow(int row)
{
    row = qBound(0, row, m_rows);
    m_cells.insert(m_cells.begin() + static_cast<ptrdiff_t>(row) * m_columns, m_columns, Cell{});
    m_heights.insert(m_heights.begin() + row, kDefaultRowHeight);
    m_stamps.insert(m_stamps.begin() + row, ++m_nextStamp);
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
    m_stamps.erase(m_stamps.begin() + row);
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
    std::vector<int> rows;
    rows.swap(m_dirtyRows);
    for (int row : rows)
        if (static_cast<size_t>(row) < m_rowDirty.size())
            m_rowDirty[static_cast<size_t>(row)] = false;
    if (m_structureChanged) {
        m_structureChanged = false;
        emit layoutReset();
        return;
    }
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    // Neighbouring rows go as one block; very many blocks go as one range.
    constexpr size_t kMostBlocks = 64;
    std::vector<std::pair<int, int>> blocks;
    for (int row : rows) {
        if (row >= m_rows)
            break;
        if (!blocks.empty() && blocks.back().second + 1 >= row)
            blocks.back().second = row;
        else
            blocks.push_back({row, row});
    }
    if (blocks.size() > kMostBlocks)
        blocks = {{blocks.front().first, blocks.back().second}};
    for (const auto& [first, last] : blocks)
        emit rowsChanged(first, last);
}

void CellGrid::touch(int row)
{
    if (row < 0)
        return;
    const auto r = static_cast<size_t>(row);
    if (r < m_stamps.size())
        m_stamps[r] = ++m_nextStamp;
    if (r >= m_rowDirty.size())
        m_rowDirty.resize(std::max(r + 1, static_cast<size_t>(m_rows)), false);
    if (!m_rowDirty[r]) {
        m_rowDirty[r] = true;
        m_dirtyRows.push_back(row);
    }
    if (m_updateDepth == 0 && !m_structureChanged)
        endUpdate();
}

} // namespace korvi
