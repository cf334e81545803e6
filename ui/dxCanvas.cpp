#include "ui/dxCanvas.h"
#include "skin/Style.h"

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
    RECT r;
    // Integer division truncates toward zero, as the layout expects.
    if (child.flags & ALIGN_HCENTER)
        r.left = (inner.left + inner.right - child.width) / 2;
    else
        r.left = child.x >= 0 ? inner.left + child.x : inner.right + child.x;
    if (child.flags & ALIGN_VCENTER)
        r.top = (inner.top + inner.bottom - child.height) / 2;
    else
        r.top = child.y >= 0 ? inner.top + child.y : inner.bottom + child.y;
    r.right = r.left + child.width;
    r.bottom = r.top + child.height;
    return r;
}

void dxCanvas::SetRect(HDC dc, const RECT& r)
{
    rect = r;
    const RECT inner = Inset(r, padding);
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
