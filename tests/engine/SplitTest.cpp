#include <gtest/gtest.h>

#include <random>

#include "engine/RangeBook.h"
#include "engine/StartDownload.h"

TEST(Split, ExamplesOfTheTable)
{
    using Ranges = std::vector<RangeBook::Span>;
    EXPECT_EQ(RangeBook::FirstRanges(1000000, 4),
              (Ranges{{0, 249855}, {249856, 499711}, {499712, 749567}, {749568, 999999}}));
    EXPECT_EQ(RangeBook::FirstRanges(10000, 4), (Ranges{{0, 4095}, {4096, 8191}, {8192, 9999}}));
    EXPECT_EQ(RangeBook::FirstRanges(8192, 4), (Ranges{{0, 4095}, {4096, 8191}}));
    EXPECT_EQ(RangeBook::FirstRanges(4096, 4), (Ranges{{0, 4095}}));
    EXPECT_EQ(RangeBook::FirstRanges(100, 2), (Ranges{{0, 99}}));
    const Ranges twelve = RangeBook::FirstRanges(30000000, 12);
    ASSERT_EQ(twelve.size(), 12u);
    EXPECT_EQ(twelve[0], (RangeBook::Span{0, 2498559}));
    EXPECT_EQ(twelve[11], (RangeBook::Span{27484160, 29999999}));
}

TEST(Split, RangesCoverTheFileExactlyOnceInBlocks)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int64_t> size(1, kMaxDownloadSize - 1);
    std::uniform_int_distribution<unsigned> processors(0, 64);
    for (int round = 0; round < 3000; ++round) {
        // Small sizes and sizes next to block edges are where the arithmetic breaks.
        int64_t total = size(random);
        if (round % 3 == 1) total = total % 300000 + 1;
        if (round % 3 == 2) total = (total % 64 + 1) * 4096 + (round / 3) % 3 - 1;
        const unsigned n = processors(random);
        const std::vector<RangeBook::Span> ranges = RangeBook::FirstRanges(total, n);
        ASSERT_FALSE(ranges.empty());
        ASSERT_LE(ranges.size(), std::max(n, 1u));
        int64_t next = 0;
        for (const RangeBook::Span& r : ranges) {
            ASSERT_EQ(r.first, next) << total << " on " << n;
            ASSERT_LE(r.first, r.last) << total << " on " << n;
            ASSERT_EQ(r.first % 4096, 0) << total << " on " << n;
            next = r.last + 1;
        }
        ASSERT_EQ(next, total) << total << " on " << n;
    }
}
