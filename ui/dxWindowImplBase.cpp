#include "ui/dxWindowImplBase.h"
#include <windowsx.h>
#include <algorithm>
#include <oleacc.h>
#include "skin/GdiHandle.h"
#include "skin/HashName.h"
#include "skin/ResourceStore.h"
#include "skin/SkinValue.h"
#include "skin/Style.h"
#include "ui/AccessibleWindow.h"
#include "ui/dxButton.h"
#include "ui/dxPanel.h"

namespace {

const wchar_t kObjectProperty[] = L"dxwptr";
const UINT kReflectedCommand = 0x2111;  // WM_COMMAND reflected to the control
const WPARAM kMoveWithMouse = SC_MOVE | HTCAPTION;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

void CollectExposed(const std::vector<std::unique_ptr<dxControl>>& list, std::vector<dxControl*>& out)
{
    for (const auto& child : list) {
        if (!child || !child->IsVisible()) continue;
        if (child->AccessibleRole() != 0) out.push_back(child.get());
        if (auto* panel = dynamic_cast<dxPanel*>(child.get())) CollectExposed(panel->children, out);
    }
}

}  // namespace

const wchar_t* const dxWindowImplBase::ClassName = L"DXWindow";

dxWindowImplBase::dxWindowImplBase() : renderer(this) {}

dxWindowImplBase::~dxWindowImplBase()
{
    if (accessible_) {
        accessible_->Disconnect();
        accessible_->Release();
    }
    focusElement = nullptr;
    DestroyChildren();
}

bool dxWindowImplBase::CreateHwnd(HWND parent, const wchar_t* className, const wchar_t* windowName, const RECT& r,
                                  DWORD style, DWORD exStyle)
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (!className) className = ClassName;
    WNDCLASSEXW info = {sizeof(info)};
    if (!GetClassInfoExW(module, className, &info)) {
        WNDCLASSEXW wc = {sizeof(wc)};
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = module;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc)) {
            hwnd = nullptr;
            return false;
        }
    }
    hwnd = nullptr;
    HWND created = CreateWindowExW(exStyle, className, windowName, style, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, parent, nullptr, module, static_cast<dxWindowImplBase*>(this));
    // WM_NCCREATE has stored the handle. A creation that fails after it has
    // already called OnWindowDestroyed, which may have deleted this object,
    // so nothing here touches it again.
    return created != nullptr;
}

LRESULT CALLBACK dxWindowImplBase::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    dxWindowImplBase* self = nullptr;
    if (message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        self = static_cast<dxWindowImplBase*>(cs->lpCreateParams);
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        SetPropW(window, kObjectProperty, self);
        self->hwnd = window;
        self->dpi = DpiScale::ForWindow(window);
    } else {
        self = static_cast<dxWindowImplBase*>(GetPropW(window, kObjectProperty));
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            LRESULT result = CallWindowProcW(self->defaultProc, window, message, wParam, lParam);
            RemovePropW(window, kObjectProperty);
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->defaultProc));
            // The child windows (the tooltip) are gone with it; a dead handle
            // must not be used again, even if the system reuses its value.
            self->tooltipWindow = nullptr;
            // A screen reader may still hold the object: it answers "gone" now.
            if (self->accessible_) {
                // The stubs of remote clients let go of it too.
                CoDisconnectObject(self->accessible_, 0);
                self->accessible_->Disconnect();
                self->accessible_->Release();
                self->accessible_ = nullptr;
            }
            self->hwnd = nullptr;
            // The object may delete itself here: nothing touches it afterwards.
            self->OnWindowDestroyed(window);
            return result;
        }
    }
    LRESULT result = 0;
    if (self->OnWindowMessage(message, wParam, lParam, result)) return result;
    return CallWindowProcW(self->defaultProc, window, message, wParam, lParam);
}

