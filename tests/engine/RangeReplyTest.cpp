#include <gtest/gtest.h>

#include "engine/RangeReply.h"

TEST(RangeReply, OnlyTheAskedBytesOfThisFileAreAccepted)
{
    const int64_t unknown = RangeReply::kUnknown;
    EXPECT_TRUE(RangeReply::Acceptable(206, "bytes 4096-8191/10000", unknown, 4096, 10000));
    EXPECT_TRUE(RangeReply::Acceptable(206, "Bytes  4096-9999/10000", 5904, 4096, 10000));
    EXPECT_FALSE(RangeReply::Acceptable(206, "bytes 0-8191/10000", unknown, 4096, 10000)) << "another first byte";
    EXPECT_FALSE(RangeReply::Acceptable(206, "bytes 4096-8191/12000", unknown, 4096, 10000)) << "another file";
    EXPECT_FALSE(RangeReply::Acceptable(206, "bytes 4096-8191/*", unknown, 4096, 10000)) << "size not given";
    EXPECT_FALSE(RangeReply::Acceptable(206, "", unknown, 4096, 10000));
    for (const char* broken :
         {"bytes 4096-4095/10000", "bytes 4096-8191/8191", "items 4096-8191/10000", "bytes 4096-/10000",
          "bytes 4096-8191/10000x", "bytes -1-8191/10000", "bytes 99999999999999999999-1/10000"})
        EXPECT_FALSE(RangeReply::Acceptable(206, broken, unknown, 4096, 10000)) << broken;

    // The whole file instead of a range: usable only from byte 0, and only this file.
    EXPECT_TRUE(RangeReply::Acceptable(200, "", 10000, 0, 10000));
    EXPECT_TRUE(RangeReply::Acceptable(200, "", unknown, 0, 10000));
    EXPECT_FALSE(RangeReply::Acceptable(200, "", 10000, 4096, 10000));
    EXPECT_FALSE(RangeReply::Acceptable(200, "", 9000, 0, 10000));
    for (uint32_t status : {0u, 204u, 301u, 404u, 416u, 500u})
        EXPECT_FALSE(RangeReply::Acceptable(status, "bytes 0-99/10000", unknown, 0, 10000)) << status;
}
