#pragma once

#include "orders/ordertables.h"

#include <QByteArray>

namespace korvi {

// One fill of one of the participant's orders, as the server reports it. Texts keep a fixed
// width (blank-padded or cut), so ids compare as the padded texts.
struct ExecutionRecord {
    QByteArray tag = QByteArray(6, ' ');
    QByteArray orderId = QByteArray(8, ' ');
    QByteArray executionId = QByteArray(8, ' ');
    QByteArray field3 = QByteArray(12, ' ');
    QByteArray action = QByteArray(3, ' ');
    qint32 quantity = 0;
    float price = 0;
    float sum = 0;
    QByteArray time = QByteArray(12, ' ');
    qint16 instrument = 0; // number in the instrument table, from 1
    QByteArray field5 = QByteArray(3, ' ');
    float commissions = 0;
    float profit = 0;
};

// Row kinds of the execution grid.
enum ExecutionRowKind : qint16 { ExHeaderRow = 0, ExExecutionRow = 1, ExSeparatorRow = 2 };

// One row of the execution grid: entry i describes grid row i - 1, so entry 1 is the header.
struct ExecutionRowEntry {
    qint16 kind = ExHeaderRow;
    qint16 instrument = 0;
    qint32 execution = 0;
};

// The execution table: found by execution id through an index kept in step with every
// change. The id of a stored execution changes only through set(), append() or replace().
class ExecutionTable : public SteppedTable<ExecutionRecord, 100> {
    using Base = SteppedTable<ExecutionRecord, 100>;

public:
    int append(const ExecutionRecord& record)
    {
        const int index = Base::append(record);
        m_byId.add(record.executionId, index);
        return index;
    }
    void set(int index, const ExecutionRecord& record)
    {
        if (!valid(index))
            return;
        ExecutionRecord& r = (*this)[index];
        if (r.executionId != record.executionId) {
            m_byId.remove(r.executionId, index);
            m_byId.add(record.executionId, index);
        }
        r = record;
    }
    void replace(std::vector<ExecutionRecord> records)
    {
        Base::replace(std::move(records));
        m_byId.clear();
        for (int i = 1; i <= count(); ++i)
            m_byId.add((*this)[i].executionId, i);
    }
    // The first execution with this id (8 characters, blank-padded), or 0.
    int find(const QByteArray& paddedId) const { return m_byId.first(paddedId); }

private:
    using Base::clear;
    using Base::insertAfter;
    using Base::remove;
    KeyIndex<QByteArray> m_byId;
};

// The executions received in this run and the grid's row map. The table grows by 100 and
// is replaced whole by the server's full list; records are never removed one by one.
struct ExecutionBook {
    ExecutionTable table;
    SteppedTable<ExecutionRowEntry, 100> ExecutionRowMap;
};

} // namespace korvi