bool dxWindowImplBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    auto byDefault = [&] { return CallWindowProcW(defaultProc, hwnd, message, wParam, lParam); };

    switch (message) {
    case WM_CREATE:
        CreateTooltip();
        result = byDefault();
        return true;
    case WM_SIZE:
        OnSize(wParam, LOWORD(lParam), HIWORD(lParam));
        result = byDefault();
        return true;
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        result = 0;
        return true;
    case WM_PAINT:
        renderer.OnPaint();
        result = 0;
        return true;
    case WM_ERASEBKGND: result = 1; return true;
    case WM_GETOBJECT: result = OnGetObject(wParam, lParam); return true;
    case kPressElement: {
        const std::vector<dxControl*> elements = AccessibleElements();
        const size_t index = static_cast<size_t>(wParam);
        if (index >= 1 && index <= elements.size() && elements[index - 1]->AccessibleRole() == ROLE_SYSTEM_PUSHBUTTON &&
            !(elements[index - 1]->state & STATE_DISABLED))
            elements[index - 1]->Fire(ControlEvent::Click);
        result = 0;
        return true;
    }
    case WM_SETCURSOR:
        if (hovered && hovered->OnSetCursor()) {
            result = 1;
            return true;
        }
        result = byDefault();
        return true;
    case WM_COMMAND:
        if (lParam != 0)
            result = SendMessageW(reinterpret_cast<HWND>(lParam), kReflectedCommand, wParam, lParam);
        else
            result = byDefault();
        return true;
    case WM_NCCALCSIZE:
        result = 0;  // the whole window is client area
        return true;
    case WM_MOUSEMOVE:
        TrackMouseMove(x, y);
        result = byDefault();
        return true;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        // Only a press on the background drags the window: the system's move
        // loop would swallow the release that a button needs for its click.
        if (!TrackButtonDown(x, y)) PostMessageW(hwnd, WM_SYSCOMMAND, kMoveWithMouse, 0);
        result = byDefault();
        return true;
    case WM_LBUTTONUP:
        result = byDefault();
        if (pressed) {
            ReleaseCapture();
            TrackButtonUp(x, y);
        }
        return true;
    case WM_LBUTTONDBLCLK:
        TrackDoubleClick(x, y);
        result = byDefault();
        return true;
    case WM_MOUSEWHEEL:
        if (hovered) TrackWheel(x, y, wParam);
        result = byDefault();
        return true;
    case WM_MOUSEHOVER:
        TrackHover();
        result = byDefault();
        return true;
    case WM_MOUSELEAVE:
        TrackLeave();
        result = byDefault();
        return true;
    default: result = byDefault(); return true;
    }
}

void dxWindowImplBase::OnSize(WPARAM kind, int width, int height)
{
    if (roundCorner[0] != 0 && roundCorner[1] != 0) {
        GdiHandle<HRGN> region(
            CreateRoundRectRgn(0, 0, width + 1, height + 1, dpi.Scale(roundCorner[0]), dpi.Scale(roundCorner[1])));
        // The system owns the region once it is set.
        if (region && SetWindowRgn(hwnd, region.Get(), TRUE)) static_cast<void>(region.Release());
    } else if (kind != SIZE_MINIMIZED) {
        // A minimised window reports an empty client area; sizing it to that
        // would lose its real size.
        SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void dxWindowImplBase::OnDpiChanged(int newDpi, const RECT* suggested)
{
    dpi = DpiScale::FromDpi(newDpi);
    if (suggested) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The size may be the same at another DPI: lay out again regardless.
    RECT client{};
    GetClientRect(hwnd, &client);
    Layout(nullptr, client);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void dxWindowImplBase::CreateTooltip()
{
    if (tooltipWindow) return;
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_TAB_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)registered;
    HINSTANCE module = GetModuleHandleW(nullptr);
    tooltipWindow = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr, module, nullptr);
    if (!tooltipWindow) return;
    toolInfo = {};
    toolInfo.cbSize = TTTOOLINFOW_V2_SIZE;
    toolInfo.uFlags = TTF_IDISHWND;
    toolInfo.hwnd = hwnd;
    toolInfo.uId = reinterpret_cast<UINT_PTR>(hwnd);
    toolInfo.hinst = module;
    toolInfo.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltipWindow, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&toolInfo));
    SendMessageW(tooltipWindow, TTM_SETMAXTIPWIDTH, 0, 200);
}

void dxWindowImplBase::ShowTooltip(const std::wstring& text)
{
    if (!tooltipWindow || text.empty()) return;
    // The tooltip copies the text when it is updated.
    toolInfo.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tooltipWindow, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&toolInfo));
    SendMessageW(tooltipWindow, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&toolInfo));
}

void dxWindowImplBase::HideTooltip()
{
    if (!tooltipWindow) return;
    SendMessageW(tooltipWindow, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&toolInfo));
}

void dxWindowImplBase::SetFocusElement(dxControl* control)
{
    if (control == focusElement) return;
    if (dxControl* previous = focusElement) previous->Invalidate(true);
    focusElement = control;
    if (control) {
        control->Invalidate();
        NotifyElement(EVENT_OBJECT_FOCUS, control);
    }
}

