#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
class OrderGrid;
class Prompts;
struct State;

// The in-cell editor of the order grid ("Combo1"): shown over one cell with a list of
// values for the quantity (mode 1), a price (mode 2) or the order type (mode 3).
struct CellEditor {
    bool visible = false;
    int mode = 0;
    int row = 0;
    int column = 0;
    QStringList items;
    int selected = -1;
    QString text;
    bool filling = false;
};

// The context menus of the order grid.
enum class GridMenu { None, Position, EntryBracket, OrderBracket };

// Order entry in the grid: every click on a cell ("OGAktion"), the in-cell editor, the
// default quantity box, the default instrument and the right-click menus. Sending and
// cancelling are reached through the hooks, which the order placing fills.
class OrderEntry : public QObject {
    Q_OBJECT
public:
    OrderEntry(State& state, OrderGrid& grid, Prompts& prompts, LogList& protocol,
               QObject* parent = nullptr);

    // The default quantity box ("Text1"): normalised on every change.
    const QString& quantityText() const { return m_quantity; }
    void setQuantityText(const QString& text);
    qint32 defaultQuantity() const;

    // Acts on the grid's current cell. `row`, when not 0, replaces the instrument line a new
    // entry line is opened from.
    void OGAktion(int row = 0);
    // Mouse press on a grid cell: the editor's value is taken first; then the left button
    // runs OGAktion and the right one asks for a context menu.
    void mouseDown(bool rightButton, int row, int column);
    // Opens a new entry line for instrument `wpIndex` ("BUY" or "SEL"); returns its row.
    int openEntryLine(int instrumentRow, const QByteArray& side);

    // The editor.
    const CellEditor& editor() const { return m_editor; }
    void SetzeCombo1(int row, int column, int mode, float seed);
    // Takes `text` into the entry line of the editor's cell ("Combo1_Click").
    void Combo1_Click(const QString& text);
    void hideEditor();

    // The instrument line row of instrument `wpIndex`, or 0.
    int instrumentRow(int wpIndex) const;
    int lastNewEntryRow() const { return m_lastNewEntryRow; }

    // Hooks filled by the order placing and the chart.
    std::function<void(int entry, int row)> placeOrder;
    std::function<void(int entry)> placeAllOrders;
    std::function<void(int order)> cancelOrder;
    std::function<void(int entry)> resetAllEntries;
    std::function<void(QByteArray framed)> send;
    std::function<void(int wpIndex)> showChart;
    // A context menu item was chosen: the menu, the grid row and the item's number.
    std::function<void(GridMenu menu, int row, int item)> menuAction;

    // The captions of a context menu.
    static QStringList menuItems(GridMenu menu);
    void chooseMenuItem(GridMenu menu, int row, int item);
    // The user typed into the editor.
    void setEditorText(const QString& text) { m_editor.text = text; }

signals:
    void editorChanged();
    void quantityChanged(const QString& text);
    // The default instrument changed: the market buttons take their colours.
    void defaultInstrumentChanged(int wpIndex);
    // A context menu for grid row `row` is wanted.
    void menuRequested(GridMenu menu, int row);
    // The "Mehr"/"Weniger" toggle was pressed through the separator row.
    void toggleFinishedOrders();

private:
    void rightClick(int row);
    void removeEntryRow(int row);

    State& m_state;
    OrderGrid& m_grid;
    Prompts& m_prompts;
    LogList& m_protocol;
    CellEditor m_editor;
    QString m_quantity = QStringLiteral(" 1");
    int m_lastNewEntryRow = 0;
    bool m_editorOpenedByClick = false;
};

// The price step of the price editor for a seed price.
double priceStep(double seed);
// The default quantity box's normalisation: below 1 becomes 1, then the integer part in
// the leading-blank form.
QString normaliseQuantity(const QString& text);

} // namespace korvi
