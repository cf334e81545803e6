#pragma once
#include <windows.h>
#include <cstdint>

// Maps the skin's layout, given in pixels at 96 DPI, to the device pixels of
// a window at its DPI. Every element rectangle, margin, font height and
// picture size goes through here, so 96 DPI stays exactly as laid out.
struct DpiScale {
    static constexpr int kBase = 96;
    int dpi = kBase;

    bool IsIdentity() const { return dpi == kBase; }
    int Scale(int value) const { return IsIdentity() ? value : MulDiv(value, dpi, kBase); }
    // Each edge is scaled on its own, so that neighbouring elements still meet.
    RECT Scale(const RECT& r) const { return RECT{Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom)}; }
    // Device pixels back to layout pixels.
    int Unscale(int value) const { return IsIdentity() ? value : MulDiv(value, kBase, dpi); }

    // The window's DPI: GetDpiForWindow where the system has it (Windows 10
    // 1607), else the screen's LOGPIXELSX. A null window gives the screen's.
    static DpiScale ForWindow(HWND window);
    // Keeps a value from WM_DPICHANGED or the system inside sane bounds.
    static DpiScale FromDpi(int dpi);
};
