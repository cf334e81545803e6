#include "ui/dxDialogImpl.h"

int32_t dxDialogImpl::RunModal(HWND ownerWindow, const RECT& r)
{
    HWND ownerTop = ownerWindow;
    while (ownerTop && (GetWindowLongW(ownerTop, GWL_STYLE) & WS_CHILD)) ownerTop = GetParent(ownerTop);
    HWND root = ownerTop;
    for (HWND up = root ? GetParent(root) : nullptr; up; up = GetParent(up)) root = up;

    bool rootDisabled = false;
    bool ownerDisabled = false;
    if (root && root != ownerTop && IsWindowEnabled(root)) {
        EnableWindow(root, FALSE);
        rootDisabled = true;
    }
    if (ownerTop && ownerTop != GetDesktopWindow() && IsWindowEnabled(ownerTop)) {
        EnableWindow(ownerTop, FALSE);
        ownerDisabled = true;
    }
    auto reenable = [&] {
        if (ownerDisabled) EnableWindow(ownerTop, TRUE);
        if (rootDisabled) EnableWindow(root, TRUE);
    };

    if (!CreateHwnd(ownerWindow, nullptr, L"", r, WS_POPUP | WS_VISIBLE | WS_SYSMENU, 0)) {
        reenable();
        return -1;
    }
    HWND dialog = hwnd;
    if (windowFlags & WINDOW_LAYERED) SetWindowLongW(dialog, GWL_EXSTYLE, WS_EX_LAYERED);

    NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, dialog, OBJID_WINDOW, CHILDID_SELF);
    if (focusElement) NotifyElement(EVENT_OBJECT_FOCUS, focusElement);

    implFlags |= RUNNING_MODAL;
    MSG msg;
    // hwnd turns null when the window is destroyed another way (Alt+F4 and
    // the default WM_CLOSE handling): the run ends with the current result.
    while ((implFlags & RUNNING_MODAL) && hwnd) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The quit belongs to the thread's outer loop: end the run and
            // hand it on, or the program would never leave that loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_CLOSE && msg.hwnd == dialog) break;
    }
    implFlags &= ~RUNNING_MODAL;

    // The owner is enabled before the dialog is hidden: hiding the active
    // window while its owner is still disabled would hand the activation to
    // some other application.
    reenable();
    if (hwnd)
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    if (ownerTop) {
        HWND active = GetActiveWindow();
        // No active window is left when the dialog was destroyed while active.
        if (active == dialog || active == nullptr) SetActiveWindow(ownerTop);
    }
    NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, dialog, OBJID_WINDOW, CHILDID_SELF);
    if (hwnd && DestroyWindow(hwnd)) hwnd = nullptr;
    return result;
}

void dxDialogImpl::EndModal(int32_t value)
{
    if (implFlags & RUNNING_MODAL) {
        implFlags &= ~RUNNING_MODAL;
        if (hwnd) PostMessageW(hwnd, WM_NULL, 0, 0);
    }
    result = value;
}
