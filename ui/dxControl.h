#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "skin/ElementState.h"
#include "skin/StyledElement.h"
#include "ui/IEventHandler.h"
#include "ui/dxElement.h"

class Style;
class dxPanel;
class dxWindowImpl;

// Element flags.
enum : uint32_t {
    FLAG_VISIBLE = 0x1,
    ALIGN_HCENTER = 0x200,
    ALIGN_VCENTER = 0x2000,
};

// The data every element shares, and the default behaviour: a control
// takes the mouse inside its rectangle and draws nothing.
class dxControl : public dxElement, public IEventHandler {
public:
    dxControl() = default;
    ~dxControl() override;

    dxControl* HitTest(int x, int y) override;
    void OnEvent(const dxEvent& event) override;
    void SetRect(HDC dc, const RECT& rect) override;
    void Paint(HDC dc, const RECT& area) override;
    bool OnSetCursor() override;
    void SetAttribute(uint32_t nameHash, const char* value) override;

    // Repaints the element in its window: the whole window when it is
    // layered or shadowed, else the element's rectangle. With relayout the
    // element is first given its rectangle again (a container places its
    // children anew). Nothing happens without a live window or a rectangle.
    void Invalidate(bool relayout = false);
    void SetVisible(bool visible);
    bool IsVisible() const { return (flags & FLAG_VISIBLE) != 0; }

    // `r` moved in by four margins: left, top, right, bottom.
    static RECT Inset(const RECT& r, const uint8_t (&margins)[4]);

    // Calls the handler registered for the id, if any.
    void Fire(ControlEvent eventId);

    // True when the element is its window's focused control.
    bool IsFocused() const;
    // What a style reads from the element when it paints it.
    virtual StyledElement Describe() const;

    // How a screen reader sees the element; role 0 keeps it hidden.
    virtual long AccessibleRole() const { return 0; }
    virtual std::wstring AccessibleName() const { return tooltip; }
    virtual std::wstring AccessibleValue() const { return std::wstring(); }

    dxWindowImpl* owner = nullptr;  // not owned
    dxPanel* parent = nullptr;      // not owned
    RECT rect = {0, 0, 0, 0};       // client coordinates of the owner
    uint32_t flags = FLAG_VISIBLE;
    uint8_t state = 0;
    std::wstring tooltip;
    int32_t id = 0;
    int32_t x = 0;  // negative: from the right edge
    int32_t y = 0;  // negative: from the bottom edge
    int32_t width = 0;
    int32_t height = 0;
    uint8_t padding[4] = {0, 0, 0, 0};  // left, top, right, bottom
    uint32_t format = 0;
    Style* style = nullptr;  // owned by the resource store
};
