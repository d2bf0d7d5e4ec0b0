#pragma once

#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <functional>

namespace korvi {

// Paces the full rebuilds of a large grid. A rebuild draws every row, so under a flood of
// new rows one rebuild per receive step would take most of the time. A grid of more than
// kPacedRows rows is rebuilt at most once per gap: at least one refresh tick, and four
// times what the last rebuild took, so rebuilding takes at most a fifth of the time however
// large the grid grows. Meanwhile the changes wait as marks and the grid shows the rows it
// has.
class RebuildPacer {
public:
    static constexpr int kPacedRows = 1000;
    static constexpr qint64 kMinGapMs = 150; // the refresh tick

    // Milliseconds on a monotonic clock; tests set their own.
    std::function<qint64()> now = [] {
        return qint64(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };

    // How many milliseconds a rebuild of a grid of `rows` rows must still wait (0: now).
    int wait(int rows) const
    {
        if (rows <= kPacedRows || m_end < 0)
            return 0;
        const qint64 left = m_end + m_gap - now();
        return left > 0 ? int(std::min<qint64>(left, 60000)) : 0;
    }
    // Nothing arrived for a while: the flood is over, and the rebuild need wait only as
    // long as the last one took.
    void quiet() { m_gap = std::min(m_gap, m_end - m_start); }
    void begin() { m_start = now(); }
    void end()
    {
        m_end = now();
        m_gap = std::max(kMinGapMs, 4 * (m_end - m_start));
    }

private:
    qint64 m_start = 0;
    qint64 m_end = -1;
    qint64 m_gap = 0;
};

} // namespace korvi
