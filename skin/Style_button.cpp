#include "skin/Style_button.h"

#include "skin/DpiScale.h"
#include "skin/ElementState.h"
#include "skin/HashName.h"
#include "skin/ResourceStore.h"
#include "skin/SelectGuard.h"
#include "skin/SkinValue.h"

void Style_button::LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store)
{
    for (const SkinAttribute& a : props) {
        const char* value = a.value.c_str();
        if (a.value.empty()) continue;
        switch (a.name) {
        case HashName("upSkin"): up = store.GetImage(value); break;
        case HashName("overSkin"): over = store.GetImage(value); break;
        case HashName("focusSkin"): focus = store.GetImage(value); break;
        case HashName("downSkin"): down = store.GetImage(value); break;
        case HashName("disabledSkin"): disabled = store.GetImage(value); break;
        case HashName("scaleGrid"): grid = ScaleGrid::Parse(value); break;
        case HashName("textColor"): {
            uint32_t colour = 0;
            if (ParseSkinColour(value, &colour)) textColor = colour;
            break;
        }
        case HashName("downOffset"): downOffset = (value[0] == '1' && value[1] == '\0') ? 1 : 0; break;
        default: break;
        }
    }
}

const Image* Style_button::PictureFor(const StyledElement& element) const
{
    if (element.state & (STATE_PRESSED | STATE_CHECKED)) return down;
    if (element.state & STATE_HOT) return over;
    if (element.state & STATE_DISABLED) return disabled;
    if (element.focused && focus) return focus;
    return up;
}

void Style_button::DrawElement(HDC dc, const StyledElement& element) const
{
    DrawImage(dc, PictureFor(element), grid, element.rect, element.dpi);
    if (!element.text || !element.text[0]) return;

    SelectGuard font(dc, element.font);
    const COLORREF previousColour = SetTextColor(dc, textColor);
    RECT r = element.rect;
    if (downOffset && (element.state & STATE_PRESSED)) {
        const int offset = DpiScale::FromDpi(element.dpi).Scale(1);
        OffsetRect(&r, offset, offset);
    }
    DrawTextW(dc, element.text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SetTextColor(dc, previousColour);
}
