#include "skin/SkinValue.h"

#include <cstdlib>

void ParseIntList(const char* text, int32_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i) out[i] = 0;
    if (!text) return;
    const char* p = text;
    for (size_t i = 0; i < count; ++i) {
        char* end = nullptr;
        out[i] = static_cast<int32_t>(std::strtol(p, &end, 10));
        p = end;
        if (*p == '\0') return;
        ++p;  // exactly one separator, whatever it is
    }
}

void ParseByteList(const char* text, uint8_t* out, size_t count)
{
    int32_t numbers[4] = {0, 0, 0, 0};
    if (count > 4) count = 4;
    ParseIntList(text, numbers, count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(numbers[i]);
}

bool ParseSkinColour(const char* text, uint32_t* out)
{
    if (!text || text[0] != '#') return false;
    *out = static_cast<uint32_t>(std::strtoul(text + 1, nullptr, 16));
    return true;
}
