#pragma once
#include <windows.h>

// The operations through which the window procedure and the renderer reach
// a window object.
class IMessageMap {
public:
    virtual ~IMessageMap() = default;

    // Returns whether the message was handled; `result` is then the answer.
    virtual bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // className null means "DXWindow".
    virtual bool Create(HWND parent, const wchar_t* className, const wchar_t* windowName, const RECT& rect, DWORD style,
                        DWORD exStyle) = 0;
    // Called after the window's last message; the window is gone.
    virtual void OnWindowDestroyed(HWND window) = 0;
    // Gives the root elements their rectangles for the client rectangle.
    virtual void Layout(HDC dc, const RECT& client) = 0;
};
