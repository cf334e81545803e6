#include <gtest/gtest.h>

#include <vector>

#include "SkinTestFiles.h"
#include "skin/DecodedPicture.h"
#include "skin/JpegScanWalker.h"

namespace {

const char* const kPictures[] = {"tests/skin/fixtures/baseline.jpg", "tests/skin/fixtures/progressive.jpg"};

bool Accepted(const std::vector<uint8_t>& jpeg) { return JpegScanWalker::Accepts(jpeg.data(), jpeg.size()); }

// Where the segment with the given marker starts, counting from zero.
size_t FindMarker(const std::vector<uint8_t>& jpeg, uint8_t marker, int which)
{
    for (size_t at = 0; at + 1 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && jpeg[at + 1] == marker && which-- == 0) return at;
    return jpeg.size();
}

}  // namespace

TEST(JpegScanWalker, WholePicturesPass)
{
    for (const char* name : kPictures) {
        const std::vector<uint8_t> jpeg = ReadBuildFile(name);
        ASSERT_GT(jpeg.size(), 100u) << name;
        EXPECT_TRUE(Accepted(jpeg)) << name;
        DecodedPicture picture;
        EXPECT_TRUE(DecodedPicture::Decode(jpeg.data(), jpeg.size(), &picture)) << name;
        EXPECT_EQ(picture.width, 40);
    }
}

TEST(JpegScanWalker, ScansWhoseDataRunsOutAreRefused)
{
    for (const char* name : kPictures) {
        const std::vector<uint8_t> jpeg = ReadBuildFile(name);
        ASSERT_GT(jpeg.size(), 100u) << name;
        const size_t end = jpeg.size() - 2;  // the end marker
        // Three bytes short before the end marker; or the file itself ends.
        std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + end - 3);
        EXPECT_FALSE(Accepted(cut)) << name;
        cut.insert(cut.end(), jpeg.begin() + end, jpeg.end());
        EXPECT_FALSE(Accepted(cut)) << name;
        DecodedPicture picture;
        EXPECT_FALSE(DecodedPicture::Decode(cut.data(), cut.size(), &picture)) << name;
        // A restart interval short of data ends at its marker just the same.
        std::vector<uint8_t> interval = jpeg;
        const size_t restart = FindMarker(jpeg, 0xD1, 0);
        ASSERT_LT(restart, end) << name;
        interval.erase(interval.begin() + restart - 2, interval.begin() + restart);
        EXPECT_FALSE(Accepted(interval)) << name;
    }
}

TEST(JpegScanWalker, ProgressiveBlocksNoDcScanSetAreRefused)
{
    const std::vector<uint8_t> jpeg = ReadBuildFile(kPictures[1]);
    ASSERT_GT(jpeg.size(), 100u);
    // Without its first scan, which sets every block's DC value, the decoder
    // would refine and show coefficients from memory it never wrote.
    std::vector<uint8_t> noDc = jpeg;
    noDc.erase(noDc.begin() + FindMarker(jpeg, 0xDA, 0), noDc.begin() + FindMarker(jpeg, 0xDA, 1));
    EXPECT_FALSE(Accepted(noDc));
}

TEST(JpegScanWalker, QuantisationTablesNoSegmentDefinedAreRefused)
{
    for (const char* name : kPictures) {
        std::vector<uint8_t> jpeg = ReadBuildFile(name);
        ASSERT_GT(jpeg.size(), 100u) << name;
        // Without its first DQT segment the decoder would dequantise with
        // memory it never wrote.
        const size_t dqt = FindMarker(jpeg, 0xDB, 0);
        ASSERT_LT(dqt + 4, jpeg.size()) << name;
        jpeg.erase(jpeg.begin() + dqt, jpeg.begin() + dqt + 2 + (jpeg[dqt + 2] << 8 | jpeg[dqt + 3]));
        EXPECT_FALSE(Accepted(jpeg)) << name;
    }
}