bool dxWindowImplBase::HandleNavigationKey(WPARAM key)
{
    std::vector<dxButton*> buttons;
    for (dxControl* element : AccessibleElements()) {
        auto* button = dynamic_cast<dxButton*>(element);
        if (button && !(button->state & STATE_DISABLED)) buttons.push_back(button);
    }
    if (buttons.empty()) return false;
    // Reading order on screen, whatever the description's order.
    std::stable_sort(buttons.begin(), buttons.end(), [](const dxButton* a, const dxButton* b) {
        return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
    });
    size_t current = 0;
    bool found = false;
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i] == focusElement) {
            current = i;
            found = true;
        }
    }
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    int step = 0;
    switch (key) {
    case VK_TAB: step = shift ? -1 : 1; break;
    case VK_RIGHT:
    case VK_DOWN: step = 1; break;
    case VK_LEFT:
    case VK_UP: step = -1; break;
    case VK_RETURN:
    case VK_SPACE:
        if (!found) return false;
        buttons[current]->Fire(ControlEvent::Click);
        return true;
    default: return false;
    }
    const size_t n = buttons.size();
    const size_t next = !found ? 0 : (current + n + static_cast<size_t>(step + static_cast<int>(n))) % n;
    keyboardCues = true;
    SetFocusElement(buttons[next]);
    buttons[next]->Invalidate();
    return true;
}

std::vector<dxControl*> dxWindowImplBase::AccessibleElements() const
{
    std::vector<dxControl*> out;
    CollectExposed(children, out);
    return out;
}

RECT dxWindowImplBase::ElementScreenRect(const RECT& layout) const
{
    RECT r = layout;
    if (hwnd) MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void dxWindowImplBase::NotifyElement(DWORD event, const dxControl* control) const
{
    if (!hwnd) return;
    LONG child = CHILDID_SELF;
    if (control) {
        const std::vector<dxControl*> elements = AccessibleElements();
        for (size_t i = 0; i < elements.size(); ++i) {
            if (elements[i] == control) child = static_cast<LONG>(i + 1);
        }
        if (child == CHILDID_SELF) return;
    }
    NotifyWinEvent(event, hwnd, OBJID_CLIENT, child);
}

long dxWindowImplBase::AccessibleRole() const { return ROLE_SYSTEM_CLIENT; }

std::wstring dxWindowImplBase::AccessibleName() const
{
    wchar_t text[256] = L"";
    if (hwnd) GetWindowTextW(hwnd, text, 256);
    return text;
}

LRESULT dxWindowImplBase::OnGetObject(WPARAM flags, LPARAM objectId)
{
    // The id is a 32-bit value, sign-extended on 64-bit systems.
    if (static_cast<LONG>(objectId) != static_cast<LONG>(OBJID_CLIENT))
        return CallWindowProcW(defaultProc, hwnd, WM_GETOBJECT, flags, objectId);
    if (!accessible_) accessible_ = new AccessibleWindow(this);
    return LresultFromObject(IID_IAccessible, flags, accessible_);
}

void dxWindowImplBase::Paint(HDC dc, const RECT& area)
{
    GdiHandle<HRGN> clip(CreateRectRgnIndirect(&area));
    if (clip) ExtSelectClipRgn(dc, clip.Get(), RGN_AND);
    if (background) background->DrawRect(dc, rect, dpi.dpi);
    for (auto& child : children) {
        if (!child) continue;
        RECT overlap;
        if (IntersectRect(&overlap, &child->rect, &area)) child->Paint(dc, area);
    }
    ExtSelectClipRgn(dc, nullptr, RGN_COPY);
}

HFONT dxWindowImplBase::DefaultFont() const
{
    ResourceStore* store = ResourceStore::Instance();
    return store ? store->ScaledFont(store->font12(), dpi.dpi) : nullptr;
}

void dxWindowImplBase::SetAttribute(uint32_t nameHash, const char* value)
{
    if (!value) value = "";
    switch (nameHash) {
    case HashName("initSize"): {
        int32_t size[2] = {0, 0};
        ParseIntList(value, size, 2);
        initSize.cx = size[0];
        initSize.cy = size[1];
        break;
    }
    case HashName("style"): {
        ResourceStore* store = ResourceStore::Instance();
        background = store ? store->GetStyle(value) : nullptr;
        break;
    }
    case HashName("layered"):
        if (strcmp(value, "1") == 0) windowFlags |= WINDOW_LAYERED;
        break;
    case HashName("shadowRect"): {
        int32_t margins[4] = {0, 0, 0, 0};
        ParseIntList(value, margins, 4);
        windowFlags |= WINDOW_SHADOW;
        shadowRect = {margins[0], margins[1], margins[2], margins[3]};
        break;
    }
    case HashName("border"): ParseByteList(value, border, 4); break;
    case HashName("roundCorner"): ParseByteList(value, roundCorner, 2); break;
    default: break;
    }
}
