#include "ui/Tracker.h"
#include <windows.h>
#include "ui/dxControl.h"
#include "ui/dxWindowImpl.h"

namespace {

void Send(dxControl* target, MouseEvent type, int x = 0, int y = 0, uintptr_t data = 0)
{
    dxEvent event;
    event.type = type;
    event.x = x;
    event.y = y;
    event.data = data;
    target->OnEvent(event);
}

void HideTooltip(dxControl* element)
{
    if (element->owner) element->owner->HideTooltip();
}

}  // namespace

Tracker::~Tracker() { DestroyChildren(); }

void Tracker::DestroyChildren()
{
    hovered = nullptr;
    pressed = nullptr;
    for (auto& child : children) child.reset();
    children.clear();
}

dxControl* Tracker::Hit(int x, int y) const
{
    for (const auto& child : children) {
        if (!child || !child->IsVisible()) continue;
        if (dxControl* hit = child->HitTest(x, y)) return hit;
    }
    return nullptr;
}

void Tracker::TrackMouseMove(int x, int y)
{
    // A pressed control holding the capture gets every move, wherever it goes.
    if (pressed && (pressed->state & STATE_CAPTURED)) {
        Send(pressed, MouseEvent::Move, x, y);
        return;
    }
    if (children.empty()) return;
    dxControl* hit = Hit(x, y);
    if (hit != hovered) {
        if (dxControl* previous = hovered) {
            HideTooltip(previous);
            Send(previous, MouseEvent::Leave);
        }
        if (hit) {
            if (hit->owner && hit->owner->hwnd) {
                TRACKMOUSEEVENT tme = {sizeof(tme), TME_HOVER | TME_LEAVE, hit->owner->hwnd, 500};
                TrackMouseEvent(&tme);
            }
            Send(hit, MouseEvent::Enter, x, y);
        }
        hovered = hit;
    }
    if (hit) Send(hit, MouseEvent::Move, x, y);
}

dxControl* Tracker::TrackButtonDown(int x, int y)
{
    dxControl* hit = Hit(x, y);
    if (!hit) return nullptr;
    HideTooltip(hit);
    pressed = hit;
    if (hit->owner && hit->owner->hwnd && !(hit->state & STATE_CAPTURED)) {
        SetCapture(hit->owner->hwnd);
        hit->state |= STATE_CAPTURED;
    }
    Send(hit, MouseEvent::ButtonDown, x, y);
    return hit;
}

void Tracker::TrackButtonUp(int x, int y)
{
    dxControl* target = pressed;
    if (!target) return;
    if (target->state & STATE_CAPTURED) {
        target->state &= ~STATE_CAPTURED;
        ReleaseCapture();
    }
    // Forget the press before the click runs: its handler may start a
    // nested message loop that delivers more input here.
    pressed = nullptr;
    Send(target, MouseEvent::ButtonUp, x, y);
    TrackMouseMove(x, y);
}

void Tracker::TrackDoubleClick(int x, int y)
{
    dxControl* hit = Hit(x, y);
    if (!hit) return;
    pressed = hit;
    Send(hit, MouseEvent::DoubleClick, x, y);
}

void Tracker::TrackHover()
{
    dxControl* target = hovered;
    if (!target) return;
    if (target->owner && !target->tooltip.empty()) target->owner->ShowTooltip(target->tooltip);
    Send(target, MouseEvent::Hover);
}

void Tracker::TrackLeave()
{
    dxControl* target = hovered;
    if (!target) return;
    HideTooltip(target);
    hovered = nullptr;
    Send(target, MouseEvent::Leave);
}

void Tracker::TrackWheel(int x, int y, uintptr_t data)
{
    if (hovered) Send(hovered, MouseEvent::Wheel, x, y, data);
}
