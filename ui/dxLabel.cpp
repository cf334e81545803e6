#include "ui/dxLabel.h"
#include <oleacc.h>
#include <cstring>
#include "platform/TextConvert.h"
#include "skin/HashName.h"
#include "skin/Renderer.h"
#include "skin/ResourceStore.h"
#include "skin/SelectGuard.h"
#include "skin/SkinValue.h"
#include "skin/Style.h"
#include "ui/dxWindowImpl.h"

dxControl* dxLabel::HitTest(int, int) { return nullptr; }

void dxLabel::Paint(HDC dc, const RECT&)
{
    if (style) style->DrawElement(dc, Describe());
    if (text.empty()) return;

    RECT r = rect;
    UINT drawFormat = DT_NOPREFIX;
    if (format & LABEL_MULTILINE) {
        r.bottom += owner ? owner->dpi.Scale(20) : 20;
        drawFormat |= DT_WORDBREAK;
    } else {
        drawFormat |= DT_SINGLELINE | DT_VCENTER;
        if (format & LABEL_CENTER)
            drawFormat |= DT_CENTER;
        else if (format & LABEL_RIGHT)
            drawFormat |= DT_RIGHT;
    }
    {
        ResourceStore* store = ResourceStore::Instance();
        SelectGuard selected(dc, store && owner ? store->ScaledFont(font, owner->dpi.dpi) : font);
        SetTextColor(dc, color);
        DrawTextW(dc, text.c_str(), -1, &r, drawFormat);
    }
    // GDI text leaves alpha 0 behind; only the label's own rectangle is mended.
    if (owner) Renderer::FixTextAlpha(rect, &owner->renderer);
}

void dxLabel::SetAttribute(uint32_t nameHash, const char* value)
{
    switch (nameHash) {
    case HashName("text"):
        if (text.empty()) text = Utf8ToWide(value);
        break;
    case HashName("textAlign"):
        if (strcmp(value, "center") == 0)
            format |= LABEL_CENTER;
        else if (strcmp(value, "right") == 0)
            format |= LABEL_RIGHT;
        break;
    case HashName("color"): {
        uint32_t value32 = 0;
        if (ParseSkinColour(value, &value32)) color = value32;
        break;
    }
    default: break;
    }
}

void dxLabel::SetText(const std::wstring& value)
{
    text = value;
    Invalidate();
}

void dxLabel::SetMultiLine()
{
    format = LABEL_MULTILINE;
    Invalidate();
}

long dxLabel::AccessibleRole() const { return text.empty() ? 0 : ROLE_SYSTEM_STATICTEXT; }

std::wstring dxLabel::AccessibleName() const { return text; }
