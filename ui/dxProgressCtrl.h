#pragma once
#include <string>
#include "ui/dxControl.h"

// A progress bar drawn by a progress style from range and pos.
class dxProgressCtrl : public dxControl {
public:
    dxProgressCtrl() = default;

    void Paint(HDC dc, const RECT& area) override;
    StyledElement Describe() const override;
    long AccessibleRole() const override;
    std::wstring AccessibleValue() const override;

    // Repaints only when the position changes.
    void SetPos(int32_t value);

    int32_t range = 0;  // set by the owner
    int32_t pos = 0;
};
