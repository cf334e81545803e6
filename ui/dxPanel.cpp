#include "ui/dxPanel.h"

dxPanel::~dxPanel()
{
    for (auto& child : children) child.reset();
}

dxControl* dxPanel::AddChild(std::unique_ptr<dxControl> child)
{
    if (!child) return nullptr;
    child->parent = this;
    children.push_back(std::move(child));
    return children.back().get();
}
