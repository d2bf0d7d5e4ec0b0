#pragma once

#include "cellgrid.h"
#include "gridlayout.h"

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
    // "zeigOrderGrid": mode 0 everything, 1 the instrument lines of instrument `key`,
    // 2 grid row `key`.
    void zeigOrderGrid(int mode, int key);
    // Redraws the instrument lines of the given instruments in one block (the refresh).
    void redrawInstruments(const QList<int>& instruments);

    // The grid row of logical column `logical` for a line type (0: not drawn).
    int gridColumn(LineType type, int logical) const { return layout.spalte[type][logical]; }

    // The record behind an order row: an entry line (kind 2) or an order (kinds 3, 4).
    const OrderRecord* recordOfRow(int row) const;

private:
    void drawRow(int row);
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
};

// Prices and the "Filled/Rem." numbers: "." and a blank before non-negative values.
QString priceText(float value);
// Position values of the instrument line, with the local decimal separator.
QString localNumber(double value);

} // namespace korvi
