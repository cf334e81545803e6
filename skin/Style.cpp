#include "skin/Style.h"

#include <cstring>
#include <vector>

#include <rapidxml.hpp>

#include "skin/HashName.h"
#include "skin/Image.h"
#include "skin/Renderer.h"
#include "skin/Style_background.h"
#include "skin/Style_button.h"
#include "skin/Style_progressCtrl.h"

void Style::DrawImage(HDC dc, const Image* picture, const ScaleGrid& grid, const RECT& rect)
{
    if (!picture) return;
    if (!grid.IsEmpty())
        Renderer::DrawNineGrid(grid, rect, picture, dc);
    else
        Renderer::DrawPicture(picture, dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

std::unique_ptr<Style> CreateStyle(const char* text, ResourceStore& store)
{
    if (!text) return nullptr;
    // rapidxml parses in place; the caller's text stays untouched.
    std::vector<char> buffer(text, text + std::strlen(text) + 1);
    rapidxml::xml_document<char> doc;
    try {
        doc.parse<0>(buffer.data());
    } catch (const rapidxml::parse_error&) {
        return nullptr;
    }
    const rapidxml::xml_node<char>* root = doc.first_node("Style");
    const rapidxml::xml_node<char>* config = root ? root->first_node("Config") : nullptr;
    const rapidxml::xml_attribute<char>* kind = config ? config->first_attribute() : nullptr;
    if (!kind) return nullptr;

    std::unique_ptr<Style> style;
    switch (HashName(kind->value())) {
    case HashName("ProgressCtrl"): style = std::make_unique<Style_progressCtrl>(); break;
    case HashName("Background"): style = std::make_unique<Style_background>(); break;
    case HashName("Button"): style = std::make_unique<Style_button>(); break;
    default: return nullptr;
    }
    style->LoadProps(config, store);
    return style;
}
