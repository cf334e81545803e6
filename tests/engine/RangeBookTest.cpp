#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "engine/CDownloadRanges.h"
#include "engine/RangeBook.h"
#include "engine/TaskBatch.h"
#include "engine/ThreadMessages.h"
#include "platform/OwnedPost.h"
#include "support/TestFiles.h"

namespace {

// A connection of the simulation: the range it works on and its open request.
struct Worker {
    uint64_t id = 0;
    int64_t position = 0;
    int64_t requestLast = -1;  // -1: no request open
};

// Every byte is either written or still owed by exactly one range: what a
// resume record taken now would need.
void ExpectCoverage(const RangeBook& book, const std::vector<int>& written)
{
    std::vector<int> seen(written);
    for (const RangeBook::Span& s : book.Remaining())
        for (int64_t b = s.first; b <= s.last; ++b) ++seen[static_cast<size_t>(b)];
    for (size_t b = 0; b < seen.size(); ++b) ASSERT_EQ(seen[b], 1) << "byte " << b;
}

}  // namespace

TEST(RangeBook, RandomSchedulesOfSplitsAndFinishesFetchEveryByteOnce)
{
    std::mt19937 random(15081208);
    for (int round = 0; round < 250; ++round) {
        // Small limits, so that small files see many splits.
        RangeBook book(8 * 1024, 8 * 1024, 32 * 1024);
        const int64_t total = std::uniform_int_distribution<int64_t>(1, 600000)(random);
        const unsigned connections = std::uniform_int_distribution<unsigned>(1, 6)(random);
        std::deque<Worker> queue;  // ranges no connection has taken yet
        for (const RangeBook::Span& r :
             RangeBook::FirstRanges(total, std::uniform_int_distribution<unsigned>(1, 8)(random)))
            queue.push_back({book.Add(r.first, r.last), r.first, -1});
        std::vector<int> written(static_cast<size_t>(total), 0);
        std::vector<Worker> workers(connections);

        for (int step = 0;; ++step) {
            ASSERT_LT(step, 10000000) << "no progress";
            Worker& w = workers[std::uniform_int_distribution<size_t>(0, connections - 1)(random)];
            if (w.id == 0) {
                RangeBook::Span taken{};
                uint64_t id = 0;
                if (!queue.empty()) {
                    w = queue.front();
                    queue.pop_front();
                } else if (book.Split(taken, id)) {
                    ASSERT_GE(taken.last - taken.first + 1, 1);
                    w = {id, taken.first, -1};
                } else if (book.Size() == 0) {
                    break;
                }
                continue;
            }
            if (w.requestLast < 0) {
                int64_t rangeLast = 0;
                // Connections of any speed, some not yet measured.
                const int64_t speed = std::uniform_int_distribution<int64_t>(-8 * 1024, 64 * 1024)(random);
                ASSERT_TRUE(
                    book.NextRequest(w.id, w.position, std::max<int64_t>(speed, 0), 1000, w.requestLast, rangeLast));
                ASSERT_LE(w.requestLast, rangeLast);
                if (w.position > rangeLast) {
                    book.Finish(w.id);
                    w = {};
                }
                continue;
            }
            // A chunk of the open request, written, then recorded.
            const int64_t most = std::min<int64_t>(4096, w.requestLast + 1 - w.position);
            const int64_t length = std::uniform_int_distribution<int64_t>(1, most)(random);
            for (int64_t b = w.position; b < w.position + length; ++b) ++written[static_cast<size_t>(b)];
            w.position += length;
            ASSERT_TRUE(book.Advance(w.id, w.position));
            if (w.position > w.requestLast) w.requestLast = -1;
            if (step % 997 == 0) ExpectCoverage(book, written);
            if (HasFatalFailure()) return;
        }
        for (size_t b = 0; b < written.size(); ++b) ASSERT_EQ(written[b], 1) << "byte " << b << " of " << total;
    }
}

TEST(RangeBook, SplitTakesTheUpperPartAboveTheOpenRequestAndSparesSmallRanges)
{
    constexpr int64_t MiB = 1 << 20;
    RangeBook::Span taken{};
    uint64_t id = 0;
    int64_t last = 0, requestLast = 0;
    {
        RangeBook book;
        const uint64_t small = book.Add(0, RangeBook::kMinSplit - 2);
        const uint64_t large = book.Add(MiB, 9 * MiB - 1);
        EXPECT_FALSE(book.Split(taken, id)) << "ranges still wait for a connection";
        ASSERT_TRUE(book.NextRequest(small, 0, 0, 1000, requestLast, last));
        ASSERT_TRUE(book.NextRequest(large, MiB, 0, 1000, requestLast, last));
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 5 * MiB);
        EXPECT_EQ(taken.last, 9 * MiB - 1);
        ASSERT_TRUE(book.End(large, last));
        EXPECT_EQ(last, 5 * MiB - 1);
        ASSERT_TRUE(book.End(small, last));
        EXPECT_EQ(last, RangeBook::kMinSplit - 2);
    }
    {
        RangeBook book;
        const uint64_t range = book.Add(0, 4 * MiB - 1);
        // A fast connection asks for the lower half; the split takes the
        // upper half, and the owner's open request then holds all it has left.
        ASSERT_TRUE(book.NextRequest(range, 0, 16 * MiB, 1000, requestLast, last));
        EXPECT_EQ(requestLast, 2 * MiB - 1);
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 2 * MiB);
        ASSERT_TRUE(book.NextRequest(id, 2 * MiB, 0, 1000, requestLast, last));
        EXPECT_EQ(requestLast, 2 * MiB + RangeBook::kFirstRequest - 1) << "a new connection's speed is not known";
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 3 * MiB) << "the new range, not the one whose bytes are all asked for";
    }
    {
        // A slow connection's range ends after a fast one's twice its size:
        // it is split, and its owner keeps what it fetches while the idle
        // connection, as fast as the fastest, fetches the rest.
        RangeBook book;
        const uint64_t fast = book.Add(0, 16 * MiB - 1);
        const uint64_t slow = book.Add(16 * MiB, 24 * MiB - 1);
        ASSERT_TRUE(book.NextRequest(fast, 0, 8 * MiB, 100, requestLast, last));
        ASSERT_TRUE(book.NextRequest(slow, 16 * MiB, MiB, 250, requestLast, last));
        EXPECT_EQ(requestLast, 16 * MiB + MiB / 4 - 1);
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 16 * MiB + 8 * MiB / 9 / RangeBook::kBlock * RangeBook::kBlock + RangeBook::kBlock);
        EXPECT_EQ(taken.last, 24 * MiB - 1);
        // The fast range now ends last; the fastest is as fast as its owner.
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 8 * MiB);
    }
}

