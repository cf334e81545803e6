#pragma once
#include "skin/Style.h"

// Windows and plain areas: one picture, stretched or as a nine-grid.
class Style_background : public Style {
public:
    void LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store) override;
    void DrawRect(HDC dc, const RECT& rect, int dpi) const override;
    void DrawElement(HDC dc, const StyledElement& element) const override;

    Image* image = nullptr;  // img; not owned
    ScaleGrid grid;          // scaleGrid
};
