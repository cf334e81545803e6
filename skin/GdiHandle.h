#pragma once
#include "platform/UniqueAny.h"

// A GDI object (bitmap, font, brush, pen, region). It must not be selected
// into a device context when its owner closes it.
template <class H>
struct GdiObjectTraits : NullHandleTraits<H> {
    static void Close(H h) { DeleteObject(h); }
};
template <class H>
using GdiHandle = UniqueAny<GdiObjectTraits<H>>;

// A memory device context from CreateCompatibleDC.
struct MemoryDCTraits : NullHandleTraits<HDC> {
    static void Close(HDC dc) { DeleteDC(dc); }
};
using UniqueDC = UniqueAny<MemoryDCTraits>;

// A window's device context from GetDC, given back with ReleaseDC.
struct WindowDCRef {
    HWND window;
    HDC dc;
};
struct WindowDCTraits {
    using Handle = WindowDCRef;
    static constexpr WindowDCRef Invalid() { return {nullptr, nullptr}; }
    static bool IsValid(const WindowDCRef& h) { return h.dc != nullptr; }
    static void Close(const WindowDCRef& h) { ReleaseDC(h.window, h.dc); }
};
using WindowDC = UniqueAny<WindowDCTraits>;

// The device context of a window (null: the screen) until the owner goes.
inline WindowDC AcquireWindowDC(HWND window) { return WindowDC({window, GetDC(window)}); }
