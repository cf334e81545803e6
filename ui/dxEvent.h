#pragma once
#include <cstdint>

// Mouse event kinds that the window dispatches to elements.
enum : uint32_t {
    EVT_MOUSEMOVE = 1,
    EVT_HOVER = 2,
    EVT_LEAVE = 3,
    EVT_ENTER = 4,
    EVT_WHEEL = 5,
    EVT_BUTTONDOWN = 6,
    EVT_BUTTONUP = 7,
    EVT_DBLCLK = 8,
};

// The record given to dxElement::OnEvent. x and y are client coordinates,
// except for EVT_WHEEL, which carries the wheel message's screen position
// and its wParam in data.
struct dxEvent {
    uint32_t type = 0;
    int32_t x = 0;
    int32_t y = 0;
    uintptr_t data = 0;
    uint32_t reserved = 0;
};
