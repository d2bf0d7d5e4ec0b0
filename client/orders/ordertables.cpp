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

int OrderBook::SuchOrderUserID(qint32 id) const
{
    for (int i = 1; i <= orders.count(); ++i) {
        if (orders[i].OrderUserID == id)
            return i;
    }
    return 0;
}

int OrderBook::SuchOrderID(QByteArrayView id) const
{
    const QByteArray key = fixedText(id, 8);
    for (int i = 1; i <= orders.count(); ++i) {
        if (orders[i].OrderID == key)
            return i;
    }
    return 0;
}

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
    for (int i = 1; i <= instrumentCount; ++i) {
        OGRowMap.append({WPZeile, static_cast<qint16>(i), 0});
        OGRowMap.append({Trennzeile, static_cast<qint16>(i), 0});
        for (int e = 1; e <= LeerOrders.count(); ++e) {
            if (LeerOrders[e].WPIndex == i)
                OGRowMap.append({EntryLine, static_cast<qint16>(i), e});
        }
        for (int o = orders.count(); o >= 1; --o) {
            const OrderRecord& r = orders[o];
            if (r.WPIndex != i)
                continue;
            if (r.Status >= 1 && r.Status <= 4)
                OGRowMap.append({OpenOrder, static_cast<qint16>(i), o});
            else if ((r.Status == 5 || r.Status == 6) && ZeigeAlleOrders)
                OGRowMap.append({FinishedOrder, static_cast<qint16>(i), o});
        }
    }
}

} // namespace korvi
