#include "ui/dxControl.h"
#include "ui/dxWindowImpl.h"

dxControl::~dxControl() = default;

dxControl* dxControl::HitTest(int px, int py)
{
    POINT pt = {px, py};
    return PtInRect(&rect, pt) ? this : nullptr;
}

void dxControl::OnEvent(const dxEvent&) {}

void dxControl::SetRect(HDC, const RECT& r) { rect = r; }

void dxControl::Paint(HDC, const RECT&) {}

bool dxControl::OnSetCursor() { return false; }

void dxControl::SetAttribute(uint32_t, const char*) {}

void dxControl::Invalidate(bool relayout)
{
    if (!owner || !owner->hwnd || !IsWindow(owner->hwnd) || IsRectEmpty(&rect)) return;
    if (relayout) {
        RECT current = rect;
        SetRect(nullptr, current);
    }
    if (owner->windowFlags & (WINDOW_LAYERED | WINDOW_SHADOW))
        InvalidateRect(owner->hwnd, nullptr, FALSE);
    else
        InvalidateRect(owner->hwnd, &rect, FALSE);
}

void dxControl::SetVisible(bool visible)
{
    if (visible)
        flags |= FLAG_VISIBLE;
    else
        flags &= ~FLAG_VISIBLE;
    Invalidate();
}

RECT dxControl::Inset(const RECT& r, const uint8_t (&margins)[4])
{
    return RECT{r.left + margins[0], r.top + margins[1], r.right - margins[2], r.bottom - margins[3]};
}

void dxControl::Fire(ControlEvent eventId) { Invoke(eventId, this); }

bool dxControl::IsFocused() const { return owner && owner->focusElement == this; }

StyledElement dxControl::Describe() const
{
    StyledElement e;
    e.rect = rect;
    e.state = state;
    e.focused = IsFocused();
    if (owner) e.dpi = owner->dpi.dpi;
    return e;
}
