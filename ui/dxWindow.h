#pragma once
#include <windows.h>

// A window handle; null while there is no window.
class dxWindow {
public:
    HWND hwnd = nullptr;
};
