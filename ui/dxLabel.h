#pragma once
#include <string>
#include "ui/dxControl.h"

// Label format bits.
enum : uint32_t {
    LABEL_CENTER = 0x1,
    LABEL_RIGHT = 0x2,
    LABEL_MULTILINE = 0x4,
};

// Text in a colour and font. Labels never take the mouse.
class dxLabel : public dxControl {
public:
    dxLabel() = default;

    dxControl* HitTest(int x, int y) override;
    void Paint(HDC dc, const RECT& area) override;
    void SetAttribute(uint32_t nameHash, const char* value) override;
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override;

    void SetText(const std::wstring& value);
    // Word-wrapped, left-aligned text that may run 20 pixels below the label.
    void SetMultiLine();

    std::wstring text;
    COLORREF color = 0;    // lowest byte red
    HFONT font = nullptr;  // null: the font selected by the renderer
};
