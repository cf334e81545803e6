#pragma once
#include <memory>
#include <vector>
#include "ui/dxControl.h"

// A control that owns an ordered list of children. List order is paint
// order; hit testing runs the other way, so a later child lies on top.
class dxPanel : public dxControl {
public:
    dxPanel() = default;
    // Destroys the children in list order.
    ~dxPanel() override;

    // Takes ownership, makes this panel the child's parent and returns it.
    dxControl* AddChild(std::unique_ptr<dxControl> child);

    std::vector<std::unique_ptr<dxControl>> children;
};
