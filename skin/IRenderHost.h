#pragma once
#include <windows.h>

// What the renderer needs from the window that it paints: implemented by the
// window implementation that owns the Renderer.
class IRenderHost {
public:
    // The window to paint; it has WS_EX_LAYERED when IsLayered is true.
    virtual HWND RenderWindow() const = 0;
    // Only layered windows are painted by the renderer.
    virtual bool IsLayered() const = 0;
    // The drawn shadow band (left, top, right, bottom margins) whose alpha
    // comes from the pictures; all 0 without a shadow.
    virtual RECT ShadowMargins() const = 0;
    // Gives the elements their rectangles for the client rectangle; called
    // when a back buffer is made.
    virtual void LayoutFor(HDC dc, const RECT& client) = 0;
    // Paints the window's background and elements into `dc` for `area`.
    virtual void PaintAll(HDC dc, const RECT& area) = 0;
    // Selected before PaintAll, for text whose element names no font; null
    // keeps the context's own.
    virtual HFONT DefaultFont() const = 0;

protected:
    ~IRenderHost() = default;
};
