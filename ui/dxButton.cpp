#include "ui/dxButton.h"
#include <oleacc.h>
#include "platform/TextConvert.h"
#include "skin/HashName.h"
#include "skin/ResourceStore.h"
#include "skin/Style.h"
#include "ui/dxWindowImpl.h"

void dxButton::OnEvent(const dxEvent& event)
{
    const bool disabled = (state & STATE_DISABLED) != 0;
    switch (event.type) {
    case MouseEvent::Leave:
        state &= ~STATE_HOT;
        Invalidate();
        break;
    case MouseEvent::Enter:
        if (disabled) break;
        state |= STATE_HOT;
        Invalidate();
        break;
    case MouseEvent::ButtonDown:
        if (disabled) break;
        state |= STATE_PRESSED;
        Invalidate();
        if (owner) owner->SetFocusElement(this);
        break;
    case MouseEvent::ButtonUp: {
        if (disabled) break;
        state &= ~STATE_PRESSED;
        POINT pt = {event.x, event.y};
        // Letting go outside the button cancels the click.
        if (!PtInRect(&rect, pt)) break;
        Invalidate();
        Fire(ControlEvent::Click);
        break;
    }
    case MouseEvent::DoubleClick:
        if (disabled) break;
        state |= STATE_PRESSED;
        Invalidate();
        break;
    default: break;
    }
}

void dxButton::Paint(HDC dc, const RECT&)
{
    if (!style) {
        if (ResourceStore* store = ResourceStore::Instance()) style = store->defaultButtonStyle();
    }
    if (!style) return;
    StyledElement e = Describe();
    // Focus shown only after the keyboard was used, so the look at rest and
    // under the mouse stays as it was.
    const bool cue = owner && owner->keyboardCues && IsFocused();
    if (cue) e.state |= STATE_HOT;
    style->DrawElement(dc, e);
    if (cue) DrawFocusOutline();
}

void dxButton::DrawFocusOutline() const
{
    // Written into the buffer's pixels: GDI lines would leave alpha 0 holes
    // in a layered window. Opaque white dots, one pixel and 3 pixels inside
    // at 96 DPI, scaled with the window.
    Renderer& r = owner->renderer;
    uint32_t* bits = r.bits();
    if (!bits) return;
    GdiFlush();
    const int inset = owner->dpi.Scale(3);
    const int width = owner->dpi.Scale(1);
    auto dot = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= r.bufferWidth() || py >= r.bufferHeight() || (((px + py) / width) & 1)) return;
        bits[static_cast<size_t>(py) * r.bufferWidth() + px] = 0xFFFFFFFFu;
    };
    for (int ring = 0; ring < width; ++ring) {
        const RECT box = {rect.left + inset + ring, rect.top + inset + ring, rect.right - inset - 1 - ring,
                          rect.bottom - inset - 1 - ring};
        for (int px = box.left; px <= box.right; ++px) {
            dot(px, box.top);
            dot(px, box.bottom);
        }
        for (int py = box.top; py <= box.bottom; ++py) {
            dot(box.left, py);
            dot(box.right, py);
        }
    }
}

void dxButton::SetAttribute(uint32_t nameHash, const char* value)
{
    if (nameHash == HashName("text")) text = Utf8ToWide(value);
}

StyledElement dxButton::Describe() const
{
    StyledElement e = dxControl::Describe();
    e.text = text.c_str();
    ResourceStore* store = ResourceStore::Instance();
    e.font = store && owner ? store->ScaledFont(font, owner->dpi.dpi) : font;
    return e;
}

void dxButton::SetText(const std::wstring& value)
{
    text = value;
    Invalidate();
}

long dxButton::AccessibleRole() const { return ROLE_SYSTEM_PUSHBUTTON; }

// A picture button without text is known by its tooltip.
std::wstring dxButton::AccessibleName() const { return text.empty() ? tooltip : text; }
