#include "skin/Image.h"

#include <cstring>

#include "skin/DecodedPicture.h"

Image::Image(const uint8_t* bytes, size_t length)
{
    DecodedPicture decoded;
    if (!DecodedPicture::Decode(bytes, length, &decoded)) return;
    const int w = decoded.width, h = decoded.height;

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
    if (!section) return;
    if (!bits) {
        DeleteObject(section);
        return;
    }
    bitmap_.Reset(section);
    width_ = w;
    height_ = h;
    pixels_ = static_cast<uint32_t*>(bits);

    hasAlpha_ = decoded.hasAlpha;
    memcpy(pixels_, decoded.pixels.data(), decoded.pixels.size() * sizeof(uint32_t));
    GdiFlush();
}
