#include "ui/dxLinkButton.h"
#include "skin/ResourceStore.h"
#include "skin/SelectGuard.h"
#include "ui/dxWindowImpl.h"

void dxLinkButton::Paint(HDC dc, const RECT&)
{
    if (text.empty()) return;
    ResourceStore* store = ResourceStore::Instance();
    SelectGuard font(dc,
                     store ? store->ScaledFont(store->fontLink(), owner ? owner->dpi.dpi : DpiScale::kBase) : nullptr);
    COLORREF previous = SetTextColor(dc, RGB(255, 255, 255));
    RECT r = rect;
    DrawTextW(dc, text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER);
    SetTextColor(dc, previous);
}

bool dxLinkButton::OnSetCursor()
{
    ResourceStore* store = ResourceStore::Instance();
    HCURSOR hand = store ? store->handCursor() : nullptr;
    if (!hand) return false;
    SetCursor(hand);
    return true;
}
