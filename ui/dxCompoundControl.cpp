#include "ui/dxCompoundControl.h"

void dxCompoundControl::OnEvent(const dxEvent& event)
{
    switch (event.type) {
    case MouseEvent::Move: TrackMouseMove(event.x, event.y); break;
    case MouseEvent::Hover: TrackHover(); break;
    case MouseEvent::Leave: TrackLeave(); break;
    case MouseEvent::Wheel: TrackWheel(event.x, event.y, event.data); break;
    case MouseEvent::ButtonDown: TrackButtonDown(event.x, event.y); break;
    case MouseEvent::ButtonUp: TrackButtonUp(event.x, event.y); break;
    case MouseEvent::DoubleClick: TrackDoubleClick(event.x, event.y); break;
    default: break;
    }
}
