#pragma once
#include <string>
#include "ui/dxControl.h"

// A push button drawn by a button style (the store's default "button" style
// when it names none). A press and a release inside fire ControlEvent::Click.
class dxButton : public dxControl {
public:
    dxButton() = default;

    void OnEvent(const dxEvent& event) override;
    void Paint(HDC dc, const RECT& area) override;
    void SetAttribute(uint32_t nameHash, const char* value) override;
    StyledElement Describe() const override;
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override;

    void SetText(const std::wstring& value);

    std::wstring text;
    HFONT font = nullptr;  // null: the font selected by the renderer

private:
    void DrawFocusOutline() const;
};
