#include "ui/dxCompoundControl.h"

void dxCompoundControl::OnEvent(const dxEvent& event)
{
    switch (event.type) {
    case EVT_MOUSEMOVE: TrackMouseMove(event.x, event.y); break;
    case EVT_HOVER: TrackHover(); break;
    case EVT_LEAVE: TrackLeave(); break;
    case EVT_WHEEL: TrackWheel(event.x, event.y, event.data); break;
    case EVT_BUTTONDOWN: TrackButtonDown(event.x, event.y); break;
    case EVT_BUTTONUP: TrackButtonUp(event.x, event.y); break;
    case EVT_DBLCLK: TrackDoubleClick(event.x, event.y); break;
    default: break;
    }
}
