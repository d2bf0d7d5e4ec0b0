#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

namespace korvi {

class LogList;
class OrderGrid;
class Prompts;
struct OrderRecord;
struct State;

// The in-cell editor of the order grid ("Combo1"): shown over one cell with a list of
// values for the quantity (mode 1), a price (mode 2) or the order type (mode 3).
// The editor belongs to an entry line, not to a grid row: a rebuild while it is open moves
// the line, and the value goes where the line is then.
struct CellEditor {
    bool visible = false;
    int mode = 0;
    int row = 0;      // where the line is now (for placing the editor)
    int column = 0;
    int entry = 0;    // the entry line's index in the entry-line table
    int logical = 0;  // the logical column of the order-line layout
    QStringList items;
    int selected = -1;
    QString text;
    QString initialText; // the cell's text when the editor opened
    bool filling = false;
};

// What a context menu acts on, held while the menu is open: the instrument, the entry line
// or the order, never a grid row, which a rebuild meanwhile may give to another line.
struct MenuTarget {
    int row = 0;        // the row the menu was opened on
    int kind = -1;      // row kind at that time
    int wpIndex = 0;
    QByteArray ticker;  // the instrument number may name another instrument after "@SI"
    int entry = 0;      // entry line index (kind 2)
    qint32 orderUserId = 0; // order's number (kinds 3 and 4)
    QByteArray orderId;
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
    // Mouse press on a grid cell: the editor's value is taken first when the user changed
    // it; then the left button runs OGAktion and the right one asks for a context menu.
    void mouseDown(bool rightButton, int row, int column);
    // Opens a new entry line for instrument `wpIndex` ("BUY" or "SEL"); returns its row
    // (0 when none was opened). `fill`, when given, sets the new line's fields before the
    // line is drawn, so that it is drawn once.
    int openEntryLine(int instrumentRow, const QByteArray& side, const std::function<void(OrderRecord&)>& fill = {});

    // The editor.
    const CellEditor& editor() const { return m_editor; }
    void SetzeCombo1(int row, int column, int mode, float seed);
    // Takes `text` into the entry line of the editor's cell ("Combo1_Click"): the user
    // chose a value or confirmed it with Enter.
    void Combo1_Click(const QString& text);
    // The user left the editor (a click elsewhere, loss of focus): its value is taken only
    // when the user changed it.
    void leaveEditor();
    void hideEditor();

    // The instrument line row of instrument `wpIndex`, or 0.
    int instrumentRow(int wpIndex) const;
    int lastNewEntryRow() const { return m_lastNewEntryRow; }

    // Hooks filled by the order placing and the chart. placeOrder returns whether the
    // entry line is gone (sent or refused); a line that could not be sent stays.
    std::function<bool(int entry, int row)> placeOrder;
    std::function<void(int entry)> placeAllOrders;
    std::function<void(int order)> cancelOrder;
    std::function<void(int entry)> resetAllEntries;
    std::function<void(QByteArray framed)> send;
    std::function<void(int wpIndex)> showChart;
    // A context menu item was chosen: the menu, the grid row where its line is now and the
    // item's number.
    std::function<void(GridMenu menu, int row, int item)> menuAction;

    // The captions of a context menu.
    static QStringList menuItems(GridMenu menu);
    // An item of the menu opened on grid row `row` was chosen. The menu's line is looked up
    // again, as the grid may have been rebuilt while the menu was open; when it is gone the
    // action is dropped with a line in the protocol list.
    void chooseMenuItem(GridMenu menu, int row, int item);
    // The row where the line of a menu target is now, or 0 when it is gone.
    int rowOf(const MenuTarget& target) const;
    MenuTarget targetOf(int row) const;
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
    void followEditor();

    State& m_state;
    OrderGrid& m_grid;
    Prompts& m_prompts;
    LogList& m_protocol;
    CellEditor m_editor;
    QString m_quantity = QStringLiteral(" 1");
    int m_lastNewEntryRow = 0;
    bool m_editorOpenedByClick = false;
    MenuTarget m_menuTarget;
};

// The price step of the price editor for a seed price.
double priceStep(double seed);
// The default quantity box's normalisation: below 1 becomes 1, then the integer part in
// the leading-blank form.
QString normaliseQuantity(const QString& text);

} // namespace korvi
