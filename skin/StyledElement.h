#pragma once
#include <windows.h>
#include <cstdint>

// What a style reads from an element when it paints it. The element fills one
// in at each paint; the style keeps nothing of it.
struct StyledElement {
    RECT rect{};                    // client coordinates of the owner window
    uint8_t state = 0;              // STATE_* bits (ElementState.h)
    bool focused = false;           // the element is its window's focusElement
    const wchar_t* text = nullptr;  // button text; null or empty draws none
    HFONT font = nullptr;           // the element's own font; null keeps the selected one
    int32_t range = 0;              // progress controls
    int32_t pos = 0;
    int dpi = 96;  // the window's; the rectangle is already in its device pixels
};
