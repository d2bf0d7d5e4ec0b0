#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace korvi {

// A text of exactly `width` characters: cut, or padded with blanks on the right.
QByteArray fixedText(QByteArrayView text, int width);

// One order: an entry line being composed, or an order the server reported.
struct OrderRecord {
    qint32 Stck = 0;
    float Limit1 = 0;
    float Limit2 = 0;
    qint16 Status = 0;
    qint32 Filled = 0;
    qint32 Rem = 0;
    qint16 WPIndex = 0; // in the entry-line table 0 marks a free slot
    float Preis = 0;
    QByteArray UserKz = QByteArray(6, ' ');
    qint32 OrderUserID = 0;
    QByteArray OrderID = QByteArray(8, ' ');
    QByteArray Info12 = QByteArray(12, ' ');
    QByteArray BS = QByteArray(4, ' ');
    QByteArray Typ = QByteArray(3, ' ');
    QByteArray OrderZeit = QByteArray(6, ' ');
    QByteArray StZeit = QByteArray(6, ' ');
    QByteArray Info3 = QByteArray(3, ' ');
    qint16 BrRolle = 0;
    qint32 BrParent = 0;
    qint32 BrParentID = 0;
    QByteArray BrOrderID = QByteArray(8, ' ');
    quint8 BrAktiv = 0;
    quint8 Flag21 = 0;

    bool isBuy() const { return BS.startsWith("BUY"); }
};

// Order status codes and their names ("Filled " keeps its trailing blank).
enum OrderStatus : qint16 {
    StatusNone = 0, PendSubm = 1, PendCancel = 2, PreSubm = 3, Submitted = 4, Cancelled = 5, Filled = 6
};
QByteArray orderStatusText(int status);

// Row kinds of the order grid.
enum RowKind : qint16 { Trennzeile = 0, WPZeile = 1, EntryLine = 2, OpenOrder = 3, FinishedOrder = 4 };

} // namespace korvi
