// The game port's write lists: answers ahead of prices, and nothing lost, doubled or
// reordered whichever lane and however the system takes the writes.
#include "pricesweep.h"
#include "transport.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace korvi::server {
namespace {

struct Pair {
    std::shared_ptr<Connection> connection;
    int peer = -1;
    QByteArray expected;
    QByteArray received;
};

class TransportTest : public ::testing::Test {
protected:
    ~TransportTest() override
    {
        for (Pair& p : pairs) {
            p.connection->abort();
            ::close(p.peer);
        }
    }

    void open(int count, int receiveBuffer = 0)
    {
        for (int i = 0; i < count; ++i) {
            int fds[2];
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
            if (receiveBuffer > 0) {
                // Small buffers make the system refuse writes, so the writable path runs.
                ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &receiveBuffer, sizeof receiveBuffer);
                ::setsockopt(fds[1], SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
            }
            QString error;
            Pair p;
            p.connection = transport.adoptDescriptor(fds[0], error);
            ASSERT_TRUE(p.connection) << error.toStdString();
            p.peer = fds[1];
            pairs.push_back(std::move(p));
        }
    }

    // Reads what arrived at the peer, at most `max` bytes.
    void drain(Pair& p, qsizetype max = 1 << 20)
    {
        char buffer[4096];
        while (max > 0) {
            const ssize_t n = ::read(p.peer, buffer, static_cast<size_t>(std::min<qsizetype>(max, sizeof buffer)));
            if (n <= 0)
                return;
            p.received.append(buffer, n);
            max -= n;
        }
    }

    bool arrived(Pair& p)
    {
        drain(p);
        return !p.received.isEmpty();
    }

