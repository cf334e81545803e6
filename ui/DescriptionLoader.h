#pragma once
#include <memory>
#include <vector>

#include "skin/SkinDescription.h"
#include "ui/dxControl.h"

class dxWindowImpl;

// Builds windows from the XML descriptions of the skin archive: the Window
// node's attributes set up the window, its first recognised child becomes
// the root of the element tree.
class DescriptionLoader {
public:
    // Containers nest at most this deep, the root container included.
    static const int MaxDepth = WindowDescription::kMaxDepth;

    // Builds the named description into a window whose handle exists (during
    // WM_CREATE), then drops the caption, applies the initial size and
    // centres the window. A description that is missing or broken leaves the
    // window without elements. Always true.
    static bool LoadDescription(dxWindowImpl* window, const char* name);

    // Applies the description to the window; true when it was read and its
    // root is Window.
    static bool BuildWindow(const char* name, dxWindowImpl* window);

    // The element tree of a description's root element (and, for a
    // container, everything inside it).
    static std::unique_ptr<dxControl> BuildElements(const SkinElement& description, dxWindowImpl* window);

    // Applies the non-empty attributes to an element, in document order.
    static void ApplyAttributes(dxControl* element, const std::vector<SkinAttribute>& attributes);
};
