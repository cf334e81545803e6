#include "ui/dxCanvas.h"
#include "skin/Style.h"
#include "ui/dxWindowImpl.h"

dxControl* dxCanvas::HitTest(int px, int py)
{
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        dxControl* child = it->get();
        if (!child || !child->IsVisible()) continue;
        if (dxControl* hit = child->HitTest(px, py)) return hit;
    }
    return nullptr;
}

RECT dxCanvas::PlaceChild(const RECT& inner, const dxControl& child)
{
    const DpiScale s = child.owner ? child.owner->dpi : DpiScale{};
    const int width = s.Scale(child.width), height = s.Scale(child.height);
    const int x = s.Scale(child.x), y = s.Scale(child.y);
    RECT r;
    // Integer division truncates toward zero, as the layout expects.
    if (child.flags & ALIGN_HCENTER)
        r.left = (inner.left + inner.right - width) / 2;
    else
        r.left = x >= 0 ? inner.left + x : inner.right + x;
    if (child.flags & ALIGN_VCENTER)
        r.top = (inner.top + inner.bottom - height) / 2;
    else
        r.top = y >= 0 ? inner.top + y : inner.bottom + y;
    r.right = r.left + width;
    r.bottom = r.top + height;
    return r;
}

void dxCanvas::SetRect(HDC dc, const RECT& r)
{
    rect = r;
    const DpiScale s = owner ? owner->dpi : DpiScale{};
    const RECT inner = {r.left + s.Scale(padding[0]), r.top + s.Scale(padding[1]), r.right - s.Scale(padding[2]),
                        r.bottom - s.Scale(padding[3])};
    // Hidden children are placed too, so showing them later needs no layout.
    for (auto& child : children) {
        if (child) child->SetRect(dc, PlaceChild(inner, *child));
    }
}

void dxCanvas::Paint(HDC dc, const RECT& area)
{
    if (style) style->DrawElement(dc, Describe());
    for (auto& child : children) {
        if (!child || !child->IsVisible()) continue;
        RECT overlap;
        if (IntersectRect(&overlap, &child->rect, &area)) child->Paint(dc, area);
    }
}
