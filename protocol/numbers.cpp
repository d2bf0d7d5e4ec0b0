#include "numbers.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace korvi {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Writes `value` with `precision` significant digits in the leading-blank form.
QByteArray writeWithPrecision(double value, int precision)
{
    if (std::isnan(value))
        return QByteArrayLiteral(" NaN");
    if (std::isinf(value))
        return value < 0 ? QByteArrayLiteral("-Inf") : QByteArrayLiteral(" Inf");
    QByteArray out(1, value < 0 ? '-' : ' ');
    if (value == 0)
        return out = QByteArrayLiteral(" 0");

    // "%.*e" rounds the exact binary value to the wanted number of digits.
    std::array<char, 64> buf{};
    std::snprintf(buf.data(), buf.size(), "%.*e", precision - 1, std::fabs(value));
    // buf holds d.dddddde[+-]xx
    char digits[32];
    int nd = 0;
    const char* p = buf.data();
    while (*p && *p != 'e') {
        if (isDigit(*p))
            digits[nd++] = *p;
        ++p;
    }
    int exponent = std::atoi(p + 1);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;

    if (exponent >= precision || exponent < -4) {
        out.append(digits[0]);
        if (nd > 1) {
            out.append('.');
            out.append(digits + 1, nd - 1);
        }
        char ebuf[16];
        std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        out.append(ebuf);
        return out;
    }
    if (exponent < 0) {
        out.append('.');
        out.append(QByteArray(-exponent - 1, '0'));
        out.append(digits, nd);
        return out;
    }
    const int intDigits = exponent + 1;
    for (int i = 0; i < intDigits; ++i)
        out.append(i < nd ? digits[i] : '0');
    if (nd > intDigits) {
        out.append('.');
        out.append(digits + intDigits, nd - intDigits);
    }
    return out;
}

} // namespace

double readNumber(QByteArrayView text)
{
    // The number is copied, without its blanks, into a small buffer for std::from_chars,
    // which never depends on the locale.
    constexpr int kCap = 400;
    char buf[kCap + 24];
    int n = 0;
    int droppedIntDigits = 0;
    const char* p = text.data();
    const char* end = p + text.size();

    while (p < end && isBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    bool anyDigit = false;
    bool seenPoint = false;
    for (; p < end; ++p) {
        const char c = *p;
        if (isDigit(c)) {
            anyDigit = true;
            if (c == '0' && n == 0)
                continue; // leading zeros carry nothing
            if (n < kCap)
                buf[n++] = c;
            else if (!seenPoint)
                ++droppedIntDigits;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            if (n < kCap)
                buf[n++] = '.';
        } else if (c == ' ' || c == '\t') {
            continue;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;

    long exponent = droppedIntDigits;
    if (p < end && (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd')) {
        const char* q = p + 1;
        while (q < end && (*q == ' ' || *q == '\t'))
            ++q;
        bool expNegative = false;
        if (q < end && (*q == '-' || *q == '+')) {
            expNegative = *q == '-';
            ++q;
        }
        long e = 0;
        bool expDigit = false;
        for (; q < end; ++q) {
            if (isDigit(*q)) {
                expDigit = true;
                if (e < 100000)
                    e = e * 10 + (*q - '0');
            } else if (*q != ' ' && *q != '\t') {
                break;
            }
        }
        if (expDigit)
            exponent += expNegative ? -e : e;
    }
    if (exponent != 0)
        n += std::snprintf(buf + n, 24, "e%ld", exponent);

    double value = 0.0;
    if (n == 0 || (n == 1 && buf[0] == '.'))
        return 0.0;
    const auto result = std::from_chars(buf, buf + n, value);
    if (result.ec == std::errc::result_out_of_range)
        value = exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

std::optional<qint32> toInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);
    if (r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<qint32>(r);
}

std::optional<qint16> toInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(r);
}

QByteArray writeSingle(float value) { return writeWithPrecision(value, 7); }

QByteArray writeDouble(double value) { return writeWithPrecision(value, 15); }

QByteArray stri(qint64 value) { return QByteArray::number(value); }

} // namespace korvi
