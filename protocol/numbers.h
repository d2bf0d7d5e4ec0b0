#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace korvi {

// Reads a number the way every peer of this program writes one: "." is always the decimal
// point, leading blanks are skipped, blanks between digits are ignored, reading stops at
// the first character that cannot belong to the number, and a text without a number is 0.
double readNumber(QByteArrayView text);

// Conversions to integers round to the nearest integer, halves to the even neighbour.
// A value that does not fit (or is not finite) gives no result; the caller treats that as
// the failure of its current step.
std::optional<qint32> toInt32(double value);
std::optional<qint16> toInt16(double value);

// The leading-blank form: a blank for values that are not negative, "-" otherwise, the
// shortest decimal form with at most 7 (single) or 15 (double) significant digits, no
// zero before the point (" .5", "-.5", " 101.5"), and the exponent form (" 1E+07",
// " 1.5E-05") only where the plain form would need more digits than that.
QByteArray writeSingle(float value);
QByteArray writeDouble(double value);

// A whole number as decimal text without blanks ("Stri"/"TrimStr").
QByteArray stri(qint64 value);

} // namespace korvi
