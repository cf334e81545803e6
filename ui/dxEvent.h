#pragma once
#include <cstdint>

// Mouse event kinds that the window dispatches to elements.
enum class MouseEvent : uint32_t {
    Move = 1,
    Hover,
    Leave,
    Enter,
    Wheel,
    ButtonDown,
    ButtonUp,
    DoubleClick,
};

// The record given to dxElement::OnEvent. x and y are client coordinates,
// except for MouseEvent::Wheel, which carries the wheel message's screen position
// and its wParam in data.
struct dxEvent {
    MouseEvent type{};
    int32_t x = 0;
    int32_t y = 0;
    uintptr_t data = 0;
    uint32_t reserved = 0;
};
