#include "skin/Style_progressCtrl.h"

#include <rapidxml.hpp>

#include "skin/HashName.h"
#include "skin/ResourceStore.h"

void Style_progressCtrl::LoadProps(const rapidxml::xml_node<char>* config, ResourceStore& store)
{
    const rapidxml::xml_node<char>* prop = config ? config->first_node("Prop") : nullptr;
    if (!prop) return;
    for (auto* a = prop->first_attribute(); a; a = a->next_attribute()) {
        if (a->value_size() == 0) continue;
        switch (HashName(a->name())) {
        case HashName("bkgndSkin"): background = store.GetImage(a->value()); break;
        case HashName("foregndSkin"): foreground = store.GetImage(a->value()); break;
        case HashName("scaleGrid"): grid = ScaleGrid::Parse(a->value()); break;
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
    DrawImage(dc, background, grid, element.rect);
    if (!foreground) return;
    const int32_t filled = FilledWidth(element.rect.right - element.rect.left, element.range, element.pos);
    if (filled == 0) return;
    RECT part = element.rect;
    part.right = part.left + filled;
    DrawImage(dc, foreground, grid, part);
}
