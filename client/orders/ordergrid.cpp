#include "ordergrid.h"

#include "loglist.h"
#include "dates.h"
#include "numbers.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <QLocale>
#include <array>
#include <algorithm>
#include <cmath>

namespace korvi {

namespace {

// Half way from the text colour to the background: still readable, plainly not current.
Colour dimmed(Colour text, Colour background)
{
    Colour out = 0;
    for (int shift : {0, 8, 16})
        out |= ((((text >> shift) & 0xFF) + ((background >> shift) & 0xFF)) / 2) << shift;
    return out;
}

} // namespace


namespace {
constexpr Colour kHeaderGrey = rgb(160, 160, 160);
constexpr Colour kColumn0Order = rgb(23, 139, 191);
constexpr Colour kColumn0Instrument = rgb(23, 127, 167);
constexpr Colour kYellow = rgb(255, 255, 0);
constexpr Colour kGreen = rgb(0, 255, 0);
constexpr Colour kRed = rgb(255, 0, 0);
constexpr Colour kGrey128 = rgb(128, 128, 128);
constexpr Colour kGrey192 = rgb(192, 192, 192);
constexpr Colour kWhite = rgb(255, 255, 255);
} // namespace

QString priceText(float value) { return QString::fromLatin1(writeSingle(value)); }

QString localNumber(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    // Seven significant digits, but never an exponent: 45623750 is not "4.562375e+07",
    // which would hide digits of the amount.
    if (std::abs(value) >= 1e7)
        return locale.toString(value, 'f', 0);
    return locale.toString(value, 'g', 7);
}

OrderGrid::OrderGrid(State& state, Clock& clock, LogList& protocol, QObject* parent)
    : QObject(parent), m_state(state), m_clock(clock), m_protocol(protocol)
{
    InitGridLayout();
}

void OrderGrid::InitGridLayout()
{
    layout = orderGridLayout(m_state.colours);
    cells.textColour = layout.textColour;
}

void OrderGrid::rebuild()
{
    pacer.begin();
    ++m_rebuilds;
    m_rebuildPending = false;
    m_rebuildNow = false;
    for (int index : m_dirtyOrders)
        m_dirty[static_cast<size_t>(index)] = 0;
    m_dirtyOrders.clear();
    OrderBook& book = m_state.book;
    book.BuildOrderGrid(m_state.InstrumentCount);
    m_hadRow.assign(static_cast<size_t>(book.orders.count()) + 1, false);
    for (int row = 2; row <= book.OGRowMap.count(); ++row) {
        const RowEntry& e = book.OGRowMap[row];
        if ((e.Art == OpenOrder || e.Art == FinishedOrder) && e.Item >= 1 && e.Item < int(m_hadRow.size()))
            m_hadRow[static_cast<size_t>(e.Item)] = true;
    }
    zeigOrderGrid(0, 0);
    pacer.end();
}

void OrderGrid::invalidate()
{
    m_state.book.OGRowMap.reset();
    m_hadRow.clear();
    m_rebuildPending = true;
    m_rebuildNow = true;
}

int OrderGrid::rebuildWait() const
{
    return m_rebuildPending && !m_rebuildNow ? pacer.wait(cells.rowCount()) : 0;
}

void OrderGrid::markOrder(int index, bool wantsRow)
{
    if (index < 1)
        return;
    const auto i = static_cast<size_t>(index);
    if (i >= m_dirty.size())
        m_dirty.resize(std::max(i + 1, m_dirty.size() * 2), 0);
    if (m_dirty[i] == 0)
        m_dirtyOrders.push_back(index);
    m_dirty[i] |= wantsRow ? 3 : 1;
}

namespace {

// Whether an order has a row in a freshly built grid.
bool shownByBuild(const OrderRecord& r, bool finishedShown, int instrumentCount)
{
    if (r.WPIndex < 1 || r.WPIndex > instrumentCount)
        return false;
    return (r.Status >= PendSubm && r.Status <= Submitted) ||
           ((r.Status == Cancelled || r.Status == Filled) && finishedShown);
}

// The kind of an existing order row for a status: finished for cancelled and filled orders.
qint16 rowKindOf(qint16 status)
{
    return status == Cancelled || status == Filled ? FinishedOrder : OpenOrder;
}

} // namespace

bool OrderGrid::orderHasRow(int index) const
{
    const OrderBook& book = m_state.book;
    if (!book.orders.valid(index))
        return false;
    if (static_cast<size_t>(index) < m_hadRow.size() && m_hadRow[static_cast<size_t>(index)])
        return true;
    // A new order waiting for its row gets one at the refresh, as from a rebuild.
    const auto i = static_cast<size_t>(index);
    const bool waitsForRow = i < m_dirty.size() && (m_dirty[i] & 2);
    return (m_rebuildPending || waitsForRow) &&
           shownByBuild(book.orders[index], book.ZeigeAlleOrders, m_state.InstrumentCount);
}

std::vector<int> OrderGrid::changedRows(std::vector<bool>& found)
{
    // One pass over the rows finds the rows of the changed orders.
    OrderBook& book = m_state.book;
    RowMap& map = book.OGRowMap;
    std::vector<int> rows;
    found.assign(m_dirty.size(), false);
    for (int row = 2; row <= map.count() && !m_rebuildPending; ++row) {
        RowEntry& e = map[row];
        if (e.Art != OpenOrder && e.Art != FinishedOrder)
            continue;
        const auto i = static_cast<size_t>(e.Item);
        if (i >= m_dirty.size() || m_dirty[i] == 0 || !book.orders.valid(e.Item))
            continue;
        const OrderRecord& r = book.orders[e.Item];
        if (r.WPIndex != e.WPIndex) {
            m_rebuildPending = true; // the order moved to another instrument
            break;
        }
        e.Art = rowKindOf(r.Status);
        found[i] = true;
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> OrderGrid::rowsOfChangedOrders()
{
    OrderBook& book = m_state.book;
    RowMap& map = book.OGRowMap;
    std::vector<int> rows;
    if (m_dirtyOrders.empty())
        return rows;
    for (int row = 2; row <= map.count(); ++row) {
        RowEntry& e = map[row];
        if (e.Art != OpenOrder && e.Art != FinishedOrder)
            continue;
        const auto i = static_cast<size_t>(e.Item);
        if (i >= m_dirty.size() || m_dirty[i] == 0 || !book.orders.valid(e.Item))
            continue;
        e.Art = rowKindOf(book.orders[e.Item].Status);
        rows.push_back(row);
    }
    return rows;
}

bool OrderGrid::refresh()
{
    if (!m_rebuildPending && m_dirtyOrders.empty())
        return false;
    OrderBook& book = m_state.book;
    std::vector<int> rows;
    std::vector<int> insertedOrders;
    cells.beginUpdate();
    if (!m_rebuildPending) {
        std::vector<bool> found;
        rows = changedRows(found);
        bool wantsRow = false;
        for (int index : m_dirtyOrders) {
            const auto i = static_cast<size_t>(index);
            wantsRow = wantsRow || (!found[i] && (m_dirty[i] & 2) && book.orders.valid(index) &&
                                    shownByBuild(book.orders[index], book.ZeigeAlleOrders, m_state.InstrumentCount));
        }
        // Where a rebuild would have come for an order without a row, the rows are edited to
        // what it would give, when few edits do it.
        int firstChanged = cells.rowCount();
        if (wantsRow && !m_rebuildPending && !editRows(insertedOrders, firstChanged))
            m_rebuildPending = true;
        if (firstChanged < cells.rowCount() && !m_rebuildPending) {
            // From the top: a line the user deleted since the last build left the numbers
            // of the rows below it behind, and a build would give every row its own.
            renumberRows(2);
            rows = changedRows(found);
            // Orders given a row need not be marked (one that came back into view).
            for (int index : insertedOrders)
                if (static_cast<size_t>(index) >= found.size() || !found[static_cast<size_t>(index)])
                    rows.push_back(book.SuchRow(index, OpenOrder));
        }
    }
    if (m_rebuildPending) {
        // A rebuild that must wait leaves the rows as they are until it is due; rows just
        // inserted are drawn, so that no row stands empty meanwhile.
        if (rebuildWait() > 0) {
            try {
                for (int index : insertedOrders)
                    drawRow(book.SuchRow(index, OpenOrder));
                // Orders that changed keep following their status meanwhile: a filled order
                // must not offer "CANCEL" until the rebuild is due.
                for (int row : rowsOfChangedOrders())
                    drawRow(row);
            } catch (const std::exception& e) {
                m_protocol.add(QStringLiteral("F:ZeigOrderGrid ") + QString::fromLatin1(e.what()));
            }
            cells.endUpdate();
            return !insertedOrders.empty();
        }
        cells.endUpdate();
        rebuild();
        return true;
    }
    for (int index : m_dirtyOrders)
        m_dirty[static_cast<size_t>(index)] = 0;
    m_dirtyOrders.clear();
    try {
        for (int row : rows)
            drawRow(row);
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:ZeigOrderGrid ") + QString::fromLatin1(e.what()));
    }
    cells.endUpdate();
    return !rows.empty() || !insertedOrders.empty();
}

bool OrderGrid::editRows(std::vector<int>& inserted, int& firstChanged)
{
    OrderBook& book = m_state.book;
    const RowMap& map = book.OGRowMap;
    auto shown = [&](int index) {
        return book.orders.valid(index) && shownByBuild(book.orders[index], book.ZeigeAlleOrders, m_state.InstrumentCount);
    };
    std::vector<int> dropped;
    std::vector<bool> hasRow(static_cast<size_t>(book.orders.count()) + 1, false);
    for (int row = 2; row <= map.count(); ++row) {
        const RowEntry& e = map[row];
        // A new entry line stands first in its block until the next build, which puts the
        // lines in table order: the edited grid must be what a build gives, so then it is built.
        if (e.Art == EntryLine && map[row - 1].Art == EntryLine && map[row - 1].WPIndex == e.WPIndex &&
            map[row - 1].Item > e.Item)
            return false;
        if (e.Art != OpenOrder && e.Art != FinishedOrder)
            continue;
        if (shown(e.Item))
            hasRow[static_cast<size_t>(e.Item)] = true;
        else
            dropped.push_back(row);
    }
    std::vector<int> missing;
    for (int index = 1; index <= book.orders.count(); ++index) {
        if (!hasRow[static_cast<size_t>(index)] && shown(index))
            missing.push_back(index);
    }
    if (dropped.size() + missing.size() > size_t(kMostInsertedRows))
        return false;
    for (auto row = dropped.rbegin(); row != dropped.rend(); ++row) {
        const auto i = static_cast<size_t>(map[*row].Item);
        if (i < m_hadRow.size())
            m_hadRow[i] = false;
        book.DeleteRow(*row);
        cells.removeRow(*row);
        firstChanged = std::min(firstChanged, *row);
    }
    // Oldest first, so that each new row goes above the older ones as in a rebuild.
    for (int index : missing) {
        const int row = insertOrderRow(index);
        if (row == 0)
            return false;
        inserted.push_back(index);
        firstChanged = std::min(firstChanged, row);
    }
    return true;
}

int OrderGrid::insertOrderRow(int index)
{
    OrderBook& book = m_state.book;
    RowMap& map = book.OGRowMap;
    const OrderRecord& r = book.orders[index];
    int row = 2;
    while (row <= map.count() && !(map[row].Art == WPZeile && map[row].WPIndex == r.WPIndex))
        ++row;
    if (row > map.count())
        return 0;
    // Below the instrument line come its separator and entry lines, then its orders,
    // newest (highest index) first.
    while (row < map.count() && map[row + 1].WPIndex == r.WPIndex &&
           (map[row + 1].Art == Trennzeile || map[row + 1].Art == EntryLine ||
            ((map[row + 1].Art == OpenOrder || map[row + 1].Art == FinishedOrder) && map[row + 1].Item > index)))
        ++row;
    map.insertAfter(row, RowEntry{rowKindOf(r.Status), r.WPIndex, index});
    cells.insertRow(row + 1);
    const auto i = static_cast<size_t>(index);
    if (i >= m_hadRow.size())
        m_hadRow.resize(std::max(i + 1, m_hadRow.size() * 2), false);
    m_hadRow[i] = true;
    return row + 1;
}

void OrderGrid::renumberRows(int first)
{
    const RowMap& map = m_state.book.OGRowMap;
    const int column = gridColumn(OrderLineType, O_BrOrderId);
    if (column == 0)
        return;
    for (int row = std::max(first, 2); row <= map.count(); ++row) {
        const RowEntry& e = map[row];
        const OrderRecord* r = recordOfRow(row);
        if (!r || (e.Art != EntryLine && e.Art != OpenOrder && e.Art != FinishedOrder))
            continue;
        // Only a row whose number changed is marked as changed (and painted again).
        const QString text = rowNumberText(row, e.Art, e.Item, *r);
        if (cells.at(row, column).text != text)
            cells.cell(row, column).text = text;
    }
}

QString OrderGrid::rowNumberText(int row, int kind, int item, const OrderRecord& r) const
{
    if (kind == EntryLine)
        return QStringLiteral("Z%1 L%2 B%3%4- -").arg(row).arg(item).arg(r.BrRolle).arg(r.BrParent);
    return QStringLiteral("Z%1 O%2 B%3-%4 %5").arg(row).arg(item).arg(r.BrRolle).arg(r.BrParentID).arg(fromWire(r.BrOrderID));
}

std::vector<std::vector<Cell>> OrderGrid::widestNumbers() const
{
    std::vector<std::vector<Cell>> out(GridLayout::kColumns);
    auto add = [&](LineType type, int logical, const QString& text, bool large = false) {
        const int column = gridColumn(type, logical);
        if (column <= 0 || column >= GridLayout::kColumns)
            return;
        Cell c;
        c.text = text;
        if (large) {
            c.bold = true;
            c.fontSize = 12;
        }
        out[static_cast<size_t>(column)].push_back(c);
    };
    // The captions are shown whole too ("OrderUserID", not "OrderUserI").
    for (int logical = 1; logical < GridLayout::kColumns; ++logical) {
        for (LineType type : {InstrumentLineType, OrderLineType})
            add(type, logical, layout.header[type][logical]);
    }
    // Prices up to five digits before the point and two after; quantities and volumes up
    // to five digits; amounts up to seven significant digits, as they are written.
    const QString price = priceText(-99999.99f);
    for (int logical : {C_Bid, C_Ask, C_Letzter})
        add(InstrumentLineType, logical, price);
    for (int logical : {C_BidVol, C_Askvol})
        add(InstrumentLineType, logical, QStringLiteral("99999"));
    add(InstrumentLineType, C_Zeit, QStringLiteral("00:00:00"));
    add(InstrumentLineType, C_Bestand, QStringLiteral("+99999"), true);
    add(InstrumentLineType, C_GV15, localNumber(-999999.9), true);
    add(InstrumentLineType, C_MarginWP, localNumber(9999999));
    add(InstrumentLineType, C_Bracket, QStringLiteral("Mges=") + localNumber(9999999));
    add(OrderLineType, O_OrderUserID, QStringLiteral("-9999999"));
    add(OrderLineType, O_Stck, QStringLiteral("99999"));
    add(OrderLineType, O_Limit1, price);
    add(OrderLineType, O_Limit1, QStringLiteral("Offset:") + priceText(9999.99f));
    add(OrderLineType, O_Limit2, price);
    add(OrderLineType, O_StZeit, QStringLiteral("00:00:00"));
    add(OrderLineType, O_FilledRem, priceText(99999) + QStringLiteral(" - ") + priceText(99999));
    add(OrderLineType, O_Preis, price);
    return out;
}

const OrderRecord* OrderGrid::recordOfRow(int row) const
{
    const RowMap& map = m_state.book.OGRowMap;
    if (!map.valid(row))
        return nullptr;
    const RowEntry& e = map[row];
    if (e.Art == EntryLine)
        return m_state.book.LeerOrders.valid(e.Item) ? &m_state.book.LeerOrders[e.Item] : nullptr;
    if (e.Art == OpenOrder || e.Art == FinishedOrder)
        return m_state.book.orders.valid(e.Item) ? &m_state.book.orders[e.Item] : nullptr;
    return nullptr;
}

void OrderGrid::zeigOrderGrid(int mode, int key)
{
    // The clock is read once per draw, not once per instrument line.
    m_timeText = clockText(m_clock.now().time());
    cells.beginUpdate();
    try {
        const RowMap& map = m_state.book.OGRowMap;
        const int headerHeight = cells.rowCount() > 0 ? cells.rowHeight(0) : CellGrid::kDefaultRowHeight;
        if (mode == 0) {
            cells.resize(map.count() + 1 < 2 ? 2 : map.count() + 1, GridLayout::kColumns);
            cells.columnWidth0 = 250;
            for (int half = 0; half < 2; ++half) {
                cells.setRowHeight(half, headerHeight);
                for (int c = 0; c < GridLayout::kColumns; ++c)
                    cells.put(half, c, c == 0 ? QString() : layout.header[half][c], kHeaderGrey);
            }
            for (int row = 2; row <= map.count(); ++row)
                drawRow(row);
        } else if (mode == 1) {
            for (int row = 2; row <= map.count(); ++row) {
                if (map[row].Art == WPZeile && map[row].WPIndex == key)
                    drawRow(row);
            }
        } else if (mode == 2) {
            if (key >= 2 && key <= map.count())
                drawRow(key);
        }
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:ZeigOrderGrid ") + QString::fromLatin1(e.what()));
    }
    cells.endUpdate();
}

void OrderGrid::redrawInstruments(const QList<int>& instruments)
{
    // One pass over the row map finds the instrument lines; each changed one is drawn.
    m_timeText = clockText(m_clock.now().time());
    const RowMap& map = m_state.book.OGRowMap;
    m_lineOf.assign(static_cast<size_t>(m_state.InstrumentCount) + 1, 0);
    for (int row = 2; row <= map.count(); ++row) {
        const RowEntry& e = map[row];
        if (e.Art == WPZeile && e.WPIndex >= 1 && e.WPIndex <= m_state.InstrumentCount && !m_lineOf[e.WPIndex])
            m_lineOf[e.WPIndex] = row;
    }
    cells.beginUpdate();
    try {
        for (int n : instruments) {
            if (n >= 1 && n < static_cast<int>(m_lineOf.size()) && m_lineOf[n])
                drawRow(m_lineOf[n]);
        }
    } catch (const std::exception& e) {
        m_protocol.add(QStringLiteral("F:ZeigOrderGrid ") + QString::fromLatin1(e.what()));
    }
    cells.endUpdate();
}

void OrderGrid::put(int row, LineType type, int logical, const QString& text)
{
    put(row, type, logical, text, layout.farbe[type][logical]);
}

void OrderGrid::put(int row, LineType type, int logical, const QString& text, Colour background)
{
    const int column = layout.spalte[type][logical];
    if (column == 0)
        return;
    Cell& c = cells.cell(row, column);
    c = Cell{};
    c.text = text;
    c.background = background;
    c.ownBackground = true;
}

void OrderGrid::fillLine(int row, LineType type)
{
    // Every cell of the line starts with the colour the column table gives its column,
    // also the columns this line leaves empty, so that none shows the separator colour.
    // The logical column of each grid column, as logicalColumn() gives it, in one pass.
    std::array<int, GridLayout::kColumns> logicalOf{};
    for (int logical = GridLayout::kColumns - 1; logical >= 1; --logical) {
        const int column = layout.spalte[type][logical];
        if (column > 0 && column < GridLayout::kColumns)
            logicalOf[static_cast<size_t>(column)] = logical;
    }
    for (int column = 1; column < GridLayout::kColumns && column < cells.columnCount(); ++column) {
        const int logical = logicalOf[static_cast<size_t>(column)];
        cells.put(row, column, QString(), layout.farbe[type][logical ? logical : column]);
    }
}

void OrderGrid::drawRow(int row)
{
    const RowEntry e = m_state.book.OGRowMap[row];
    if (row >= cells.rowCount())
        return;
    cells.clearRow(row);
    switch (e.Art) {
    case Trennzeile:
        cells.put(row, 0, QString(), kColumn0Order);
        cells.generalBackground = m_state.colours[OG_Trennzeile];
        cells.setRowHeight(row, qMax(1, cells.rowHeight(0) / 2));
        break;
    case WPZeile:
        cells.setRowHeight(row, CellGrid::kDefaultRowHeight);
        drawInstrumentLine(row, e.WPIndex);
        break;
    default:
        cells.setRowHeight(row, CellGrid::kDefaultRowHeight);
        drawOrderLine(row, e.Art, e.WPIndex, e.Item);
        break;
    }
}

void OrderGrid::setPricesStale(bool stale)
{
    if (stale == m_pricesStale)
        return;
    m_pricesStale = stale;
    markRebuild();
    refresh();
}

void OrderGrid::drawInstrumentLine(int row, int wpIndex)
{
    const InstrumentRecord* ins = m_state.instrument(wpIndex);
    if (!ins)
        return;
    const LineType t = InstrumentLineType;
    cells.put(row, 0, QString(), kColumn0Instrument);
    fillLine(row, t);
    put(row, t, C_TICKER, fromWire(ins->Ticker));
    put(row, t, C_Boerse, QStringLiteral("EUX"));
    put(row, t, C_Name, fromWire(ins->Lumticker));
    put(row, t, C_Stck, QStringLiteral("-"));
    put(row, t, C_Preis, QStringLiteral("0.0"));
    put(row, t, C_GV6, QStringLiteral("+- 0"));
    put(row, t, C_BidVol, QString::number(ins->BidVol));
    put(row, t, C_Bid, priceText(ins->Bid));
    put(row, t, C_Ask, priceText(ins->Ask));
    put(row, t, C_Askvol, QString::number(ins->AskVol));
    put(row, t, C_Letzter, priceText(ins->Letzter));
    put(row, t, C_Zeit, m_timeText);
    if (m_pricesStale) {
        for (const int logical : {C_BidVol, C_Bid, C_Ask, C_Askvol, C_Letzter, C_Zeit}) {
            if (const int col = gridColumn(t, logical)) {
                Cell& c = cells.cell(row, col);
                c.foreground = dimmed(c.ownForeground ? c.foreground : cells.textColour,
                                      c.ownBackground ? c.background : cells.generalBackground);
                c.ownForeground = true;
            }
        }
    }
    if (m_state.book.DefaultWP == wpIndex)
        put(row, t, C_DEFAULT, QStringLiteral("DEFAULT"), kYellow);
    else
        put(row, t, C_DEFAULT, QStringLiteral("DEFAULT"));

    const PositionRecord* pos = m_state.positionOf(wpIndex);
    if (pos) {
        put(row, t, C_Bestand, (pos->Bestand > 0 ? QStringLiteral("+") : QString()) + QString::number(pos->Bestand));
        if (const int col = gridColumn(t, C_Bestand)) {
            Cell& c = cells.cell(row, col);
            c.centred = true;
            c.bold = true;
            c.fontSize = 12;
            c.foreground = kWhite;
            c.ownForeground = true;
        }
        put(row, t, C_GV15, localNumber(double(pos->SumWert) - double(pos->SumKost)),
            m_state.colours[OG_Bestand]);
        if (const int col = gridColumn(t, C_GV15)) {
            Cell& c = cells.cell(row, col);
            c.centred = true;
            c.bold = true;
            c.fontSize = 12;
        }
        put(row, t, C_MarginWP, localNumber(pos->MarginS));
        const float total = m_state.users.size() > 1 ? m_state.user().totalMargin : 0;
        if (total != 0)
            put(row, t, C_Bracket, QStringLiteral("Mges=") + localNumber(total));
    } else {
        put(row, t, C_Bestand, QString());
    }
}

void OrderGrid::drawOrderLine(int row, int kind, int wpIndex, int item)
{
    const OrderRecord* r = recordOfRow(row);
    if (!r)
        return;
    const LineType t = OrderLineType;
    const InstrumentRecord* ins = m_state.instrument(wpIndex);
    cells.put(row, 0, QString(), kColumn0Order);
    fillLine(row, t);
    put(row, t, O_Ticker, ins ? fromWire(ins->Ticker) : QString());
    put(row, t, O_gilt, QStringLiteral("DAY"));
    put(row, t, O_OrderID, fromWire(r->OrderID));
    put(row, t, O_OrderUserID, kind == EntryLine ? QStringLiteral("-") : QString::number(r->OrderUserID));

    const bool finished = kind == FinishedOrder;
    const Colour sideColour = finished ? (r->isBuy() ? kHeaderGrey : kGrey128) : (r->isBuy() ? kGreen : kRed);
    put(row, t, O_BS, fromWire(r->BS), sideColour);
    put(row, t, O_Stck, QString::number(r->Stck));
    if (r->BrRolle >= 2 && r->Limit1 <= 0)
        put(row, t, O_Limit1, QStringLiteral("Offset:") + priceText(std::abs(r->Limit1)));
    else
        put(row, t, O_Limit1, priceText(r->Limit1));
    put(row, t, O_Limit2, priceText(r->Limit2));

    Colour typColour = layout.farbe[t][O_Typ];
    if (kind != EntryLine) {
        if (r->BrRolle == 1 && r->Status == Submitted)
            typColour = m_state.colours[OG_BracketMain];
        else if (r->BrRolle >= 2 && r->BrAktiv && r->Status == Submitted)
            typColour = m_state.colours[OG_BracketChildHot];
        else if (r->BrRolle >= 2 && !r->BrAktiv && kind == OpenOrder)
            typColour = m_state.colours[OG_BracketChildCold];
    }
    const QString typ = fromWire(r->Typ);
    put(row, t, O_Typ, r->BrRolle >= 1 && r->BrRolle <= 4 ? QStringLiteral("BR:") + typ : typ, typColour);

    if (kind == EntryLine) {
        put(row, t, O_TRANS, QStringLiteral("TRANSMIT"));
        put(row, t, O_CANCEL, QStringLiteral("DELETE"), kGrey192);
        for (int c : {O_Status, O_StZeit, O_FilledRem, O_Preis})
            put(row, t, c, QString());
        put(row, t, O_BrOrderId, rowNumberText(row, kind, item, *r));
    } else {
        if (kind == OpenOrder) {
            put(row, t, O_TRANS, QStringLiteral("-"), kGrey192);
            put(row, t, O_CANCEL, QStringLiteral("CANCEL"));
        } else {
            put(row, t, O_TRANS, QStringLiteral("-"), kGrey192);
            put(row, t, O_CANCEL, QStringLiteral("-"), kGrey192);
        }
        put(row, t, O_Status, fromWire(orderStatusText(r->Status)));
        put(row, t, O_StZeit, r->Typ.contains("OVN") ? QStringLiteral("overnight") : fromWire(FormatZeit(r->StZeit)));
        put(row, t, O_FilledRem, priceText(float(r->Filled)) + QStringLiteral(" - ") + priceText(float(r->Rem)));
        put(row, t, O_Preis, priceText(r->Preis));
        put(row, t, O_BrOrderId, rowNumberText(row, kind, item, *r));
    }
}

} // namespace korvi
