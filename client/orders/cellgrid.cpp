#include "cellgrid.h"

#include <algorithm>
#include <numeric>

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
    m_slotOf.resize(static_cast<size_t>(m_rows));
    std::iota(m_slotOf.begin(), m_slotOf.end(), 0);
    m_freeSlots.clear();
    m_heights.assign(static_cast<size_t>(m_rows), kDefaultRowHeight);
    m_stamps.resize(static_cast<size_t>(m_rows));
    for (quint64& stamp : m_stamps)
        stamp = ++m_nextStamp;
    m_ids.resize(static_cast<size_t>(m_rows));
    for (quint64& id : m_ids)
        id = ++m_nextStamp;
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

void CellGrid::insertRow(int row)
{
    row = qBound(0, row, m_rows);
    int slot = 0;
    if (m_freeSlots.empty()) {
        slot = static_cast<int>(m_cells.size() / std::max(1, m_columns));
        m_cells.resize(m_cells.size() + static_cast<size_t>(m_columns));
    } else {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
        std::fill_n(m_cells.begin() + static_cast<ptrdiff_t>(slot) * m_columns, m_columns, Cell{});
    }
    m_slotOf.insert(m_slotOf.begin() + row, slot);
    m_heights.insert(m_heights.begin() + row, kDefaultRowHeight);
    m_stamps.insert(m_stamps.begin() + row, ++m_nextStamp);
    m_ids.insert(m_ids.begin() + row, ++m_nextStamp);
    ++m_rows;
    m_structureChanged = true;
    if (m_updateDepth == 0)
        endUpdate();
}

void CellGrid::removeRow(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    m_freeSlots.push_back(m_slotOf[static_cast<size_t>(row)]);
    m_slotOf.erase(m_slotOf.begin() + row);
    m_heights.erase(m_heights.begin() + row);
    m_stamps.erase(m_stamps.begin() + row);
    m_ids.erase(m_ids.begin() + row);
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
    return rowCells(row)[column];
}

const Cell& CellGrid::at(int row, int column) const
{
    return valid(row, column) ? rowCells(row)[column] : m_none;
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
    std::fill_n(rowCells(row), m_columns, Cell{});
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
