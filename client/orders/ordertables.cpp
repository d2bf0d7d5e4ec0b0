#include "ordertables.h"

namespace korvi {

QByteArray fixedText(QByteArrayView text, int width)
{
    QByteArray out = text.first(qMin<qsizetype>(width, text.size())).toByteArray();
    if (out.size() < width)
        out.append(QByteArray(width - out.size(), ' '));
    return out;
}

QByteArray orderStatusText(int status)
{
    static const char* const kTexts[] = {"-", "PendSubm.", "PendCancel", "PreSubm.", "Submitted", "Cancelled", "Filled "};
    return status >= 0 && status <= 6 ? QByteArray(kTexts[status]) : QByteArray();
}

int OrderBook::entryLineCount() const
{
    int count = 0;
    for (int i = 1; i <= LeerOrders.count(); ++i)
        count += LeerOrders[i].WPIndex != 0 ? 1 : 0;
    return count;
}

int OrderBook::MachneueLeerzeile(qint16 wpIndex, QByteArrayView side, qint32 quantity, float bid,
                                 float ask, const QByteArray& userKz)
{
    // A free slot that exits still name as their main (it was sent, they were not yet) is
    // not reused: they would become the new line's exits.
    auto namedAsMain = [this](int slot) {
        for (int i = 1; i <= LeerOrders.count(); ++i) {
            if (LeerOrders[i].WPIndex != 0 && LeerOrders[i].BrRolle >= 2 && LeerOrders[i].BrParent == slot)
                return true;
        }
        return false;
    };
    int slot = 0;
    for (int i = 1; i <= LeerOrders.count(); ++i) {
        if (LeerOrders[i].WPIndex == 0 && !namedAsMain(i)) {
            slot = i;
            break;
        }
    }
    // A reused slot starts empty: a bracket field left from its last line would tie the
    // new line to another group's main.
    if (slot == 0)
        slot = LeerOrders.append(OrderRecord{});
    else
        LeerOrders[slot] = OrderRecord{};
    OrderRecord& r = LeerOrders[slot];
    r.BS = fixedText(side, 4);
    r.WPIndex = wpIndex;
    r.Stck = quantity;
    r.Limit1 = side.startsWith("BUY") ? ask : bid;
    r.Limit2 = 0;
    r.Typ = "MKT";
    r.UserKz = fixedText(userKz, 6);
    r.OrderUserID = 0;
    return slot;
}

void OrderBook::ResetLeerOrder(int index)
{
    if (!LeerOrders.valid(index))
        return;
    LeerOrders[index].WPIndex = 0;
    LeerOrders[index].BrRolle = 0;
    LeerOrders[index].BrParent = 0;
}

int OrderBook::SuchOrderUserID(qint32 id) const { return orders.findUserId(id); }

int OrderBook::SuchOrderID(QByteArrayView id) const { return orders.findOrderId(fixedText(id, 8)); }

int OrderBook::SuchRow(qint32 item, qint16 art) const
{
    for (int row = 1; row <= OGRowMap.count(); ++row) {
        const RowEntry& e = OGRowMap[row];
        const bool kindMatches = art == OpenOrder ? (e.Art == OpenOrder || e.Art == FinishedOrder) : e.Art == art;
        if (e.Item == item && kindMatches)
            return row;
    }
    return 0;
}

int OrderBook::InsertRow(int row, qint16 art)
{
    RowEntry e;
    e.Art = art;
    OGRowMap.insertAfter(row, e);
    return row + 1;
}

void OrderBook::BuildOrderGrid(int instrumentCount)
{
    OGRowMap.reset();
    if (instrumentCount < 1)
        return;
    // The entry lines and orders are sorted into one bucket per instrument first, so the
    // build is linear in the number of rows however many instruments there are.
    const auto buckets = static_cast<size_t>(instrumentCount) + 1;
    std::vector<int> entryStart(buckets + 1, 0), orderStart(buckets + 1, 0);
    auto shown = [this](const OrderRecord& r) {
        return (r.Status >= 1 && r.Status <= 4) || ((r.Status == 5 || r.Status == 6) && ZeigeAlleOrders);
    };
    auto inRange = [instrumentCount](qint16 wp) { return wp >= 1 && wp <= instrumentCount; };
    for (int e = 1; e <= LeerOrders.count(); ++e)
        if (inRange(LeerOrders[e].WPIndex))
            ++entryStart[static_cast<size_t>(LeerOrders[e].WPIndex) + 1];
    for (int o = 1; o <= orders.count(); ++o)
        if (inRange(orders[o].WPIndex) && shown(orders[o]))
            ++orderStart[static_cast<size_t>(orders[o].WPIndex) + 1];
    for (size_t b = 1; b <= buckets; ++b) {
        entryStart[b] += entryStart[b - 1];
        orderStart[b] += orderStart[b - 1];
    }
    std::vector<int> entrySorted(static_cast<size_t>(entryStart[buckets]));
    std::vector<int> orderSorted(static_cast<size_t>(orderStart[buckets]));
    {
        std::vector<int> next(entryStart.begin(), entryStart.end() - 1);
        for (int e = 1; e <= LeerOrders.count(); ++e)
            if (inRange(LeerOrders[e].WPIndex))
                entrySorted[static_cast<size_t>(next[static_cast<size_t>(LeerOrders[e].WPIndex)]++)] = e;
        // Newest orders (appended last) come first in their block.
        next.assign(orderStart.begin(), orderStart.end() - 1);
        for (int o = orders.count(); o >= 1; --o)
            if (inRange(orders[o].WPIndex) && shown(orders[o]))
                orderSorted[static_cast<size_t>(next[static_cast<size_t>(orders[o].WPIndex)]++)] = o;
    }
    for (int i = 1; i <= instrumentCount; ++i) {
        const auto b = static_cast<size_t>(i);
        OGRowMap.append({WPZeile, static_cast<qint16>(i), 0});
        OGRowMap.append({Trennzeile, static_cast<qint16>(i), 0});
        for (int k = entryStart[b]; k < entryStart[b + 1]; ++k)
            OGRowMap.append({EntryLine, static_cast<qint16>(i), entrySorted[static_cast<size_t>(k)]});
        for (int k = orderStart[b]; k < orderStart[b + 1]; ++k) {
            const int o = orderSorted[static_cast<size_t>(k)];
            OGRowMap.append({orders[o].Status <= 4 ? OpenOrder : FinishedOrder, static_cast<qint16>(i), o});
        }
    }
}

} // namespace korvi
