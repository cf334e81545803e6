#include "ui/dxImage.h"
#include "skin/HashName.h"
#include "skin/Image.h"
#include "skin/Renderer.h"
#include "skin/ResourceStore.h"
#include "ui/dxWindowImpl.h"

dxControl* dxImage::HitTest(int, int) { return nullptr; }

void dxImage::Paint(HDC dc, const RECT&)
{
    if (!IsVisible() || !picture) return;
    const int dpi = owner ? owner->dpi.dpi : DpiScale::kBase;
    const Image* scaled = picture->ScaledFor(dpi, ScaleGrid{});
    const DpiScale s = DpiScale::FromDpi(dpi);
    Renderer::DrawPicture(scaled, dc, rect.left, rect.top, s.Scale(picture->width()), s.Scale(picture->height()));
}

void dxImage::SetAttribute(uint32_t nameHash, const char* value)
{
    if (nameHash != HashName("src")) return;
    ResourceStore* store = ResourceStore::Instance();
    picture = store ? store->GetImage(value) : nullptr;
}
