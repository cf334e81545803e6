// The product version of a PE file's version resource.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "platform/PeProductVersion.h"

namespace {

// The input as the file, read only where the reader asks: a read outside it
// is a finding, not a clipped copy.
class InputBytes : public ByteSource {
public:
    InputBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t size) const override
    {
        FUZZ_CHECK(offset <= size_ && size <= size_ - offset);
        if (size) std::memcpy(out, data_ + offset, size);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const VersionQuad untouched{-1, -1, -1, -1};
    VersionQuad version = untouched;
    if (ReadPeProductVersion(InputBytes(data, size), {0, 0x409}, &version)) {
        for (int32_t part : {version.major, version.minor, version.build, version.revision})
            FUZZ_CHECK(part >= 0 && part <= 0xffff);
    } else {
        FUZZ_CHECK(version == untouched);
    }
    return 0;
}
