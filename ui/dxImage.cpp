#include "ui/dxImage.h"
#include "skin/HashName.h"
#include "skin/Image.h"
#include "skin/Renderer.h"
#include "skin/ResourceStore.h"

dxControl* dxImage::HitTest(int, int) { return nullptr; }

void dxImage::Paint(HDC dc, const RECT&)
{
    if (!IsVisible() || !picture) return;
    Renderer::DrawPicture(picture, dc, rect.left, rect.top, picture->width(), picture->height());
}

void dxImage::SetAttribute(uint32_t nameHash, const char* value)
{
    if (nameHash != HashName("src")) return;
    ResourceStore* store = ResourceStore::Instance();
    picture = store ? store->GetImage(value) : nullptr;
}
