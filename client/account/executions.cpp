#include "executions.h"

#include "dates.h"
#include "framing.h"
#include "loglist.h"
#include "orders/fieldnumbers.h"
#include "orders/ordergrid.h"
#include "orders/orderstatus.h"
#include "seams.h"
#include "state.h"
#include "textfile.h"

#include <algorithm>

namespace korvi {

namespace {

// Logical columns of the execution grid.
enum ExColumn : int {
    E_Nr = 1, E_Aktion, E_Stueck, E_Ticker, E_Lumticker, E_Name, E_Preis, E_Summe, E_Waehrung,
    E_Zeit, E_ExID, E_OrderID, E_Commissions, E_Gewinn, E_Ergebnis, E_Last = E_Ergebnis
};
constexpr int kExecutionGridColumns = 16;

} // namespace

Executions::Executions(State& state, LogList& outgoing, LogList& protocol, Sound& sound, QObject* parent)
    : QObject(parent), m_state(state), m_book(state.executions), m_outgoing(outgoing), m_protocol(protocol),
      m_sound(sound)
{
    InitGridLayout();
}

std::vector<std::vector<Cell>> Executions::widestNumbers() const
{
    std::vector<std::vector<Cell>> out(GridLayout::kColumns);
    auto add = [&](int logical, const QString& text) {
        const int column = layout.spalte[0][logical];
        if (column > 0 && column < GridLayout::kColumns)
            out[static_cast<size_t>(column)].push_back(Cell{text});
    };
    for (int c = 1; c <= E_Last; ++c)
        add(c, layout.header[0][c]);
    add(E_Stueck, QStringLiteral("99999"));
    add(E_Preis, localNumber(-99999.99));
    add(E_Zeit, QStringLiteral("00:00:00"));
    for (int c : {E_Summe, E_Gewinn, E_Ergebnis})
        add(c, localNumber(-9999999));
    add(E_Commissions, QStringLiteral("-") + localNumber(99999.99));
    return out;
}

void Executions::InitGridLayout()
{
    layout = executionGridLayout(m_state.colours);
    cells.textColour = layout.textColour;
}

QStringList Executions::orderCaptions()
{
    return {QStringLiteral("Nach WP / Nach Datum"), QStringLiteral("Nach Datum Neu Unten"),
            QStringLiteral("Nach Datum Neu Oben")};
}

void Executions::setOrder(ExecutionOrder order)
{
    m_order = order;
    refreshGrid();
}

void Executions::refreshGrid()
{
    pacer.begin();
    m_resortPending = false;
    m_resortNow = false;
    for (int index : m_dirtyList)
        m_dirty[static_cast<size_t>(index)] = 0;
    m_dirtyList.clear();
    ++m_redrawsAll;
    SortExRows();
    ZeigExecutionGrid(0, 0);
    pacer.end();
}

void Executions::markExecution(int index)
{
    const auto i = static_cast<size_t>(index);
    if (i >= m_dirty.size())
        m_dirty.resize(std::max(i + 1, m_dirty.size() * 2), 0);
    if (!m_dirty[i]) {
        m_dirty[i] = 1;
        m_dirtyList.push_back(index);
    }
}

bool Executions::refresh()
{
    if (m_soundPending) {
        m_soundPending = false;
        ExecutionSound();
    }
    if (m_resortPending) {
        if (rebuildWait() > 0)
            return false;
        refreshGrid();
        return true;
    }
    if (m_dirtyList.empty())
        return false;
    // One pass over the rows finds the rows of the changed executions.
    const auto& map = m_book.ExecutionRowMap;
    std::vector<int> entries;
    for (int i = 1; i <= map.count(); ++i) {
        const auto n = static_cast<size_t>(map[i].execution);
        if (map[i].kind == ExExecutionRow && n < m_dirty.size() && m_dirty[n])
            entries.push_back(i);
    }
    for (int index : m_dirtyList)
        m_dirty[static_cast<size_t>(index)] = 0;
    m_dirtyList.clear();
    if (entries.empty())
        return false;
    cells.beginUpdate();
    for (int entry : entries)
        drawEntry(entry);
    cells.endUpdate();
    return true;
}

void Executions::failed(const char* procedure, int error)
{
    m_protocol.add(QStringLiteral("F:") + QLatin1String(procedure) + QLatin1Char(' ') + QString::number(error));
}

ExecutionRecord Executions::fromFields(const Fields& f, const char* procedure)
{
    ExecutionRecord r;
    auto number = [&](auto value, auto& target) {
        if (value)
            target = *value;
        else
            failed(procedure, kErrOverflow);
    };
    r.tag = fixedText(f[1], 6);
    r.orderId = fixedText(f[2], 8);
    r.field3 = fixedText(f[3], 12);
    number(int16Field(f[4]), r.instrument);
    r.field5 = fixedText(f[5], 3);
    r.executionId = fixedText(f[6], 8);
    r.time = fixedText(f[7], 12);
    r.action = fixedText(f[8], 3);
    number(int32Field(f[9]), r.quantity);
    number(singleField(f[10]), r.price);
    number(singleField(f[11]), r.sum);
    number(singleField(f[12]), r.commissions);
    number(singleField(f[13]), r.profit);
    return r;
}

void Executions::WS_EX(QByteArrayView body)
{
    m_fields.split(body, kMaxFields, ';');
    const ExecutionRecord record = fromFields(m_fields, "WS_EX");

    // The grid follows at the next refresh: a known execution is redrawn in its row, a new
    // one sorts and draws the whole grid.
    auto& table = m_book.table;
    if (const int found = table.find(record.executionId)) {
        table.set(found, record);
        markExecution(found);
    } else {
        if (m_state.settings.executionSound != 0)
            m_soundPending = true;
        table.append(record);
        m_resortPending = true;
    }

    const int order = m_state.book.SuchOrderID(record.orderId);
    if (order != 0 && m_state.book.orders[order].OrderUserID < 0 && externalExecution)
        externalExecution(body);
}

void Executions::WS_SAE(QByteArrayView body)
{
    const int pieces = m_records.split(body, kMaxRecords, '\n');
    const int count = m_records.stored();
    for (int i = 1; i <= count; ++i)
        m_outgoing.add(fromWire(m_records[i]));
    if (pieces > count)
        failed("WS_SAE", kErrOutOfRange);

    std::vector<ExecutionRecord> records;
    records.reserve(static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
        m_fields.split(m_records[i], kMaxFields, ';');
        records.push_back(fromFields(m_fields, "WS_SAE"));
    }
    m_book.table.replace(std::move(records));
    m_resortPending = true;
    m_resortNow = true; // the rows name records of the old table: no waiting

    if (takeExecutionsPending && wexSend && takeExecutionsPending()) {
        QByteArray framed;
        framed += FrameStart;
        framed += "@SAE;";
        framed += body;
        framed += FrameEnd;
        wexSend(framed);
    }
}

void Executions::SortExRows()
{
    auto& map = m_book.ExecutionRowMap;
    const auto& table = m_book.table;
    map.clear(100);
    map.append(ExecutionRowEntry{}); // the header row

    const int count = table.count();
    switch (m_order) {
    case ExecutionOrder::NewestAtBottom:
        for (int i = 1; i <= count; ++i)
            map.append({ExExecutionRow, table[i].instrument, i});
        break;
    case ExecutionOrder::NewestAtTop:
        for (int i = count; i >= 1; --i)
            map.append({ExExecutionRow, table[i].instrument, i});
        break;
    case ExecutionOrder::ByInstrument: {
        // One block per instrument in table order, oldest first, each closed by a separator.
        // Executions of instruments the table does not know form a last block, so none
        // goes unseen. Bucketing keeps this linear in the number of executions.
        const int instruments = qMax(0, m_state.InstrumentCount);
        const int unknown = instruments + 1;
        std::vector<int> start(static_cast<size_t>(instruments) + 3, 0);
        auto bucketOf = [&](const ExecutionRecord& r) {
            return r.instrument >= 1 && r.instrument <= instruments ? int(r.instrument) : unknown;
        };
        for (int i = 1; i <= count; ++i)
            ++start[static_cast<size_t>(bucketOf(table[i])) + 1];
        for (size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        std::vector<int> sorted(static_cast<size_t>(count));
        std::vector<int> next(start.begin(), start.end() - 1);
        for (int i = 1; i <= count; ++i)
            sorted[static_cast<size_t>(next[static_cast<size_t>(bucketOf(table[i]))]++)] = i;
        for (int b = 1; b <= unknown; ++b) {
            const int first = start[static_cast<size_t>(b)], last = start[static_cast<size_t>(b) + 1];
            for (int k = first; k < last; ++k) {
                const int i = sorted[static_cast<size_t>(k)];
                map.append({ExExecutionRow, table[i].instrument, i});
            }
            if (last > first)
                map.append({ExSeparatorRow, 0, 0});
        }
        break;
    }
    }
}

int Executions::SuchExRow(int execution) const
{
    const auto& map = m_book.ExecutionRowMap;
    for (int i = 1; i <= map.count(); ++i) {
        if (map[i].kind == ExExecutionRow && map[i].execution == execution)
            return i;
    }
    return 0;
}

void Executions::ZeigExecutionGrid(int mode, int key)
{
    const auto& map = m_book.ExecutionRowMap;
    cells.beginUpdate();
    const int headerHeight = cells.rowCount() > 0 ? cells.rowHeight(0) : CellGrid::kDefaultRowHeight;
    if (mode == 0) {
        cells.resize(qMax(1, map.count()), kExecutionGridColumns);
        cells.columnWidth0 = 250;
        cells.setRowHeight(0, headerHeight);
        for (int c = 1; c <= E_Last; ++c) {
            if (const int column = layout.spalte[0][c])
                cells.put(0, column, layout.header[0][c], layout.farbe[0][c]);
        }
        for (int entry = 1; entry <= map.count(); ++entry)
            drawEntry(entry);
    } else if (mode == 2 && map.valid(key)) {
        drawEntry(key);
    }
    cells.endUpdate();
}

void Executions::drawEntry(int entry)
{
    const ExecutionRowEntry e = m_book.ExecutionRowMap[entry];
    const int row = entry - 1;
    if (row >= cells.rowCount())
        return;
    const int height = cells.rowHeight(0);
    if (e.kind == ExSeparatorRow) {
        cells.setRowHeight(row, qMax(1, height / 2));
        for (int column = 1; column < cells.columnCount(); ++column)
            cells.put(row, column, QString(), m_state.colours[EG_Trennzeile]);
    } else if (e.kind == ExExecutionRow) {
        cells.setRowHeight(row, height);
        drawExecutionRow(row, e.execution);
    }
}

void Executions::drawExecutionRow(int row, int execution)
{
    if (!m_book.table.valid(execution))
        return failed("ZeigExecutionGrid", kErrOutOfRange);
    const ExecutionRecord& r = m_book.table[execution];
    const InstrumentRecord* ins = m_state.instrument(r.instrument);
    cells.cell(row, 0).text = QStringLiteral("1");

    for (int c = 1; c <= E_Last; ++c) {
        const int column = layout.spalte[0][c];
        if (column == 0)
            continue;
        QString text;
        switch (c) {
        case E_Nr: text = QStringLiteral("ENr") + QString::number(execution); break;
        case E_Aktion: text = fromWire(r.action); break;
        case E_Stueck: text = QString::number(r.quantity); break;
        case E_Preis: text = localNumber(r.price); break;
        case E_Summe: text = localNumber(r.sum); break;
        case E_Zeit:
            text = r.commissions != 0 ? fromWire(FormatZeit(r.time)) : QStringLiteral("overnight");
            break;
        case E_ExID: text = fromWire(r.executionId); break;
        case E_OrderID: text = fromWire(r.orderId); break;
        case E_Commissions: text = QStringLiteral("-") + localNumber(r.commissions); break;
        case E_Gewinn: text = localNumber(r.profit); break;
        case E_Ergebnis: text = localNumber(r.profit - r.commissions); break;
        default: // the instrument's cells
            if (!ins) {
                // An instrument outside the table: its cells stay empty.
                failed("ZeigExecutionGrid", kErrOutOfRange);
                break;
            }
            text = fromWire(c == E_Ticker ? ins->Ticker
                            : c == E_Lumticker ? ins->Lumticker
                            : c == E_Name ? ins->Name
                                          : ins->Waehrung);
            break;
        }
        cells.put(row, column, text, layout.farbe[0][c]);
    }
}

void Executions::ExecutionSound()
{
    if (m_state.settings.executionSound != 0)
        m_sound.play(m_state.filePath(QLatin1String(kExecutionSoundFile)));
}

} // namespace korvi
