#include <gtest/gtest.h>

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
    EXPECT_TRUE(VersionTextGreater("1.2.3.4", "1.2.3"));   // a proper prefix is smaller
    EXPECT_FALSE(VersionTextGreater("1.2.3.4", "1.2.3.4"));
}
