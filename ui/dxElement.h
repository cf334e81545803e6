#pragma once
#include <windows.h>
#include <cstdint>
#include "ui/dxEvent.h"

class dxControl;

// An element of a window's tree: it is placed, painted, hit-tested and
// given mouse events by its window.
class dxElement {
public:
    dxElement() = default;
    virtual ~dxElement() = default;
    dxElement(const dxElement&) = delete;
    dxElement& operator=(const dxElement&) = delete;

    // The control that takes the mouse at the client point, or null.
    virtual dxControl* HitTest(int x, int y) = 0;
    virtual void OnEvent(const dxEvent& event) = 0;
    // The device context is passed down unchanged; no element draws here.
    virtual void SetRect(HDC dc, const RECT& rect) = 0;
    virtual void Paint(HDC dc, const RECT& area) = 0;
    // True when the element has set the mouse cursor itself.
    virtual bool OnSetCursor() = 0;
    // One description attribute that the common names did not take.
    virtual void SetAttribute(uint32_t nameHash, const char* value) = 0;
};
