#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include <memory>
#include <vector>

#include "skin/GdiHandle.h"
#include "skin/IRescObject.h"
#include "skin/ScaleGrid.h"

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

    // This picture resampled for `dpi` (premultiplied-alpha aware), with a
    // grid's nine parts resampled each on its own so that no corner bleeds
    // into an edge. Made once per DPI and grid, then kept; `this` at 96 DPI
    // or when the picture cannot be scaled.
    const Image* ScaledFor(int dpi, const ScaleGrid& grid) const;
    // The grid's margins at `dpi`, as ScaledFor lays its parts out.
    static ScaleGrid ScaleMargins(const ScaleGrid& grid, int dpi);

private:
    Image() = default;
    bool Allocate(int32_t width, int32_t height);

    struct Scaled {
        int dpi;
        ScaleGrid grid;
        std::unique_ptr<Image> image;
    };
    mutable std::vector<Scaled> scaled_;
    GdiHandle<HBITMAP> bitmap_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool hasAlpha_ = false;
    uint32_t* pixels_ = nullptr;  // owned by bitmap_
};
