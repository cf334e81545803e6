#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/PeProductVersion.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"

namespace {

// A file's bytes in memory that fail the test when read outside them, and
// count what is read.
class CountedBytes : public ByteSource {
public:
    explicit CountedBytes(std::string bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* out, size_t size) const override
    {
        EXPECT_TRUE(offset <= bytes_.size() && size <= bytes_.size() - offset) << offset << "+" << size;
        if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
        memcpy(out, bytes_.data() + offset, size);
        read_ += size;
        return true;
    }
    uint64_t Read() const { return read_; }

private:
    std::string bytes_;
    mutable uint64_t read_ = 0;
};

}  // namespace

TEST(PeProductVersion, ReadsOnlyTheHeadersAndTheResourcesWay)
{
    const std::string large = ReadFileBytes(LocalServer::FixturePath(Fixture::Large));
    ASSERT_GT(large.size(), 3000000u);
    const CountedBytes file(large);
    VersionQuad v;
    ASSERT_TRUE(ReadPeProductVersion(file, {}, &v));
    EXPECT_EQ(FormatVersion(v), "2.5.17.3");
    EXPECT_LT(file.Read(), 4096u);
}

TEST(PeProductVersion, AFileCutAnywhereBeforeItsVersionsEndHasNone)
{
    const std::string image = ReadFileBytes(LocalServer::FixturePath(Fixture::Signed));
    const size_t key = image.find(std::string(reinterpret_cast<const char*>(L"VS_VERSION_INFO"), 30));
    ASSERT_NE(key, std::string::npos);
    // The fixed information ends 52 bytes after the key and its padding.
    const size_t end = key + 32 + 2 + 52;
    for (size_t size = 0; size < end; size += size < 1024 ? 1 : 13) {
        VersionQuad v{-7, -7, -7, -7};
        EXPECT_FALSE(ReadPeProductVersion(CountedBytes(image.substr(0, size)), {}, &v)) << size;
        EXPECT_EQ(v.major, -7);
    }
}
