#pragma once
#include <cstdint>

// The hash by which description and style names are recognised:
// h = h * 131 + byte (signed), wrapping in 32 bits, masked to 31 bits.
// HashName("x") == 120, HashName("id") == 13855, HashName("Canvas") == 154027168.
constexpr uint32_t HashName(const char* name)
{
    uint32_t h = 0;
    for (; name && *name; ++name)
        h = h * 131u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*name)));
    return h & 0x7FFFFFFFu;
}
