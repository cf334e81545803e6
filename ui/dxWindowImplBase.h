#pragma once
#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/DpiScale.h"
#include "skin/IRenderHost.h"
#include "skin/Renderer.h"
#include "ui/dxCompoundControl.h"
#include "ui/dxWindowImplRoot.h"

class AccessibleWindow;
class Style;

// Window flags set by a window description.
enum : uint32_t {
    WINDOW_LAYERED = 0x1000,
    WINDOW_SHADOW = 0x2000,
};

// A top-level window that owns an element tree: it makes the whole window
// client area, paints through its renderer, routes mouse input to its
// elements and shows their tooltips.
class dxWindowImplBase : public dxWindowImplRoot, public dxCompoundControl, public IRenderHost {
public:
    dxWindowImplBase();
    ~dxWindowImplBase() override;

    // The message handling shared by every window; always handled.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Registers the class when needed and creates the window with this
    // object bound to it. className null means "DXWindow".
    bool CreateHwnd(HWND parent, const wchar_t* className, const wchar_t* windowName, const RECT& rect, DWORD style,
                    DWORD exStyle);

    // Makes `control` the focused control, repainting the one before.
    void SetFocusElement(dxControl* control);

    // Keyboard navigation among the visible, enabled buttons: Tab, Shift+Tab
    // and the arrows move the focus, Enter and Space press the focused one.
    // False for any other key.
    bool HandleNavigationKey(WPARAM key);

    // The elements a screen reader sees, in tree order; child id = index + 1.
    std::vector<dxControl*> AccessibleElements() const;
    // Where an element's layout rectangle lies on the screen.
    RECT ElementScreenRect(const RECT& layout) const;
    // Raises a WinEvent for the element (the window itself when null).
    void NotifyElement(DWORD event, const dxControl* control) const;
    long AccessibleRole() const override;
    std::wstring AccessibleName() const override;
    virtual std::wstring AccessibleDescription() const { return std::wstring(); }
    // Posted with a child id: press that button as a click would.
    static const UINT kPressElement = WM_USER + 0x220;

    void ShowTooltip(const std::wstring& text);
    void HideTooltip();

    // Element side: paints the background and the root elements clipped to
    // the area; takes the attributes of a description's Window node.
    void Paint(HDC dc, const RECT& area) override;
    void SetAttribute(uint32_t nameHash, const char* value) override;

    // IRenderHost
    HWND RenderWindow() const override { return hwnd; }
    bool IsLayered() const override { return (windowFlags & WINDOW_LAYERED) != 0; }
    RECT ShadowMargins() const override { return dpi.Scale(shadowRect); }
    void LayoutFor(HDC dc, const RECT& client) override { Layout(dc, client); }
    void PaintAll(HDC dc, const RECT& area) override { Paint(dc, area); }
    HFONT DefaultFont() const override;

    static const wchar_t* const ClassName;  // "DXWindow"

    WNDPROC defaultProc = DefWindowProcW;
    Renderer renderer;
    SIZE initSize = {0, 0};            // 0 keeps the size
    uint8_t border[4] = {0, 0, 0, 0};  // left, top, right, bottom
    uint8_t roundCorner[2] = {0, 0};   // corner ellipse width, height
    RECT shadowRect = {0, 0, 0, 0};    // shadow band margins
    HWND tooltipWindow = nullptr;      // destroyed with this window
    TOOLINFOW toolInfo = {};
    uint32_t windowFlags = 0;
    Style* background = nullptr;  // owned by the resource store
    dxControl* focusElement = nullptr;
    // The keyboard has been used here: the focused button shows it.
    bool keyboardCues = false;
    // The window's DPI: layout sizes above are at 96 DPI, element rectangles
    // are in device pixels at this one.
    DpiScale dpi;

protected:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void CreateTooltip();
    void OnSize(WPARAM kind, int width, int height);
    LRESULT OnGetObject(WPARAM flags, LPARAM objectId);
    void OnDpiChanged(int newDpi, const RECT* suggested);

    AccessibleWindow* accessible_ = nullptr;  // one reference, dropped with the window
};