TEST(RangeBook, RequestsFollowTheConnectionsSpeedAndShrinkWhenASlowOneMayGetThem)
{
    constexpr int64_t MiB = 1 << 20;
    RangeBook book;
    const uint64_t a = book.Add(0, 32 * MiB - 1);
    const uint64_t b = book.Add(32 * MiB, 64 * MiB - 1);
    int64_t requestLast = 0, last = 0;
    ASSERT_TRUE(book.NextRequest(b, 32 * MiB, 8 * MiB, 1000, requestLast, last));
    EXPECT_EQ(requestLast, 40 * MiB - 1) << "what a fast connection fetches in a second";
    ASSERT_TRUE(book.NextRequest(a, 0, MiB, 500, requestLast, last));
    EXPECT_EQ(requestLast, MiB / 2 - 1) << "what a slow one fetches in half a second";
    // From now on a request may land on the connection that fetches a ninth
    // of what both fetch: it asks for no more than a ninth of what is owed.
    ASSERT_TRUE(book.NextRequest(b, 40 * MiB, 8 * MiB, 1000, requestLast, last));
    const int64_t owed = (32 * MiB - 0) + (64 * MiB - 40 * MiB);
    EXPECT_NEAR(static_cast<double>(requestLast + 1 - 40 * MiB), owed / 9.0, RangeBook::kBlock);
    ASSERT_TRUE(book.NextRequest(a, 30 * MiB, 8 * MiB, 1000, requestLast, last));
    EXPECT_EQ(requestLast, 31 * MiB - 1) << "the upper half stays free for a split";
}

// An idle thread whose split is refused must know whether to look again
// soon (a range just taken has not sent its first request) or to wait for
// the next download (nothing left is worth splitting): sleeping on the
// first kind left a connection unused for the whole download.
TEST(RangeBook, ASplitRefusedForAWaitingRangeIsWorthTryingAgainSoon)
{
    constexpr int64_t MiB = 1 << 20;
    RangeBook::Span taken{};
    uint64_t id = 0;
    int64_t requestLast = 0, last = 0;
    {
        RangeBook book;
        EXPECT_FALSE(book.AnyWaiting());
        const uint64_t a = book.Add(0, 32 * MiB - 1);
        const uint64_t b = book.Add(32 * MiB, 64 * MiB - 1);
        EXPECT_FALSE(book.Split(taken, id));
        EXPECT_TRUE(book.AnyWaiting());
        ASSERT_TRUE(book.NextRequest(a, 0, 0, 1000, requestLast, last));
        EXPECT_TRUE(book.AnyWaiting()) << "one range has not started";
        ASSERT_TRUE(book.NextRequest(b, 32 * MiB, 0, 1000, requestLast, last));
        EXPECT_FALSE(book.AnyWaiting());
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_FALSE(book.AnyWaiting()) << "a split range starts at once";
    }
    {
        RangeBook book;
        const uint64_t small = book.Add(0, RangeBook::kMinSplit - 2);
        ASSERT_TRUE(book.NextRequest(small, 0, 0, 1000, requestLast, last));
        EXPECT_FALSE(book.Split(taken, id));
        EXPECT_FALSE(book.AnyWaiting()) << "too small to split, now and later";
        // A range stopped right after its last chunk has nothing left to wait for.
        const uint64_t done = book.Add(MiB, 2 * MiB - 1);
        ASSERT_TRUE(book.Advance(done, 2 * MiB));
        EXPECT_FALSE(book.AnyWaiting());
    }

    // The same through the download's owner, whose ranges wait from the
    // start until their threads send their first requests.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread stands in for the pump
    TempDir dir;
    const std::string target = dir.File("TzGameSetup9.9.9.9.tmp");
    ASSERT_TRUE(WriteFileBytes(target, std::string(4 * MiB, '\0')));
    CDownloadRanges ranges;
    ASSERT_TRUE(ranges.Start("http://127.0.0.1:1/x.bin", target, 4 * MiB, 7, GetTickCount(), GetCurrentThreadId(), 2));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, TM_QUEUE_TASK, TM_QUEUE_TASK, PM_REMOVE));
    std::unique_ptr<TaskBatch> batch = TakePosted<TaskBatch>(msg.wParam);
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->tasks.size(), 2u);
    bool soon = false;
    EXPECT_EQ(ranges.SplitLongest(&soon), nullptr);
    EXPECT_TRUE(soon);
    ranges.Clear();
    EXPECT_EQ(ranges.SplitLongest(&soon), nullptr);
    EXPECT_FALSE(soon);
}
