#include "ui/dxProgressCtrl.h"
#include <oleacc.h>
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

long dxProgressCtrl::AccessibleRole() const { return ROLE_SYSTEM_PROGRESSBAR; }

std::wstring dxProgressCtrl::AccessibleValue() const
{
    const int64_t percent = range > 0 ? static_cast<int64_t>(pos) * 100 / range : 0;
    return std::to_wstring(percent) + L"%";
}
