#include <gtest/gtest.h>

#include <random>

#include "engine/StartDownload.h"

namespace {
using Ranges = std::vector<ByteRange>;
}

TEST(Split, ExamplesOfTheTable)
{
    EXPECT_EQ(SplitRanges(1000000, 4),
              (Ranges{{0, 249855}, {249856, 499711}, {499712, 749567}, {749568, 999999}}));
    EXPECT_EQ(SplitRanges(10000, 4), (Ranges{{0, 4095}, {4096, 8191}, {8192, 9999}}));
    EXPECT_EQ(SplitRanges(8192, 4), (Ranges{{0, 4095}, {4096, 8191}}));
    EXPECT_EQ(SplitRanges(4096, 4), (Ranges{{0, 4095}}));
    EXPECT_EQ(SplitRanges(100, 2), (Ranges{{0, 99}}));

    // More ranges than one set of download threads: twelve, the last taking the remainder.
    Ranges twelve = SplitRanges(30000000, 12);
    ASSERT_EQ(twelve.size(), 12u);
    EXPECT_EQ(twelve[0], (ByteRange{0, 2498559}));
    EXPECT_EQ(twelve[11], (ByteRange{27484160, 29999999}));

    EXPECT_TRUE(SplitRanges(0, 4).empty());
    EXPECT_EQ(SplitRanges(5000, 0), (Ranges{{0, 4999}})) << "no processor count still gives one range";
}

TEST(Split, RangesCoverTheFileExactlyOnceInBlocks)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int64_t> size(1, kMaxDownloadSize - 1);
    std::uniform_int_distribution<unsigned> processors(1, 64);
    for (int round = 0; round < 2000; ++round) {
        // Small sizes and sizes near block edges are where the arithmetic breaks.
        int64_t total = size(random);
        if (round % 3 == 1) total = total % 300000 + 1;
        if (round % 3 == 2) total = (total % 64 + 1) * 4096 + (round / 3) % 3 - 1;
        const unsigned n = processors(random);
        Ranges ranges = SplitRanges(total, n);
        ASSERT_FALSE(ranges.empty());
        ASSERT_LE(ranges.size(), std::max<size_t>(n, 1));
        int64_t next = 0;
        for (size_t i = 0; i < ranges.size(); ++i) {
            ASSERT_EQ(ranges[i].first, next) << total << " on " << n;
            ASSERT_LE(ranges[i].first, ranges[i].last) << total << " on " << n;
            ASSERT_EQ(ranges[i].first % 4096, 0) << total << " on " << n;
            if (i + 1 < ranges.size()) {
                ASSERT_EQ((ranges[i].last + 1) % 4096, 0) << total << " on " << n;
            }
            next = ranges[i].last + 1;
        }
        ASSERT_EQ(next, total) << total << " on " << n;
        if (total > static_cast<int64_t>(n) * 4096) { // one range per processor, the last takes the rest
            ASSERT_EQ(ranges.size(), n);
            ASSERT_GT(ranges.back().last - ranges.back().first + 1, ranges[0].last - ranges[0].first + 1 - 4096);
        }
    }
}
