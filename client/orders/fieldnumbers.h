#pragma once

#include "market/instruments.h"
#include "numbers.h"

#include <QByteArrayView>
#include <optional>

namespace korvi {

// Numbers of the server's record messages: the leading numeric part with "." as decimal
// point, 0 for no number, integers rounded halves to even. No result when the value does
// not fit the field, which fails the step that stores it.
inline std::optional<qint32> int32Field(QByteArrayView text) { return toInt32(readNumber(text)); }
inline std::optional<qint16> int16Field(QByteArrayView text) { return toInt16(readNumber(text)); }
inline std::optional<float> singleField(QByteArrayView text) { return toSingle(readNumber(text)); }
inline std::optional<quint8> byteField(QByteArrayView text)
{
    const std::optional<qint32> v = int32Field(text);
    if (!v || *v < 0 || *v > 255)
        return std::nullopt;
    return static_cast<quint8>(*v);
}

} // namespace korvi
