#pragma once
#include "ui/Tracker.h"
#include "ui/dxControl.h"

// A control whose mouse input goes to a tracker over child elements: the
// element side of every window.
class dxCompoundControl : public dxControl, public Tracker {
public:
    dxCompoundControl() = default;

    void OnEvent(const dxEvent& event) override;
};
