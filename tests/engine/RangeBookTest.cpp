#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "engine/RangeBook.h"

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
                ASSERT_TRUE(book.NextRequest(w.id, w.position, w.requestLast, rangeLast));
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

TEST(RangeBook, SplitTakesTheUpperHalfAboveTheOpenRequestAndSparesSmallRanges)
{
    constexpr int64_t MiB = 1 << 20;
    RangeBook::Span taken{};
    uint64_t id = 0;
    int64_t last = 0, requestLast = 0;
    {
        RangeBook book;  // 1 MiB splits, requests of 1 to 2 MiB
        const uint64_t small = book.Add(0, MiB - 2);
        const uint64_t large = book.Add(MiB, 9 * MiB - 1);
        EXPECT_FALSE(book.Split(taken, id)) << "ranges still wait for a connection";
        ASSERT_TRUE(book.NextRequest(small, 0, requestLast, last));
        ASSERT_TRUE(book.NextRequest(large, MiB, requestLast, last));
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, 5 * MiB);
        EXPECT_EQ(taken.last, 9 * MiB - 1);
        ASSERT_TRUE(book.End(large, last));
        EXPECT_EQ(last, 5 * MiB - 1);
        ASSERT_TRUE(book.End(small, last));
        EXPECT_EQ(last, MiB - 2);
    }
    {
        RangeBook book;
        const uint64_t range = book.Add(0, 3 * MiB / 2 - 1);
        // 1.5 MiB left: the request asks for 1 MiB, and the split may not
        // cut into it even though half would be lower.
        ASSERT_TRUE(book.NextRequest(range, 0, requestLast, last));
        EXPECT_EQ(requestLast, MiB - 1);
        ASSERT_TRUE(book.Split(taken, id));
        EXPECT_EQ(taken.first, MiB);
        ASSERT_TRUE(book.End(range, last));
        EXPECT_EQ(last, MiB - 1);
        ASSERT_TRUE(book.NextRequest(id, MiB, requestLast, last));
        EXPECT_EQ(requestLast, 3 * MiB / 2 - 1);
        EXPECT_FALSE(book.Split(taken, id)) << "every byte left is asked for already";
    }
}
