#pragma once
#include <cstdint>
#include <memory>
#include <vector>

class dxControl;

// Dispatches a window's mouse input to its elements: hover with enter and
// leave, press with capture, release, double click, wheel and the hover
// tooltip.
class Tracker {
public:
    Tracker() = default;
    virtual ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // The first control hit among the visible root elements, or null.
    dxControl* Hit(int x, int y) const;

    void TrackMouseMove(int x, int y);
    // Returns the control that took the press, or null when it landed on
    // no element.
    dxControl* TrackButtonDown(int x, int y);
    void TrackButtonUp(int x, int y);
    void TrackDoubleClick(int x, int y);
    void TrackHover();
    void TrackLeave();
    // x and y are the wheel message's screen position.
    void TrackWheel(int x, int y, uintptr_t data);

    // Root elements, owned; null entries stand for a description without
    // elements and are skipped.
    std::vector<std::unique_ptr<dxControl>> children;
    dxControl* hovered = nullptr;
    dxControl* pressed = nullptr;

protected:
    // Destroys the root elements in list order and forgets hover and press.
    void DestroyChildren();
};
