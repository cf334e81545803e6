#include "skin/DecodedPicture.h"

#include <climits>
#include <cstring>

// The skin's pictures are PNG and JPEG; stb_image 2.27's other decoders
// (PNM, TGA, BMP, GIF, PSD, PIC, HDR) stay out, with their own faults: a
// 16-bit PNM, for one, makes it read past its buffer.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#include <stb_image.h>

namespace {

struct StbPixels {
    unsigned char* p = nullptr;
    ~StbPixels() { stbi_image_free(p); }
};

// stb_image 2.27 builds each JPEG Huffman table in a 257-byte array without
// checking that the table's code counts add up to at most 256, and writes
// past it when they do not. Every DHT segment is checked first: a scan of all
// FF C4 pairs finds every one the decoder could read (and at worst refuses a
// picture whose other data happens to hold such a pair).
bool HuffmanTablesFit(const uint8_t* bytes, size_t length)
{
    for (size_t at = 0; at + 1 < length; ++at) {
        if (bytes[at] != 0xFF || bytes[at + 1] != 0xC4) continue;
        size_t p = at + 2;
        if (p + 2 > length) return true;
        long left = ((bytes[p] << 8) | bytes[p + 1]) - 2;
        p += 2;
        while (left > 0 && p < length) {
            ++p;  // table class and number
            int codes = 0;
            // Nor does it check that the code lengths can exist: more codes of
            // a length than that length has room for make it index its symbol
            // table past its end while decoding.
            uint32_t room = 0;
            for (int i = 0; i < 16 && p < length; ++i, ++p) {
                codes += bytes[p];
                room = (room << 1) + bytes[p];
                if (room > (1u << (i + 1))) return false;
            }
            if (codes > 256) return false;
            p += static_cast<size_t>(codes);
            left -= 17 + codes;
        }
    }
    return true;
}

// stb_image sizes its buffer for a PNG's compressed data from the lengths
// that the chunk headers claim, before it reads the data: a few bytes claiming
// a gigabyte make it allocate one. A PNG's chunks must lie within the bytes.
// An empty IDAT before any data makes it copy into a buffer it has not
// allocated yet; encoders write none, so such a picture is refused too.
bool PngChunksFit(const uint8_t* bytes, size_t length)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (length < 8 || std::memcmp(bytes, signature, 8) != 0) return true;
    size_t at = 8;
    bool data = false;
    while (at + 8 <= length) {
        const uint32_t chunk = (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) |
                               (uint32_t(bytes[at + 2]) << 8) | uint32_t(bytes[at + 3]);
        if (chunk > length - at - 8) return false;
        if (std::memcmp(bytes + at + 4, "IEND", 4) == 0) return true;
        if (std::memcmp(bytes + at + 4, "IDAT", 4) == 0) {
            if (chunk == 0 && !data) return false;
            data = true;
        }
        at += 8 + size_t(chunk) + 4;  // data and CRC
    }
    return true;
}

}  // namespace

bool DecodedPicture::Decode(const uint8_t* bytes, size_t length, DecodedPicture* out, uint32_t maxPixels)
{
    if (!bytes || length == 0 || length > INT_MAX) return false;
    if (maxPixels > kMaxPixels) maxPixels = kMaxPixels;
    int w = 0, h = 0, channels = 0;
    if (!HuffmanTablesFit(bytes, length) || !PngChunksFit(bytes, length)) return false;
    // The header's size is checked before the decoder allocates for it.
    if (!stbi_info_from_memory(bytes, static_cast<int>(length), &w, &h, &channels)) return false;
    if (w <= 0 || h <= 0 || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > maxPixels) return false;
    StbPixels decoded;
    decoded.p = stbi_load_from_memory(bytes, static_cast<int>(length), &w, &h, &channels, 4);
    if (!decoded.p || w <= 0 || h <= 0 || static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > maxPixels) return false;

    DecodedPicture picture;
    picture.width = w;
    picture.height = h;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    picture.pixels.resize(count);
    // RGBA to premultiplied BGRA, so that drawing is one blend per picture.
    const unsigned char* src = decoded.p;
    for (size_t i = 0; i < count; ++i, src += 4) {
        uint32_t r = src[0], g = src[1], b = src[2];
        const uint32_t a = src[3];
        if (a != 255) {
            r = r * a / 255;
            g = g * a / 255;
            b = b * a / 255;
            picture.hasAlpha = true;
        }
        picture.pixels[i] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    *out = std::move(picture);
    return true;
}
