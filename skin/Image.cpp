#include "skin/Image.h"

#include <climits>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#include <stb_image.h>

namespace {

struct StbPixels {
    unsigned char* p = nullptr;
    ~StbPixels() { stbi_image_free(p); }
};

} // namespace

Image::Image(const uint8_t* bytes, size_t length)
{
    if (!bytes || length == 0 || length > INT_MAX) return;
    int w = 0, h = 0, channels = 0;
    StbPixels decoded;
    decoded.p = stbi_load_from_memory(bytes, static_cast<int>(length), &w, &h, &channels, 4);
    if (!decoded.p || w <= 0 || h <= 0) return;
    // The DIB's byte count must fit in 32 bits.
    if (static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4 > 0x7FFFFFFFu) return;

    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = -h; // top-down rows
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    bmi.bmiHeader.biSizeImage = static_cast<DWORD>(w) * static_cast<DWORD>(h) * 4;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return;
    if (!bits) {
        DeleteObject(section);
        return;
    }
    bitmap_.Reset(section);
    width_ = w;
    height_ = h;
    pixels_ = static_cast<uint32_t*>(bits);

    // RGBA to premultiplied BGRA, so that drawing is one blend per picture.
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    const unsigned char* src = decoded.p;
    for (size_t i = 0; i < count; ++i, src += 4) {
        uint32_t r = src[0], g = src[1], b = src[2];
        const uint32_t a = src[3];
        if (a != 255) {
            r = r * a / 255;
            g = g * a / 255;
            b = b * a / 255;
            hasAlpha_ = true;
        }
        pixels_[i] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    GdiFlush();
}
