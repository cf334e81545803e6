#pragma once
#include "skin/Style.h"

// Progress bars: the empty bar, and the filled part over it up to the position.
class Style_progressCtrl : public Style {
public:
    void LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store) override;
    void DrawElement(HDC dc, const StyledElement& element) const override;

    // Width of the filled part of a bar `width` pixels wide; 0 draws none.
    static int32_t FilledWidth(int32_t width, int32_t range, int32_t pos);

    Image* background = nullptr;  // bkgndSkin; not owned
    Image* foreground = nullptr;  // foregndSkin; not owned
    ScaleGrid grid;               // scaleGrid, for both pictures
};
