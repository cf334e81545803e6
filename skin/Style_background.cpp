#include "skin/Style_background.h"

#include "skin/HashName.h"
#include "skin/ResourceStore.h"

void Style_background::LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store)
{
    for (const SkinAttribute& a : props) {
        switch (a.name) {
        case HashName("img"): image = store.GetImage(a.value.c_str()); break;
        case HashName("scaleGrid"): grid = ScaleGrid::Parse(a.value.c_str()); break;
        default: break;
        }
    }
}

void Style_background::DrawRect(HDC dc, const RECT& rect, int dpi) const { DrawImage(dc, image, grid, rect, dpi); }

void Style_background::DrawElement(HDC dc, const StyledElement& element) const
{
    DrawImage(dc, image, grid, element.rect, element.dpi);
}
