#include "dates.h"

#include "numbers.h"

namespace korvi {

namespace {
const QDate kDayZero(1899, 12, 30);
}

qint32 dayNumber(const QDate& date) { return static_cast<qint32>(kDayZero.daysTo(date)); }

QDate dateOfDay(qint32 day) { return kDayZero.addDays(day); }

std::optional<qint32> DatumAusText(QByteArrayView text)
{
    const auto year = toInt32(readNumber(text.first(qMin<qsizetype>(4, text.size()))));
    const auto month = toInt32(readNumber(text.size() > 4 ? text.sliced(4, qMin<qsizetype>(2, text.size() - 4)) : QByteArrayView()));
    const auto day = toInt32(readNumber(text.size() > 6 ? text.sliced(6, qMin<qsizetype>(2, text.size() - 6)) : QByteArrayView()));
    if (!year || !month || !day || *year < 100 || *year > 9999)
        return std::nullopt;
    const QDate date = QDate(*year, 1, 1).addMonths(*month - 1).addDays(*day - 1);
    if (!date.isValid())
        return std::nullopt;
    return dayNumber(date);
}

QByteArray DatumText(qint32 day) { return dateOfDay(day).toString(QStringLiteral("yyyyMMdd")).toLatin1(); }

QByteArray FormatZeit(QByteArrayView time)
{
    const QByteArrayView t = time.trimmed();
    if (t.size() < 5)
        return QByteArrayLiteral("-");
    QByteArray out;
    out.reserve(8);
    out.append(t.first(2)).append(':').append(t.sliced(2, 2)).append(':').append(t.last(2));
    return out;
}

QString clockText(const QTime& time)
{
    if (!time.isValid())
        return QString();
    const int parts[3] = {time.hour(), time.minute(), time.second()};
    QChar out[8];
    for (int k = 0; k < 3; ++k) {
        out[k * 3] = QChar(u'0' + parts[k] / 10);
        out[k * 3 + 1] = QChar(u'0' + parts[k] % 10);
        if (k < 2)
            out[k * 3 + 2] = QChar(u':');
    }
    return QString(out, 8);
}

} // namespace korvi
