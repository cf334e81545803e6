#include "skin/ScaleGrid.h"

#include "skin/SkinValue.h"

ScaleGrid ScaleGrid::Parse(const char* text)
{
    uint8_t v[4];
    ParseByteList(text, v, 4);
    ScaleGrid g;
    g.left = v[0];
    g.top = v[1];
    g.right = v[2];
    g.bottom = v[3];
    return g;
}
