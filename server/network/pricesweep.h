#pragma once

#include <QByteArray>
#include <algorithm>
#include <deque>
#include <vector>

namespace korvi::server {

// What a receiver of prices keeps for the sweep: its place in the list and the newest
// block it was given.
struct SweepPlace {
    int slot = -1;
    quint64 taken = 0;
};

// Hands blocks of prices to many receivers, a bounded number at a time, so one block for
// 16,000 participants never takes one long event. Blocks are numbered without gaps and kept
// until every receiver had them; a receiver the sweep reaches late gets all it missed at
// once, in order. Receivers may come and go while a sweep is under way: one that leaves
// leaves an empty place (closed up when the next sweep begins), one that joins gets the
// blocks published after it joined. `Receiver` offers `SweepPlace& sweepPlace()`.
template <typename Receiver>
class PriceSweep {
public:
    struct Block {
        quint64 number = 0;
        QByteArray frames;
        int count = 0;
    };

    void add(Receiver* r)
    {
        SweepPlace& p = r->sweepPlace();
        if (p.slot >= 0)
            return;
        p.slot = static_cast<int>(m_receivers.size());
        p.taken = m_newest;
        m_receivers.push_back(r);
    }

    void remove(Receiver* r)
    {
        SweepPlace& p = r->sweepPlace();
        const auto at = static_cast<size_t>(p.slot);
        if (p.slot >= 0 && at < m_receivers.size() && m_receivers[at] == r)
            m_receivers[at] = nullptr;
        p.slot = -1;
    }

    void publish(QByteArray frames, int count) { m_blocks.push_back(Block{++m_newest, std::move(frames), count}); }

    // A sweep is under way, or blocks wait for the next one.
    bool sweeping() const { return m_sweeping; }
    bool behind() const { return m_newest > m_swept; }

    // Begins a sweep over every receiver with the blocks published so far.
    void start()
    {
        // What every receiver had by the end of the last sweep is not needed any more.
        while (!m_blocks.empty() && m_blocks.front().number <= m_swept)
            m_blocks.pop_front();
        size_t kept = 0;
        for (Receiver* r : m_receivers) {
            if (!r)
                continue;
            r->sweepPlace().slot = static_cast<int>(kept);
            m_receivers[kept++] = r;
        }
        m_receivers.resize(kept);
        m_at = 0;
        m_from = m_newest;
        m_sweeping = true;
    }

    // Hands its blocks to each of the next `budget` receivers through `deliver(receiver,
    // block)`. True while the sweep goes on.
    template <typename Deliver>
    bool step(size_t budget, Deliver&& deliver)
    {
        if (!m_sweeping)
            return false;
        const size_t end = std::min(m_receivers.size(), m_at + budget);
        for (; m_at < end; ++m_at) {
            Receiver* r = m_receivers[m_at];
            if (!r || m_blocks.empty())
                continue;
            SweepPlace& p = r->sweepPlace();
            const quint64 first = m_blocks.front().number;
            for (size_t i = p.taken + 1 > first ? static_cast<size_t>(p.taken + 1 - first) : 0; i < m_blocks.size(); ++i)
                deliver(r, m_blocks[i]);
            p.taken = std::max(p.taken, m_newest);
        }
        if (m_at < m_receivers.size())
            return true;
        m_sweeping = false;
        m_swept = m_from;
        return false;
    }

    quint64 newest() const { return m_newest; }
    size_t receivers() const { return m_receivers.size(); }
    size_t blocksKept() const { return m_blocks.size(); }

private:
    std::deque<Block> m_blocks;
    quint64 m_newest = 0;               // the newest block's number
    std::vector<Receiver*> m_receivers; // nullptr where one left
    size_t m_at = 0;                    // the next receiver of the sweep under way
    quint64 m_from = 0;                 // the newest block when that sweep began
    quint64 m_swept = 0;                // every receiver had the blocks up to this one
    bool m_sweeping = false;
};

} // namespace korvi::server
