#include "orderentry.h"

#include "brackets.h"
#include "framing.h"
#include "loglist.h"
#include "numbers.h"
#include "ordergrid.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <cmath>

namespace korvi {

double priceStep(double seed)
{
    if (seed < 2)
        return 0.0001;
    if (seed < 200)
        return 0.01;
    if (seed < 2000)
        return 0.1;
    return 0.5;
}

QString normaliseQuantity(const QString& text)
{
    double v = readNumber(toWire(text));
    if (v < 1)
        v = 1;
    return QString::fromLatin1(writeDouble(std::floor(v)));
}

OrderEntry::OrderEntry(State& state, OrderGrid& grid, Prompts& prompts, LogList& protocol, QObject* parent)
    : QObject(parent), m_state(state), m_grid(grid), m_prompts(prompts), m_protocol(protocol)
{
    connect(&m_grid.cells, &CellGrid::layoutReset, this, &OrderEntry::followEditor);
}

void OrderEntry::followEditor()
{
    // The grid was rebuilt while the editor was open: it moves with its entry line, or
    // closes when the line is gone.
    if (!m_editor.visible || m_editor.entry == 0)
        return;
    const int row = m_state.book.SuchRow(m_editor.entry, EntryLine);
    const int column = m_grid.gridColumn(OrderLineType, m_editor.logical);
    if (row == 0 || column == 0) {
        hideEditor();
        return;
    }
    if (row == m_editor.row && column == m_editor.column)
        return;
    m_editor.row = row;
    m_editor.column = column;
    emit editorChanged();
}

void OrderEntry::setQuantityText(const QString& text)
{
    m_quantity = normaliseQuantity(text);
    emit quantityChanged(m_quantity);
}

qint32 OrderEntry::defaultQuantity() const
{
    return toInt32(readNumber(toWire(m_quantity))).value_or(1);
}

int OrderEntry::instrumentRow(int wpIndex) const
{
    const RowMap& map = m_state.book.OGRowMap;
    for (int row = 2; row <= map.count(); ++row) {
        if (map[row].Art == WPZeile && map[row].WPIndex == wpIndex)
            return row;
    }
    return 0;
}

void OrderEntry::mouseDown(bool rightButton, int row, int column)
{
    if (m_editor.visible)
        leaveEditor();
    if (rightButton) {
        rightClick(row);
        return;
    }
    m_grid.cells.setCurrent(row, column);
    OGAktion();
}

void OrderEntry::removeEntryRow(int row)
{
    m_state.book.DeleteRow(row);
    m_grid.cells.removeRow(row);
}

void OrderEntry::OGAktion(int rowOverride)
{
    OrderBook& book = m_state.book;
    CellGrid& cells = m_grid.cells;
    const int row = cells.currentRow;
    const int column = cells.currentColumn;
    const QString text = cells.currentText();
    m_editorOpenedByClick = false;

    // Rows 0 and 1 are the headers; they carry no action.
    if (row < 2 || !book.OGRowMap.valid(row)) {
        hideEditor();
        return;
    }
    const RowEntry e = book.OGRowMap[row];
    const bool entryLine = e.Art == EntryLine && book.LeerOrders.valid(e.Item);

    if (text == QLatin1String("TRANSMIT") && entryLine) {
        const OrderRecord r = book.LeerOrders[e.Item];
        if (r.BrRolle == 0) {
            if (placeOrder && placeOrder(e.Item, row))
                cells.removeRow(row);
        } else if (placeAllOrders) {
            placeAllOrders(r.BrRolle == 1 ? e.Item : r.BrParent);
        }
    } else if (text == QLatin1String("CANCEL") && e.Art == OpenOrder) {
        if (cancelOrder)
            cancelOrder(e.Item);
        m_grid.zeigOrderGrid(2, row);
    } else if (text == QLatin1String("DELETE") && entryLine) {
        const OrderRecord r = book.LeerOrders[e.Item];
        if (r.BrRolle == 0) {
            book.ResetLeerOrder(e.Item);
            removeEntryRow(row);
        } else {
            // A child attached to an order already placed: tell the server about the order.
            if (const int main = placedMainOf(book, r); main && send) {
                const OrderRecord& o = book.orders[main];
                send(frame("@BR?=" + o.UserKz.trimmed() + ';' + QByteArray::number(o.OrderUserID) + ';' +
                           o.OrderID.trimmed()));
            }
            if (resetAllEntries)
                resetAllEntries(e.Item);
            m_grid.rebuild();
        }
    } else if (text == QLatin1String("DEFAULT") && e.Art == WPZeile) {
        const int previous = book.DefaultWP;
        book.DefaultWP = e.WPIndex;
        Cell& c = cells.cell(row, column);
        c.background = rgb(255, 255, 0);
        c.ownBackground = true;
        emit defaultInstrumentChanged(e.WPIndex);
        if (previous != 0 && previous != e.WPIndex)
            m_grid.zeigOrderGrid(1, previous);
    } else if (text == QLatin1String("C")) {
        if (showChart)
            showChart(e.WPIndex);
    } else if (e.Art == WPZeile) {
        const int logical = m_grid.layout.logicalColumn(InstrumentLineType, column);
        if (logical == C_TICKER) {
            if (showChart)
                showChart(e.WPIndex);
        } else if (logical == C_Ask) {
            openEntryLine(rowOverride ? rowOverride : row, "BUY");
        } else if (logical == C_Bid) {
            openEntryLine(rowOverride ? rowOverride : row, "SEL");
        }
    } else if (entryLine) {
        const int logical = m_grid.layout.logicalColumn(OrderLineType, column);
        if (logical == O_Stck) {
            SetzeCombo1(row, column, 1, 0);
        } else if (logical == O_Limit1 || logical == O_Limit2) {
            const InstrumentRecord* ins = m_state.instrument(e.WPIndex);
            SetzeCombo1(row, column, 2, ins ? ins->Letzter : 0);
        } else if (logical == O_Typ) {
            SetzeCombo1(row, column, 3, 0);
        }
    } else if (e.Art == Trennzeile) {
        emit toggleFinishedOrders();
    }
    if (!m_editorOpenedByClick)
        hideEditor();
}

int OrderEntry::openEntryLine(int instrumentRow, const QByteArray& side, const std::function<void(OrderRecord&)>& fill)
{
    OrderBook& book = m_state.book;
    RowMap& map = book.OGRowMap;
    m_lastNewEntryRow = 0;
    if (!map.valid(instrumentRow) || map[instrumentRow].Art != WPZeile)
        return 0;
    const qint16 wp = map[instrumentRow].WPIndex;
    const InstrumentRecord* ins = m_state.instrument(wp);
    if (!ins)
        return 0;
    int position = instrumentRow;
    while (position < map.count() && map[position + 1].Art == Trennzeile)
        ++position;
    const int newRow = book.InsertRow(position, EntryLine);
    const QByteArray userKz = m_state.users.size() > 1 ? m_state.user().UserKz : QByteArray(6, ' ');
    const int index = book.MachneueLeerzeile(wp, side, defaultQuantity(), ins->Bid, ins->Ask, userKz);
    map[newRow].Item = index;
    map[newRow].WPIndex = wp;
    if (fill)
        fill(book.LeerOrders[index]);
    m_grid.cells.insertRow(newRow);
    m_grid.cells.cell(newRow, 0).text = QStringLiteral(" ");
    m_lastNewEntryRow = newRow;
    m_grid.zeigOrderGrid(2, newRow);
    return newRow;
}

void OrderEntry::SetzeCombo1(int row, int column, int mode, float seed)
{
    m_grid.cells.setCurrent(row, column);
    m_editor = CellEditor{};
    m_editor.visible = true;
    m_editor.mode = mode;
    if (mode == 1) {
        m_editor.items = {"1", "2", "3", "4", "5", "10", "20", "25", "50", "100"};
    } else if (mode == 2) {
        m_editor.filling = true;
        const double step = priceStep(seed);
        for (int k = -10; k <= 10; ++k)
            m_editor.items << priceText(static_cast<float>(double(seed) + k * step));
        m_editor.selected = 10;
        m_editor.filling = false;
    } else if (mode == 3) {
        m_editor.items = {"MKT", "LMT", "STP", "MOC"};
    }
    m_editor.text = m_grid.cells.at(row, column).text;
    m_editor.initialText = m_editor.text;
    m_editor.row = row;
    m_editor.column = column;
    const RowMap& map = m_state.book.OGRowMap;
    if (map.valid(row) && map[row].Art == EntryLine)
        m_editor.entry = map[row].Item;
    m_editor.logical = m_grid.layout.logicalColumn(OrderLineType, column);
    m_editorOpenedByClick = true;
    emit editorChanged();
}

void OrderEntry::Combo1_Click(const QString& typed)
{
    if (m_editor.filling || !m_editor.visible)
        return;
    QString text = typed;
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    const QByteArray bytes = toWire(text);
    const double value = readNumber(bytes);
    const int entry = m_editor.entry;
    const int logical = m_editor.logical;
    hideEditor();

    // The entry line is looked up again: the grid may have been rebuilt while the editor
    // was open, and the value belongs to the line, wherever it stands now.
    CellGrid& cells = m_grid.cells;
    OrderBook& book = m_state.book;
    const int row = entry != 0 ? book.SuchRow(entry, EntryLine) : 0;
    const int column = m_grid.gridColumn(OrderLineType, logical);
    if (row == 0 || column == 0 || !book.LeerOrders.valid(entry) || book.LeerOrders[entry].WPIndex == 0) {
        m_protocol.add(QString::fromLatin1("Combo1: keine Zuordnung m\xf6glich"));
        return;
    }
    cells.setCurrent(row, column);
    OrderRecord& r = book.LeerOrders[entry];
    cells.cell(row, column).text = text;
    switch (logical) {
    case O_BS:
        r.BS = fixedText(bytes, 4);
        break;
    case O_Stck:
        if (const auto q = toInt32(value))
            r.Stck = *q;
        break;
    case O_Limit1:
        if (std::isfinite(value))
            r.Limit1 = static_cast<float>(value);
        if (r.Typ == "MKT") {
            r.Typ = "LMT";
            if (const int col = m_grid.gridColumn(OrderLineType, O_Typ))
                cells.cell(row, col).text = r.BrRolle >= 1 ? QStringLiteral("BR:LMT") : QStringLiteral("LMT");
        }
        break;
    case O_Limit2:
        if (std::isfinite(value))
            r.Limit2 = static_cast<float>(value);
        break;
    case O_Typ:
        r.Typ = fixedText(bytes, 3);
        break;
    default:
        m_protocol.add(QString::fromLatin1("Combo1: keine Zuordnung m\xf6glich"));
    }
}

void OrderEntry::leaveEditor()
{
    if (!m_editor.visible)
        return;
    if (m_editor.text == m_editor.initialText) {
        hideEditor();
        return;
    }
    Combo1_Click(m_editor.text);
}

void OrderEntry::hideEditor()
{
    if (!m_editor.visible)
        return;
    m_editor.visible = false;
    emit editorChanged();
}

void OrderEntry::rightClick(int row)
{
    const OrderBook& book = m_state.book;
    if (row < 2 || !book.OGRowMap.valid(row))
        return;
    const RowEntry e = book.OGRowMap[row];
    m_menuTarget = targetOf(row);
    const QString notClosed = QStringLiteral("Bitte eine nicht abgeschlossene Order anklicken!");
    const QString already = QStringLiteral("Diese Order ist bereits eine Bracketorder!");
    switch (e.Art) {
    case WPZeile:
        emit menuRequested(GridMenu::Position, row);
        break;
    case EntryLine:
        emit menuRequested(GridMenu::EntryBracket, row);
        break;
    case OpenOrder: {
        const qint16 role = book.orders.valid(e.Item) ? book.orders[e.Item].BrRolle : 0;
        if (role == 0)
            emit menuRequested(GridMenu::OrderBracket, row);
        else if (role == 1)
            m_prompts.message(QStringLiteral("Diese Order ist bereits eine Bracket-Hauptorder!"));
        else
            m_prompts.message(already);
        break;
    }
    case FinishedOrder: {
        const OrderRecord* r = book.orders.valid(e.Item) ? &book.orders[e.Item] : nullptr;
        if (r && r->Status == Filled && r->BrRolle == 0)
            emit menuRequested(GridMenu::OrderBracket, row);
        else if (!r || r->BrRolle == 0)
            m_prompts.message(notClosed);
        else
            m_prompts.message(already);
        break;
    }
    default:
        m_prompts.message(notClosed);
    }
}

QStringList OrderEntry::menuItems(GridMenu menu)
{
    switch (menu) {
    case GridMenu::Position:
        return {QStringLiteral("Position Glattstellen"), QStringLiteral("Position Drehen")};
    case GridMenu::EntryBracket:
    case GridMenu::OrderBracket:
        return {QStringLiteral("Erzeuge Bracket Orders"), QStringLiteral("Erzeuge Bracket Orders MOC"),
                QStringLiteral("Erzeuge Bracket Orders Edit"), QStringLiteral("Erzeuge Bracket Orders MOC Edit")};
    case GridMenu::None:
        break;
    }
    return {};
}

MenuTarget OrderEntry::targetOf(int row) const
{
    MenuTarget t;
    const OrderBook& book = m_state.book;
    if (!book.OGRowMap.valid(row))
        return t;
    const RowEntry& e = book.OGRowMap[row];
    t.row = row;
    t.kind = e.Art;
    t.wpIndex = e.WPIndex;
    if (const InstrumentRecord* ins = m_state.instrument(e.WPIndex))
        t.ticker = ins->Ticker;
    if (e.Art == EntryLine) {
        t.entry = e.Item;
    } else if ((e.Art == OpenOrder || e.Art == FinishedOrder) && book.orders.valid(e.Item)) {
        t.orderUserId = book.orders[e.Item].OrderUserID;
        t.orderId = book.orders[e.Item].OrderID;
    }
    return t;
}

int OrderEntry::rowOf(const MenuTarget& t) const
{
    const OrderBook& book = m_state.book;
    const InstrumentRecord* ins = m_state.instrument(t.wpIndex);
    if (!ins || ins->Ticker != t.ticker)
        return 0;
    switch (t.kind) {
    case WPZeile:
        return instrumentRow(t.wpIndex);
    case EntryLine:
        if (!book.LeerOrders.valid(t.entry) || book.LeerOrders[t.entry].WPIndex != t.wpIndex)
            return 0;
        return book.SuchRow(t.entry, EntryLine);
    case OpenOrder:
    case FinishedOrder: {
        const int order = !t.orderId.trimmed().isEmpty() ? book.SuchOrderID(t.orderId)
                                                         : book.SuchOrderUserID(t.orderUserId);
        return order != 0 ? book.SuchRow(order, OpenOrder) : 0;
    }
    default:
        return 0;
    }
}

void OrderEntry::chooseMenuItem(GridMenu menu, int row, int item)
{
    int current = row;
    // The menu was opened by rightClick on this row: act on its line where it is now.
    if (m_menuTarget.kind >= 0 && m_menuTarget.row == row) {
        current = rowOf(m_menuTarget);
        m_menuTarget = {};
        if (current == 0) {
            m_protocol.add(QString::fromLatin1("Men\xfc: die Zeile gibt es nicht mehr, nichts ausgef\xfchrt"));
            return;
        }
    }
    if (menuAction)
        menuAction(menu, current, item);
}

} // namespace korvi
