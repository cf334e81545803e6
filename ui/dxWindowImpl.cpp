#include "ui/dxWindowImpl.h"
#include "ui/DescriptionLoader.h"

dxWindowImpl::~dxWindowImpl()
{
    idMap.clear();
    focusElement = nullptr;
    DestroyChildren();
}

bool dxWindowImpl::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_NCHITTEST:
        // Never let the system drag or size the window by a frame.
        result = HTCLIENT;
        return true;
    case WM_NCACTIVATE:
        if (!IsIconic(hwnd)) {
            result = wParam == 0 ? 1 : 0;
            return true;
        }
        return HandleMessage(message, wParam, lParam, result);
    case WM_CREATE:
    case WM_GETMINMAXINFO: result = 0; return HandleMessage(message, wParam, lParam, result);
    default: return HandleMessage(message, wParam, lParam, result);
    }
}

bool dxWindowImpl::Create(HWND parent, const wchar_t* className, const wchar_t* windowName, const RECT& r, DWORD style,
                          DWORD exStyle)
{
    if (!CreateHwnd(parent, className, windowName, r, style, exStyle)) return false;
    if (windowFlags & WINDOW_LAYERED) SetWindowLongW(hwnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    return true;
}

void dxWindowImpl::OnWindowDestroyed(HWND) {}

void dxWindowImpl::Layout(HDC dc, const RECT& client)
{
    rect = client;
    const uint8_t* b = border;
    const RECT inner = {client.left + dpi.Scale(b[0]), client.top + dpi.Scale(b[1]), client.right - dpi.Scale(b[2]),
                        client.bottom - dpi.Scale(b[3])};
    for (auto& child : children) {
        if (child) child->SetRect(dc, inner);
    }
}

bool dxWindowImpl::LoadDescription(const char* name) { return DescriptionLoader::LoadDescription(this, name); }

dxControl* dxWindowImpl::FindElement(int32_t elementId) const
{
    auto it = idMap.find(elementId);
    return it == idMap.end() ? nullptr : it->second;
}

void dxWindowImpl::CenterOnOwner()
{
    if (!hwnd) return;
    const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    HWND reference = (style & WS_CHILD) ? GetParent(hwnd) : GetWindow(hwnd, GW_OWNER);
    RECT self;
    GetWindowRect(hwnd, &self);
    const int w = self.right - self.left;
    const int h = self.bottom - self.top;

    RECT bounds;
    RECT ref;
    if (style & WS_CHILD) {
        HWND parentWindow = GetParent(hwnd);
        GetClientRect(parentWindow, &bounds);
        GetClientRect(reference, &ref);
        MapWindowPoints(reference, parentWindow, reinterpret_cast<POINT*>(&ref), 2);
    } else {
        if (reference) {
            const LONG refStyle = GetWindowLongW(reference, GWL_STYLE);
            if (!(refStyle & WS_VISIBLE) || (refStyle & WS_MINIMIZE)) reference = nullptr;
        }
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &bounds, 0);
        if (reference)
            GetWindowRect(reference, &ref);
        else
            ref = bounds;
    }

    int x = (ref.left + ref.right) / 2 - w / 2;
    int y = (ref.top + ref.bottom) / 2 - h / 2;
    if (x < bounds.left)
        x = bounds.left;
    else if (x + w > bounds.right)
        x = bounds.right - w;
    if (y < bounds.top)
        y = bounds.top;
    else if (y + h > bounds.bottom)
        y = bounds.bottom - h;
    SetWindowPos(hwnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
