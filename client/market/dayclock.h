#pragma once

#include "dates.h"
#include "seams.h"

namespace korvi {

// The current date and time as a day number (days since 30 December 1899, the fraction is
// the time of day), cheap enough to stamp every price update: the local date and time are
// read once a second and the tick count runs on between the readings.
class DayClock {
public:
    explicit DayClock(Clock& clock) : m_clock(clock) {}

    double now()
    {
        const qint64 tick = m_clock.tickMs();
        if (!m_synced || tick - m_baseTick >= 1000 || tick < m_baseTick) {
            const QDateTime t = m_clock.now();
            m_baseDay = dayNumber(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
            m_baseTick = tick;
            m_synced = true;
        }
        return m_baseDay + double(tick - m_baseTick) / 86400000.0;
    }

private:
    Clock& m_clock;
    double m_baseDay = 0;
    qint64 m_baseTick = 0;
    bool m_synced = false;
};

} // namespace korvi
