#include "skin/Image.h"

#include <cstring>

#include "skin/DecodedPicture.h"
#include "skin/DpiScale.h"
#include "skin/ImageResize.h"

bool Image::Allocate(int32_t w, int32_t h)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h;  // top-down rows
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    bmi.bmiHeader.biSizeImage = static_cast<DWORD>(w) * static_cast<DWORD>(h) * 4;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return false;
    if (!bits) {
        DeleteObject(section);
        return false;
    }
    bitmap_.Reset(section);
    width_ = w;
    height_ = h;
    pixels_ = static_cast<uint32_t*>(bits);
    return true;
}

Image::Image(const uint8_t* bytes, size_t length)
{
    DecodedPicture decoded;
    if (!DecodedPicture::Decode(bytes, length, &decoded)) return;
    if (!Allocate(decoded.width, decoded.height)) return;
    hasAlpha_ = decoded.hasAlpha;
    memcpy(pixels_, decoded.pixels.data(), decoded.pixels.size() * sizeof(uint32_t));
    GdiFlush();
}

ScaleGrid Image::ScaleMargins(const ScaleGrid& grid, int dpi)
{
    const DpiScale s = DpiScale::FromDpi(dpi);
    auto one = [&](uint8_t v) {
        const int scaled = s.Scale(v);
        return static_cast<uint8_t>(scaled > 255 ? 255 : scaled);
    };
    ScaleGrid g;
    g.left = one(grid.left);
    g.top = one(grid.top);
    g.right = one(grid.right);
    g.bottom = one(grid.bottom);
    return g;
}

const Image* Image::ScaledFor(int dpi, const ScaleGrid& grid) const
{
    const DpiScale s = DpiScale::FromDpi(dpi);
    if (s.IsIdentity() || !pixels_ || width_ <= 0 || height_ <= 0) return this;
    for (const Scaled& entry : scaled_) {
        if (entry.dpi == s.dpi && entry.grid.left == grid.left && entry.grid.top == grid.top &&
            entry.grid.right == grid.right && entry.grid.bottom == grid.bottom)
            return entry.image ? entry.image.get() : this;
    }
    const int w = s.Scale(width_), h = s.Scale(height_);
    std::unique_ptr<Image> out(new Image());
    if (w <= 0 || h <= 0 || !out->Allocate(w, h)) {
        scaled_.push_back({s.dpi, grid, nullptr});
        return this;
    }
    out->hasAlpha_ = hasAlpha_;
    GdiFlush();
    std::memset(out->pixels_, 0, static_cast<size_t>(w) * h * 4);

    // Part boundaries, source and destination; a grid wider than the picture
    // keeps a single part.
    const ScaleGrid d = ScaleMargins(grid, s.dpi);
    const bool useGrid = !grid.IsEmpty() && grid.left + grid.right < width_ && grid.top + grid.bottom < height_ &&
                         d.left + d.right < w && d.top + d.bottom < h;
    const int sx[4] = {0, useGrid ? grid.left : 0, useGrid ? width_ - grid.right : width_, width_};
    const int sy[4] = {0, useGrid ? grid.top : 0, useGrid ? height_ - grid.bottom : height_, height_};
    const int dx[4] = {0, useGrid ? d.left : 0, useGrid ? w - d.right : w, w};
    const int dy[4] = {0, useGrid ? d.top : 0, useGrid ? h - d.bottom : h, h};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            ResizePremultiplied(pixels_ + static_cast<size_t>(sy[row]) * width_ + sx[col], sx[col + 1] - sx[col],
                                sy[row + 1] - sy[row], width_,
                                out->pixels_ + static_cast<size_t>(dy[row]) * w + dx[col], dx[col + 1] - dx[col],
                                dy[row + 1] - dy[row], w);
        }
    }
    scaled_.push_back({s.dpi, grid, std::move(out)});
    return scaled_.back().image.get();
}
