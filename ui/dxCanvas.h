#pragma once
#include "ui/dxPanel.h"

// The container of window descriptions: lays its children out inside its
// padding, paints them in order and hit-tests them in reverse.
class dxCanvas : public dxPanel {
public:
    dxCanvas() = default;

    dxControl* HitTest(int x, int y) override;
    void SetRect(HDC dc, const RECT& rect) override;
    void Paint(HDC dc, const RECT& area) override;

    // Where a child goes inside an area: centred when aligned so, else at
    // its offset from the near edge (negative offsets count from the far
    // edge).
    static RECT PlaceChild(const RECT& inner, const dxControl& child);
};
