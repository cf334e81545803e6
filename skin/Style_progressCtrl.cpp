#include "skin/Style_progressCtrl.h"

#include "skin/HashName.h"
#include "skin/ResourceStore.h"

void Style_progressCtrl::LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store)
{
    for (const SkinAttribute& a : props) {
        if (a.value.empty()) continue;
        switch (a.name) {
        case HashName("bkgndSkin"): background = store.GetImage(a.value.c_str()); break;
        case HashName("foregndSkin"): foreground = store.GetImage(a.value.c_str()); break;
        case HashName("scaleGrid"): grid = ScaleGrid::Parse(a.value.c_str()); break;
        default: break;
        }
    }
}

int32_t Style_progressCtrl::FilledWidth(int32_t width, int32_t range, int32_t pos)
{
    if (range <= 0 || pos <= 0 || width <= 0) return 0;
    // 64-bit so that a large position cannot overflow; a position past the
    // range fills the bar and no more.
    const int64_t filled = static_cast<int64_t>(width) * pos / range;
    return filled > width ? width : static_cast<int32_t>(filled);
}

void Style_progressCtrl::DrawElement(HDC dc, const StyledElement& element) const
{
    DrawImage(dc, background, grid, element.rect, element.dpi);
    if (!foreground) return;
    const int32_t filled = FilledWidth(element.rect.right - element.rect.left, element.range, element.pos);
    if (filled == 0) return;
    RECT part = element.rect;
    part.right = part.left + filled;
    DrawImage(dc, foreground, grid, part, element.dpi);
}
