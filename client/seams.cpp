#include "seams.h"

#include <ctime>
#include <sys/time.h>

namespace korvi {

bool SystemClock::setTimeOfDay(const QTime& time)
{
    if (!time.isValid())
        return false;
    const QDateTime target(QDate::currentDate(), time);
    const qint64 ms = target.toMSecsSinceEpoch();
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return settimeofday(&tv, nullptr) == 0;
}

} // namespace korvi
