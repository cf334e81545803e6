#include "skin/Style_background.h"

#include <rapidxml.hpp>

#include "skin/HashName.h"
#include "skin/ResourceStore.h"

void Style_background::LoadProps(const rapidxml::xml_node<char>* config, ResourceStore& store)
{
    const rapidxml::xml_node<char>* prop = config ? config->first_node("Prop") : nullptr;
    if (!prop) return;
    for (auto* a = prop->first_attribute(); a; a = a->next_attribute()) {
        switch (HashName(a->name())) {
        case HashName("img"): image = store.GetImage(a->value()); break;
        case HashName("scaleGrid"): grid = ScaleGrid::Parse(a->value()); break;
        default: break;
        }
    }
}

void Style_background::DrawRect(HDC dc, const RECT& rect, uint32_t) const
{
    DrawImage(dc, image, grid, rect);
}

void Style_background::DrawElement(HDC dc, const StyledElement& element) const
{
    DrawImage(dc, image, grid, element.rect);
}
