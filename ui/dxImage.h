#pragma once
#include "ui/dxControl.h"

class Image;

// One picture of the skin at its own size, top-left at the element's
// corner. Pictures never take the mouse.
class dxImage : public dxControl {
public:
    dxImage() = default;

    dxControl* HitTest(int x, int y) override;
    void Paint(HDC dc, const RECT& area) override;
    void SetAttribute(uint32_t nameHash, const char* value) override;

    Image* picture = nullptr;  // owned by the resource store
};
