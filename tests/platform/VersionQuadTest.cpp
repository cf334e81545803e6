#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/VersionQuad.h"

TEST(VersionQuad, FormatsAllFourParts)
{
    EXPECT_EQ(FormatVersion({2, 5, 17, 3}), "2.5.17.3");
    EXPECT_EQ(FormatVersion({-1, 0, 0, 2147483647}), "-1.0.0.2147483647");
}

TEST(VersionQuad, ComparesAsTextNotNumbers)
{
    EXPECT_TRUE(VersionTextGreater("1.9.0.0", "1.10.0.0"));
    EXPECT_FALSE(VersionTextGreater("1.10.0.0", "1.9.0.0"));
    EXPECT_TRUE(VersionTextGreater("1.2.3.4", "1.2.3"));  // a proper prefix is smaller
    EXPECT_FALSE(VersionTextGreater("1.2.3.4", "1.2.3.4"));
}

TEST(VersionQuad, ScanReadsLikeSscanfAndRefusesPartsTooLargeForTheirType)
{
    struct Case {
        const char* text;
        int count;
        std::vector<int32_t> parts;  // the first `count` parts
    } cases[] = {
        {"2.5.17.3", 4, {2, 5, 17, 3}},
        {" 2. +5.-1", 3, {2, 5, -1}},
        {"2.5", 2, {2, 5}},
        {"2.5x.7", 2, {2, 5}},
        {"2..5", 1, {2}},
        {"v2", 0, {}},
        {"", 0, {}},
        {"1.2.3.4.5", 4, {1, 2, 3, 4}},
        {"2147483647.-2147483648", 2, {2147483647, INT32_MIN}},
        {"2147483648", -1, {}},
        {"1.2.-2147483649", -1, {}},
        {"1.2.3.99999999999", -1, {}},
        {"1.2.3.00000000000000000000000009", 4, {1, 2, 3, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t parts[4] = {-7, -7, -7, -7};
        ASSERT_EQ(ScanVersion(c.text, parts), c.count);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(parts[i], i < static_cast<int>(c.parts.size()) ? c.parts[i] : -7);
    }
}
