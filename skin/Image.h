#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "skin/GdiHandle.h"
#include "skin/IRescObject.h"

// A decoded picture of the skin, held as a 32-bit top-down DIB section in
// premultiplied BGRA, ready for AlphaBlend. An Image whose bytes could not be
// decoded has no bitmap and draws nothing.
class Image : public IRescObject {
public:
    // Decodes PNG or JPEG bytes.
    Image(const uint8_t* bytes, size_t length);
    ~Image() override = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    HBITMAP bitmap() const { return bitmap_.Get(); }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // True when at least one pixel has an alpha below 255: drawn blended.
    bool hasAlpha() const { return hasAlpha_; }
    // Pixel rows top to bottom, one 0xAARRGGBB value each; null without bitmap.
    const uint32_t* pixels() const { return pixels_; }

private:
    GdiHandle<HBITMAP> bitmap_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool hasAlpha_ = false;
    uint32_t* pixels_ = nullptr;  // owned by bitmap_
};
