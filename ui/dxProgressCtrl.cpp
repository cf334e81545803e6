#include "ui/dxProgressCtrl.h"
#include "skin/Style.h"

void dxProgressCtrl::Paint(HDC dc, const RECT&)
{
    if (style) style->DrawElement(dc, Describe());
}

StyledElement dxProgressCtrl::Describe() const
{
    StyledElement e = dxControl::Describe();
    e.range = range;
    e.pos = pos;
    return e;
}

void dxProgressCtrl::SetPos(int32_t value)
{
    if (value == pos) return;
    pos = value;
    Invalidate();
}
