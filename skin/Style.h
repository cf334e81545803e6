#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>

#include "skin/IRescObject.h"
#include "skin/ScaleGrid.h"
#include "skin/StyledElement.h"

#include <vector>

#include "skin/SkinDescription.h"

class Image;
class ResourceStore;

// How one kind of element is drawn: pictures per state, how they stretch,
// text colour. Made once per style entry by the resource store and shared by
// every element that names it; it keeps no per-element state.
class Style : public IRescObject {
public:
    ~Style() override = default;

    // Takes the properties of the description; pictures are looked up in
    // `store`, which owns them.
    virtual void LoadProps(const std::vector<SkinAttribute>& props, ResourceStore& store) = 0;
    // Draws into a rectangle; only backgrounds draw anything.
    virtual void DrawRect(HDC dc, const RECT& rect, int dpi) const {}
    // Draws for an element, reading its rectangle, state, text or position.
    virtual void DrawElement(HDC dc, const StyledElement& element) const = 0;

protected:
    // Nothing for a null picture; a nine-grid when the grid has a margin;
    // otherwise the whole picture stretched into the rectangle. Above 96 DPI
    // the picture and its grid are first scaled for `dpi`.
    static void DrawImage(HDC dc, const Image* picture, const ScaleGrid& grid, const RECT& rect, int dpi);
};

// The style factory: a new style of the kind that the zero-terminated UTF-8
// description names, or null when it is not a style (also when it is not
// well-formed XML).
std::unique_ptr<Style> CreateStyle(const char* text, ResourceStore& store);
