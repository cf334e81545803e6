#include "skin/ScaleGrid.h"

#include "skin/SkinValue.h"

ScaleGrid ScaleGrid::Parse(const char* text)
{
    int32_t v[4];
    ParseIntList(text, v, 4);
    ScaleGrid g;
    g.left = static_cast<uint8_t>(v[0]);
    g.top = static_cast<uint8_t>(v[1]);
    g.right = static_cast<uint8_t>(v[2]);
    g.bottom = static_cast<uint8_t>(v[3]);
    return g;
}
