#include "skin/ImageResize.h"

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>

void ResizePremultiplied(const uint32_t* source, int width, int height, int stride, uint32_t* dest, int destWidth,
                         int destHeight, int destStride)
{
    if (!source || !dest || width <= 0 || height <= 0 || destWidth <= 0 || destHeight <= 0) return;
    // The pixels already carry premultiplied alpha (channel 3), so the
    // filter must not multiply them again.
    stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(source), width, height, stride * 4,
                               reinterpret_cast<unsigned char*>(dest), destWidth, destHeight, destStride * 4, 4, 3,
                               STBIR_FLAG_ALPHA_PREMULTIPLIED, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT,
                               STBIR_COLORSPACE_LINEAR, nullptr);
}
