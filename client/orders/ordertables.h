#pragma once

#include "orderrecord.h"

#include <QHash>
#include <QList>
#include <algorithm>
#include <vector>

namespace korvi {

// A 1-based table of records with a count and a capacity that grows in fixed steps, as
// the order, entry-line and row-map tables do. Slot 0 is never used.
template <typename T, int Step>
class SteppedTable {
public:
    int count() const { return m_count; }
    int capacity() const { return static_cast<int>(m_items.size()) - 1; }
    bool valid(int i) const { return i >= 1 && i <= m_count; }
    T& operator[](int i) { return m_items.at(static_cast<size_t>(i)); }
    const T& operator[](int i) const { return m_items.at(static_cast<size_t>(i)); }

    // Appends one record, growing the capacity by the step when it is full.
    int append(const T& item)
    {
        // The new slots are copies of one empty record: they share its data until written.
        if (m_count + 1 > capacity())
            m_items.resize(m_items.size() + Step, T{});
        m_items[static_cast<size_t>(++m_count)] = item;
        return m_count;
    }
    // Replaces the whole table; count and capacity become the number of records.
    void replace(std::vector<T> items)
    {
        m_count = static_cast<int>(items.size());
        m_items.assign(1, T{});
        m_items.insert(m_items.end(), std::make_move_iterator(items.begin()),
                       std::make_move_iterator(items.end()));
    }
    void clear(int capacity = 0)
    {
        m_count = 0;
        m_items.assign(static_cast<size_t>(capacity) + 1, T{});
    }
    // Inserts after `position` (0 = at the front), moving the rest down.
    void insertAfter(int position, const T& item)
    {
        append(T{});
        for (int i = m_count; i > position + 1; --i)
            (*this)[i] = (*this)[i - 1];
        (*this)[position + 1] = item;
    }
    void remove(int i)
    {
        if (!valid(i))
            return;
        for (int k = i; k < m_count; ++k)
            (*this)[k] = (*this)[k + 1];
        (*this)[m_count] = T{};
        --m_count;
    }

private:
    std::vector<T> m_items = std::vector<T>(1);
    int m_count = 0;
};

// Where each key stands in a 1-based table: every index holding the key, in ascending
// order, so that the first one is found at once as the linear search found it.
template <typename Key>
class KeyIndex {
public:
    int first(const Key& key) const
    {
        const auto it = m_slots.constFind(key);
        return it == m_slots.cend() || it->isEmpty() ? 0 : it->front();
    }
    void add(const Key& key, int index)
    {
        QList<int>& list = m_slots[key];
        list.insert(std::lower_bound(list.begin(), list.end(), index), index);
    }
    void remove(const Key& key, int index)
    {
        const auto it = m_slots.find(key);
        if (it == m_slots.end())
            return;
        it->removeOne(index);
        if (it->isEmpty())
            m_slots.erase(it);
    }
    void clear() { m_slots.clear(); }

private:
    QHash<Key, QList<int>> m_slots;
};

// The order table: the orders the server reported, found by their server id ("OrderID")
// and their number ("OrderUserID") through indexes kept in step with every change. The
// ids of a stored order change only through set(), append() or replace().
class OrderTable : public SteppedTable<OrderRecord, 100> {
    using Base = SteppedTable<OrderRecord, 100>;

public:
    int append(const OrderRecord& record)
    {
        const int index = Base::append(record);
        m_byOrderId.add(record.OrderID, index);
        m_byUserId.add(record.OrderUserID, index);
        return index;
    }
    // Overwrites order `index` with `record`.
    void set(int index, const OrderRecord& record)
    {
        if (!valid(index))
            return;
        OrderRecord& r = (*this)[index];
        if (r.OrderID != record.OrderID) {
            m_byOrderId.remove(r.OrderID, index);
            m_byOrderId.add(record.OrderID, index);
        }
        if (r.OrderUserID != record.OrderUserID) {
            m_byUserId.remove(r.OrderUserID, index);
            m_byUserId.add(record.OrderUserID, index);
        }
        r = record;
    }
    void replace(std::vector<OrderRecord> records)
    {
        Base::replace(std::move(records));
        reindex();
    }
    void clear(int capacity = 0)
    {
        Base::clear(capacity);
        reindex();
    }
    // The first order with this server id (8 characters, blank-padded) or number, or 0.
    int findOrderId(const QByteArray& paddedId) const { return m_byOrderId.first(paddedId); }
    int findUserId(qint32 id) const { return m_byUserId.first(id); }

private:
    // Orders are never inserted or removed one by one.
    using Base::insertAfter;
    using Base::remove;
    void reindex()
    {
        m_byOrderId.clear();
        m_byUserId.clear();
        for (int i = 1; i <= count(); ++i) {
            m_byOrderId.add((*this)[i].OrderID, i);
            m_byUserId.add((*this)[i].OrderUserID, i);
        }
    }

    KeyIndex<QByteArray> m_byOrderId;
    KeyIndex<qint32> m_byUserId;
};

// One grid row: its kind, instrument and record (entry line or order index).
struct RowEntry {
    qint16 Art = Trennzeile;
    qint16 WPIndex = 0;
    qint32 Item = 0;
};

using EntryLineTable = SteppedTable<OrderRecord, 10>;

// The row map: entry n describes grid row n. Rows 0 and 1 are the header rows, so the
// first data row is 2 and entry 1 stays empty.
class RowMap : public SteppedTable<RowEntry, 100> {
public:
    void reset()
    {
        clear(100);
        append(RowEntry{}); // row 1, reserved
    }
};

// The order tables of the program.
struct OrderBook {
    OrderTable orders;
    EntryLineTable LeerOrders;
    RowMap OGRowMap;
    bool ZeigeAlleOrders = false;
    qint16 DefaultWP = 0;

    // "MachneueLeerzeile": a new entry line in the first free slot (or a new one).
    int MachneueLeerzeile(qint16 wpIndex, QByteArrayView side, qint32 quantity, float bid, float ask,
                          const QByteArray& userKz);
    // The entry lines in use.
    int entryLineCount() const;
    // "ResetLeerOrder": frees the slot.
    void ResetLeerOrder(int index);
    int SuchOrderUserID(qint32 id) const;
    int SuchOrderID(QByteArrayView id) const;
    // The first row whose item and kind match (kind 3 matches open and finished orders).
    int SuchRow(qint32 item, qint16 art) const;
    // "InsertRow": a new row-map entry of kind `art` after `row`; returns the new row.
    int InsertRow(int row, qint16 art);
    void DeleteRow(int row) { OGRowMap.remove(row); }
    // "BuildOrderGrid": the row map from the instruments, entry lines and orders.
    void BuildOrderGrid(int instrumentCount);
};

} // namespace korvi
