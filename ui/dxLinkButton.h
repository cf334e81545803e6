#pragma once
#include "ui/dxButton.h"

// A text-only button: white underlined text and the hand cursor. It clicks
// like a button; hover and press do not change its look.
class dxLinkButton : public dxButton {
public:
    dxLinkButton() = default;

    void Paint(HDC dc, const RECT& area) override;
    bool OnSetCursor() override;
};
