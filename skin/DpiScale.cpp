#include "skin/DpiScale.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

GetDpiForWindowFn DpiForWindowFunction()
{
    // Looked up, never imported: Windows 7 and 8 lack it.
    static const GetDpiForWindowFn fn = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<GetDpiForWindowFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                      : nullptr;
    }();
    return fn;
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    if (!screen) return DpiScale::kBase;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

DpiScale DpiScale::FromDpi(int dpi)
{
    DpiScale s;
    // 48..480 covers 50 % to 500 %; anything else is a broken value.
    if (dpi >= 48 && dpi <= 480) s.dpi = dpi;
    return s;
}

DpiScale DpiScale::ForWindow(HWND window)
{
    if (window) {
        if (GetDpiForWindowFn fn = DpiForWindowFunction()) {
            const UINT dpi = fn(window);
            if (dpi != 0) return FromDpi(static_cast<int>(dpi));
        }
    }
    return FromDpi(ScreenDpi());
}
