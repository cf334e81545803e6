#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A PNG or JPEG picture decoded to premultiplied BGRA, rows top to bottom,
// one 0xAARRGGBB value per pixel: the form the skin draws from.
struct DecodedPicture {
    int32_t width = 0;
    int32_t height = 0;
    bool hasAlpha = false;  // some pixel has an alpha below 255
    std::vector<uint32_t> pixels;

    // Largest picture accepted, in pixels: far above any skin picture, and
    // small enough that a hostile header cannot make the decoder ask for
    // gigabytes.
    static constexpr uint32_t kMaxPixels = 16u * 1024 * 1024;

    // False for bytes that do not decode, or a picture of more than
    // `maxPixels` (at most kMaxPixels).
    static bool Decode(const uint8_t* bytes, size_t length, DecodedPicture* out, uint32_t maxPixels = kMaxPixels);
};
