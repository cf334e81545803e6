#include "skin/Style.h"

#include "skin/HashName.h"
#include "skin/Image.h"
#include "skin/Renderer.h"
#include "skin/Style_background.h"
#include "skin/Style_button.h"
#include "skin/Style_progressCtrl.h"

void Style::DrawImage(HDC dc, const Image* picture, const ScaleGrid& grid, const RECT& rect, int dpi)
{
    if (!picture) return;
    const Image* scaled = picture->ScaledFor(dpi, grid);
    if (scaled != picture) {
        picture = scaled;
        if (!grid.IsEmpty()) {
            Renderer::DrawNineGrid(Image::ScaleMargins(grid, dpi), rect, picture, dc);
            return;
        }
    }
    if (!grid.IsEmpty())
        Renderer::DrawNineGrid(grid, rect, picture, dc);
    else
        Renderer::DrawPicture(picture, dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

std::unique_ptr<Style> CreateStyle(const char* text, ResourceStore& store)
{
    StyleDescription description;
    if (!StyleDescription::Parse(text, &description)) return nullptr;

    std::unique_ptr<Style> style;
    switch (description.kind) {
    case HashName("ProgressCtrl"): style = std::make_unique<Style_progressCtrl>(); break;
    case HashName("Background"): style = std::make_unique<Style_background>(); break;
    case HashName("Button"): style = std::make_unique<Style_button>(); break;
    default: return nullptr;
    }
    style->LoadProps(description.props, store);
    return style;
}
