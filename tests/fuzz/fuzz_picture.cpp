// The skin's PNG and JPEG pictures.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "skin/DecodedPicture.h"

namespace {
constexpr uint32_t kFuzzMaxPixels = 256 * 256;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Large pictures take the same paths as small ones, only slower: the
    // limit keeps the rate of executions up (the size check has its own
    // sample, a header claiming more than the product's limit).
    DecodedPicture picture;
    if (!DecodedPicture::Decode(data, size, &picture, kFuzzMaxPixels)) return 0;
    FUZZ_CHECK(picture.width > 0 && picture.height > 0);
    FUZZ_CHECK(static_cast<uint64_t>(picture.width) * picture.height <= kFuzzMaxPixels);
    FUZZ_CHECK(picture.pixels.size() == static_cast<size_t>(picture.width) * picture.height);
    bool translucent = false;
    for (uint32_t p : picture.pixels) {
        const uint32_t a = p >> 24;
        // Premultiplied: no colour above its alpha.
        FUZZ_CHECK(((p >> 16) & 0xFF) <= a && ((p >> 8) & 0xFF) <= a && (p & 0xFF) <= a);
        translucent |= a != 255;
    }
    FUZZ_CHECK(translucent == picture.hasAlpha);
    return 0;
}
