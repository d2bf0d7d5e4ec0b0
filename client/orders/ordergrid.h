#pragma once

#include "cellgrid.h"
#include "gridlayout.h"
#include "rebuildpacer.h"

#include <QObject>
#include <vector>

namespace korvi {

class Clock;
class LogList;
struct OrderRecord;
struct State;

// The order grid: builds the row map and draws the cells of every row kind from the
// tables of the state object. The table view only shows the cells.
class OrderGrid : public QObject {
    Q_OBJECT
public:
    OrderGrid(State& state, Clock& clock, LogList& protocol, QObject* parent = nullptr);

    CellGrid cells;
    GridLayout layout;

    // "InitGridLayout" from the current colours.
    void InitGridLayout();
    // "BuildOrderGrid" followed by a full draw.
    void rebuild();

    // Handlers of received data change the tables and mark here what changed; refresh()
    // then rebuilds or redraws once for all of them. A changed order keeps its row (which
    // follows the order's status); an order that should have a row and has none, or
    // whose row stands under another instrument, makes the refresh rebuild the grid.
    void markRebuild() { m_rebuildPending = true; }
    // The order table or the instrument table was replaced: the row map is emptied at
    // once, so that until the rebuild no row stands for a record it no longer names.
    void invalidate();
    // Order `index` was overwritten or changed; `wantsRow`: it gets a row if it has none
    // and the grid should show it (a full order report).
    void markOrder(int index, bool wantsRow);
    // Whether order `index` has a row, or gets one from the pending rebuild (judged by
    // the record as it is before the change the caller is about to make).
    bool orderHasRow(int index) const;
    // Brings the grid up to date with the marks; true when it drew anything. A few new
    // orders get rows of their own where a rebuild would put them; more, or any other
    // change of the rows, rebuild the grid, paced by `pacer` when the grid is large.
    bool refresh();
    // Milliseconds until a pending rebuild is due (0: none is waiting, or it is due now).
    int rebuildWait() const;
    RebuildPacer pacer;
    // More row edits than this in one refresh rebuild the grid instead.
    static constexpr int kMostInsertedRows = 16;
    bool refreshPending() const { return m_rebuildPending || !m_dirtyOrders.empty(); }
    // How often the grid was built anew (for tests and benches).
    int rebuildCount() const { return m_rebuilds; }
    // "zeigOrderGrid": mode 0 everything, 1 the instrument lines of instrument `key`,
    // 2 grid row `key`.
    void zeigOrderGrid(int mode, int key);
    // Redraws the instrument lines of the given instruments in one block (the refresh).
    void redrawInstruments(const QList<int>& instruments);
    // While the prices are stale (no connection to the server) the price cells are drawn
    // in a dimmed text colour; a change redraws the grid.
    void setPricesStale(bool stale);
    bool pricesStale() const { return m_pricesStale; }

    // The grid row of logical column `logical` for a line type (0: not drawn).
    int gridColumn(LineType type, int logical) const { return layout.spalte[type][logical]; }

    // Per grid column, the widest numbers its cells show in a game (bold and large where the
    // drawing makes them so): a view sizes the columns for these, so that no number is cut.
    std::vector<std::vector<Cell>> widestNumbers() const;

    // The record behind an order row: an entry line (kind 2) or an order (kinds 3, 4).
    const OrderRecord* recordOfRow(int row) const;

private:
    bool m_pricesStale = false;
    void drawRow(int row);
    // Edits the rows to what a rebuild gives: the rows of orders it would not show go, and
    // orders it would show get rows. False when that takes more than kMostInsertedRows
    // edits (nothing is edited then) or an instrument has no line: the grid needs a rebuild.
    bool editRows(std::vector<int>& inserted, int& firstChanged);
    // Gives order `index` a row of its own and returns it; 0 when its instrument has no line.
    int insertOrderRow(int index);
    // The rows of the changed orders; `found` is set per order index that has one.
    std::vector<int> changedRows(std::vector<bool>& found);
    // While a rebuild waits: the rows of the changed orders, their kinds following the
    // status (the marks stay for the rebuild).
    std::vector<int> rowsOfChangedOrders();
    // The row-number cell of the rows from `first` on, after rows were inserted above them.
    void renumberRows(int first);
    QString rowNumberText(int row, int kind, int item, const OrderRecord& r) const;
    void fillLine(int row, LineType type);
    void drawInstrumentLine(int row, int wpIndex);
    void drawOrderLine(int row, int kind, int wpIndex, int item);
    void put(int row, LineType type, int logical, const QString& text);
    void put(int row, LineType type, int logical, const QString& text, Colour background);

    State& m_state;
    Clock& m_clock;
    LogList& m_protocol;
    QString m_timeText;
    std::vector<int> m_lineOf; // instrument number -> its line, for the refresh

    bool m_rebuildPending = false;
    bool m_rebuildNow = false; // the row map was emptied: the rebuild cannot wait
    // Per order index: 0 unchanged, 1 changed, 3 changed and wants a row; with the list of
    // the changed ones, so a refresh costs one pass over the rows.
    std::vector<quint8> m_dirty;
    std::vector<int> m_dirtyOrders;
    // Per order index: it had a row when the grid was last built.
    std::vector<bool> m_hadRow;
    int m_rebuilds = 0;
};

// Prices and the "Filled/Rem." numbers: "." and a blank before non-negative values.
QString priceText(float value);
// Position values of the instrument line, with the local decimal separator.
QString localNumber(double value);

} // namespace korvi
