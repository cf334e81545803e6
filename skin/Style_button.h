#pragma once
#include "skin/Style.h"

// Push buttons: a picture per state, and the button's text on top.
class Style_button : public Style {
public:
    void LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store) override;
    void DrawElement(HDC dc, const StyledElement& element) const override;

    // The picture for the element's state: pressed or checked, hot,
    // disabled, focused (when there is a focus picture), else up.
    const Image* PictureFor(const StyledElement& element) const;

    // Pictures are not owned.
    Image* up = nullptr;        // upSkin
    Image* over = nullptr;      // overSkin
    Image* focus = nullptr;     // focusSkin
    Image* down = nullptr;      // downSkin
    Image* disabled = nullptr;  // disabledSkin
    ScaleGrid grid;             // scaleGrid
    COLORREF textColor = 0;     // textColor, 0x00BBGGRR
    uint8_t downOffset = 0;     // shift the text one pixel while pressed
};