    qint64 clock = 0;
    Transport transport{[this] { return clock; }};
    std::vector<Pair> pairs;
};

TEST_F(TransportTest, AnAnswerGoesOutAheadOfABlockOfPricesStillGoingToOthers)
{
    constexpr int kCount = 4 * Transport::kFlushesPerTurn;
    open(kCount);
    const QByteArray block(200, 'p');
    for (Pair& p : pairs)
        p.connection->send(block, Lane::Bulk);
    // The last of them asked something; its answer is written in the first turn.
    pairs.back().connection->send("answer", Lane::Prompt);
    transport.poll();

    EXPECT_TRUE(arrived(pairs.back()));
    EXPECT_EQ(pairs.back().received, block + "answer") << "the answer takes what was queued before it along";
    int bulkWritten = 0;
    for (int i = 0; i + 1 < kCount; ++i)
        bulkWritten += arrived(pairs[static_cast<size_t>(i)]) ? 1 : 0;
    EXPECT_EQ(bulkWritten, Transport::kFlushesPerTurn) << "the bulk list keeps its share per turn";

    for (int turn = 0; turn < 8; ++turn)
        transport.poll();
    for (Pair& p : pairs) {
        drain(p);
        EXPECT_EQ(p.received.count('p'), block.size());
    }
}

TEST_F(TransportTest, EveryByteArrivesOnceAndInOrderWhateverTheLanesAndTheReader)
{
    // Seeded random sends on both lanes to connections whose peers read in small, random
    // portions; the system refuses writes often, so a connection goes from the lists to
    // waiting for room and back. At the end each peer holds exactly what was sent to it.
    std::mt19937 random(20261209);
    open(24, 4096);
    std::uniform_int_distribution<int> which(0, static_cast<int>(pairs.size()) - 1);
    std::uniform_int_distribution<int> size(1, 3000);
    int sequence = 0;
    for (int step = 0; step < 3000; ++step) {
        Pair& p = pairs[static_cast<size_t>(which(random))];
        switch (random() % 4) {
        case 0:
        case 1: {
            QByteArray piece = QByteArray::number(sequence++) + ':' + QByteArray(size(random), 'a' + step % 26) + ';';
            p.expected += piece;
            p.connection->send(piece, random() % 2 ? Lane::Prompt : Lane::Bulk);
            break;
        }
        case 2:
            transport.poll();
            break;
        default:
            drain(p, size(random));
            break;
        }
    }
    for (int round = 0; round < 2000; ++round) {
        transport.poll();
        bool done = true;
        for (Pair& p : pairs) {
            drain(p);
            done = done && p.received.size() >= p.expected.size();
        }
        if (done)
            break;
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_TRUE(pairs[i].connection->isOpen());
        EXPECT_EQ(pairs[i].connection->queuedBytes(), 0);
        EXPECT_TRUE(pairs[i].received == pairs[i].expected) << "connection " << i << ": " << pairs[i].received.size()
                                                            << " of " << pairs[i].expected.size() << " bytes";
    }
}

// One block of prices to many receivers in bounded steps, while receivers come and go and
// new blocks arrive mid-sweep: every receiver gets every block published while it was
// there, exactly once and in order, and the blocks kept stay bounded.
struct Receiver {
    SweepPlace place;
    SweepPlace& sweepPlace() { return place; }
    bool present = false;
    quint64 joinedAfter = 0; // the newest block when it joined
    std::vector<quint64> got;
};

TEST(PriceSweepTest, EveryReceiverGetsEachBlockOfItsTimeOnceAndInOrder)
{
    std::mt19937 random(4711);
    for (int round = 0; round < 20; ++round) {
        PriceSweep<Receiver> sweep;
        std::vector<std::unique_ptr<Receiver>> all;
        quint64 published = 0;
        size_t mostKept = 0;
        const auto join = [&] {
            all.push_back(std::make_unique<Receiver>());
            all.back()->present = true;
            all.back()->joinedAfter = published;
            sweep.add(all.back().get());
        };
        for (int i = 0; i < 50; ++i)
            join();
        for (int event = 0; event < 2000; ++event) {
            switch (random() % 6) {
            case 0: {
                ++published;
                sweep.publish(QByteArray::number(published), 1);
                if (!sweep.sweeping())
                    sweep.start();
                break;
            }
            case 1:
                join();
                break;
            case 2: {
                Receiver& r = *all[random() % all.size()];
                if (r.present) {
                    sweep.remove(&r);
                    r.present = false;
                }
                break;
            }
            default: {
                const bool more = sweep.step(1 + random() % 16, [&](Receiver* r, const PriceSweep<Receiver>::Block& b) {
                    EXPECT_TRUE(r->present);
                    EXPECT_EQ(b.frames, QByteArray::number(b.number));
                    r->got.push_back(b.number);
                });
                if (!more && sweep.behind())
                    sweep.start();
                break;
            }
            }
            mostKept = std::max(mostKept, sweep.blocksKept());
        }
        // Whatever is still under way is finished.
        for (int i = 0; i < 1000 && (sweep.sweeping() || sweep.behind()); ++i) {
            if (!sweep.sweeping())
                sweep.start();
            sweep.step(64, [&](Receiver* r, const PriceSweep<Receiver>::Block& b) { r->got.push_back(b.number); });
        }
        ASSERT_FALSE(sweep.sweeping() || sweep.behind());
        for (const auto& r : all) {
            if (!r->present)
                continue; // one that left had a prefix of its blocks, checked by the order below
            std::vector<quint64> expected;
            for (quint64 n = r->joinedAfter + 1; n <= published; ++n)
                expected.push_back(n);
            EXPECT_EQ(r->got, expected) << "round " << round;
        }
        for (const auto& r : all)
            EXPECT_TRUE(std::is_sorted(r->got.begin(), r->got.end())
                        && std::adjacent_find(r->got.begin(), r->got.end()) == r->got.end());
        EXPECT_LE(mostKept, 120u) << "blocks are dropped once every receiver had them";
    }
}

} // namespace
} // namespace korvi::server
