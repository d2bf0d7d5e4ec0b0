#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QTime>
#include <optional>

namespace korvi {

// Day numbers count days from 30 December 1899, the base of the statement calendar.
qint32 dayNumber(const QDate& date);
QDate dateOfDay(qint32 day);

// "YYYYMMDD" to a day number; month and day overflow into the next month or year as a
// calendar would. No result for a text that names no date at all.
std::optional<qint32> DatumAusText(QByteArrayView text);
// A day number as "YYYYMMDD".
QByteArray DatumText(qint32 day);

// Six time digits ("HHMMSS") as "HH:MM:SS"; texts shorter than 5 characters after
// trimming become "-". A five-character text uses its fourth character twice.
QByteArray FormatZeit(QByteArrayView time);

// A time of day as "HH:MM:SS", the clock text of logs, messages and the order grid; an
// invalid time gives an empty text. Written digit by digit: the grid draws it often.
QString clockText(const QTime& time);

} // namespace korvi
