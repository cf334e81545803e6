#pragma once
#include <cstdint>

// Resamples a block of premultiplied BGRA pixels (strides in pixels) into
// another; an empty source or destination does nothing.
void ResizePremultiplied(const uint32_t* source, int width, int height, int stride, uint32_t* dest, int destWidth,
                         int destHeight, int destStride);
