#include "ui/AccessibleWindow.h"
#include <string>
#include <vector>
#include "ui/dxControl.h"
#include "ui/dxWindowImplBase.h"

namespace {

HRESULT ToBstr(const std::wstring& text, BSTR* out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetI4(VARIANT* v, long value)
{
    v->vt = VT_I4;
    v->lVal = value;
}

}  // namespace

AccessibleWindow::AccessibleWindow(dxWindowImplBase* window) : window_(window), hwnd_(window->hwnd) {}

AccessibleWindow::~AccessibleWindow() { Disconnect(); }

void AccessibleWindow::Disconnect()
{
    window_ = nullptr;
    if (standard_) standard_->Release();
    standard_ = nullptr;
}

IAccessible* AccessibleWindow::Standard()
{
    if (!standard_ && window_)
        CreateStdAccessibleObject(hwnd_, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard_));
    return standard_;
}

HRESULT AccessibleWindow::Resolve(const VARIANT& child, dxControl** control) const
{
    *control = nullptr;
    if (!window_) return RPC_E_DISCONNECTED;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    const std::vector<dxControl*> elements = window_->AccessibleElements();
    if (child.lVal < 1 || static_cast<size_t>(child.lVal) > elements.size()) return E_INVALIDARG;
    *control = elements[child.lVal - 1];
    return S_OK;
}

HRESULT AccessibleWindow::QueryInterface(REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG AccessibleWindow::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG AccessibleWindow::Release()
{
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT AccessibleWindow::GetTypeInfoCount(UINT* count)
{
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT AccessibleWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT AccessibleWindow::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::get_accParent(IDispatch** parent)
{
    if (!parent) return E_POINTER;
    *parent = nullptr;
    if (!window_) return RPC_E_DISCONNECTED;
    IAccessible* standard = Standard();
    return standard ? standard->get_accParent(parent) : S_FALSE;
}

HRESULT AccessibleWindow::get_accChildCount(long* count)
{
    if (!count) return E_POINTER;
    if (!window_) return RPC_E_DISCONNECTED;
    *count = static_cast<long>(window_->AccessibleElements().size());
    return S_OK;
}

HRESULT AccessibleWindow::get_accChild(VARIANT child, IDispatch** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    // Elements are simple children: the caller asks this object about them.
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT AccessibleWindow::get_accName(VARIANT child, BSTR* name)
{
    if (!name) return E_POINTER;
    *name = nullptr;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    return ToBstr(control ? control->AccessibleName() : window_->AccessibleName(), name);
}

HRESULT AccessibleWindow::get_accValue(VARIANT child, BSTR* value)
{
    if (!value) return E_POINTER;
    *value = nullptr;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    return control ? ToBstr(control->AccessibleValue(), value) : S_FALSE;
}

HRESULT AccessibleWindow::get_accDescription(VARIANT child, BSTR* text)
{
    if (!text) return E_POINTER;
    *text = nullptr;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    return control ? S_FALSE : ToBstr(window_->AccessibleDescription(), text);
}

HRESULT AccessibleWindow::get_accRole(VARIANT child, VARIANT* role)
{
    if (!role) return E_POINTER;
    role->vt = VT_EMPTY;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    SetI4(role, control ? control->AccessibleRole() : window_->AccessibleRole());
    return S_OK;
}

HRESULT AccessibleWindow::get_accState(VARIANT child, VARIANT* state)
{
    if (!state) return E_POINTER;
    state->vt = VT_EMPTY;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    long bits = 0;
    if (!control) {
        bits = STATE_SYSTEM_FOCUSABLE;
        if (GetFocus() == hwnd_) bits |= STATE_SYSTEM_FOCUSED;
    } else if (control->AccessibleRole() == ROLE_SYSTEM_PUSHBUTTON) {
        bits = STATE_SYSTEM_FOCUSABLE;
        if (control->IsFocused() && GetFocus() == hwnd_) bits |= STATE_SYSTEM_FOCUSED;
        if (control->state & STATE_HOT) bits |= STATE_SYSTEM_HOTTRACKED;
        if (control->state & STATE_PRESSED) bits |= STATE_SYSTEM_PRESSED;
        if (control->state & STATE_DISABLED) bits |= STATE_SYSTEM_UNAVAILABLE;
    } else {
        bits = STATE_SYSTEM_READONLY;
    }
    SetI4(state, bits);
    return S_OK;
}

HRESULT AccessibleWindow::get_accHelp(VARIANT, BSTR* help)
{
    if (help) *help = nullptr;
    return window_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT AccessibleWindow::get_accHelpTopic(BSTR* file, VARIANT, long* topic)
{
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return window_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT AccessibleWindow::get_accKeyboardShortcut(VARIANT, BSTR* keys)
{
    if (keys) *keys = nullptr;
    return window_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED;
}

HRESULT AccessibleWindow::get_accFocus(VARIANT* child)
{
    if (!child) return E_POINTER;
    child->vt = VT_EMPTY;
    if (!window_) return RPC_E_DISCONNECTED;
    if (GetFocus() != hwnd_) return S_FALSE;
    const std::vector<dxControl*> elements = window_->AccessibleElements();
    long id = CHILDID_SELF;
    for (size_t i = 0; i < elements.size(); ++i) {
        if (elements[i]->IsFocused()) id = static_cast<long>(i + 1);
    }
    SetI4(child, id);
    return S_OK;
}

HRESULT AccessibleWindow::get_accSelection(VARIANT* children)
{
    if (!children) return E_POINTER;
    children->vt = VT_EMPTY;
    return window_ ? S_FALSE : RPC_E_DISCONNECTED;
}

HRESULT AccessibleWindow::get_accDefaultAction(VARIANT child, BSTR* action)
{
    if (!action) return E_POINTER;
    *action = nullptr;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control || control->AccessibleRole() != ROLE_SYSTEM_PUSHBUTTON) return S_FALSE;
    return ToBstr(L"按下", action);
}

HRESULT AccessibleWindow::accSelect(long, VARIANT) { return window_ ? DISP_E_MEMBERNOTFOUND : RPC_E_DISCONNECTED; }

HRESULT AccessibleWindow::accLocation(long* x, long* y, long* w, long* h, VARIANT child)
{
    if (!x || !y || !w || !h) return E_POINTER;
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control) {
        IAccessible* standard = Standard();
        return standard ? standard->accLocation(x, y, w, h, child) : E_FAIL;
    }
    const RECT r = window_->ElementScreenRect(control->rect);
    *x = r.left;
    *y = r.top;
    *w = r.right - r.left;
    *h = r.bottom - r.top;
    return S_OK;
}

HRESULT AccessibleWindow::accNavigate(long direction, VARIANT start, VARIANT* end)
{
    if (!end) return E_POINTER;
    end->vt = VT_EMPTY;
    dxControl* control;
    const HRESULT hr = Resolve(start, &control);
    if (FAILED(hr)) return hr;
    const long count = static_cast<long>(window_->AccessibleElements().size());
    long target = 0;
    if (!control) {
        if (direction == NAVDIR_FIRSTCHILD)
            target = count > 0 ? 1 : 0;
        else if (direction == NAVDIR_LASTCHILD)
            target = count;
        else {
            IAccessible* standard = Standard();
            return standard ? standard->accNavigate(direction, start, end) : S_FALSE;
        }
    } else if (direction == NAVDIR_NEXT || direction == NAVDIR_DOWN || direction == NAVDIR_RIGHT) {
        target = start.lVal < count ? start.lVal + 1 : 0;
    } else if (direction == NAVDIR_PREVIOUS || direction == NAVDIR_UP || direction == NAVDIR_LEFT) {
        target = start.lVal - 1;
    }
    if (target <= 0) return S_FALSE;
    SetI4(end, target);
    return S_OK;
}

HRESULT AccessibleWindow::accHitTest(long x, long y, VARIANT* child)
{
    if (!child) return E_POINTER;
    child->vt = VT_EMPTY;
    if (!window_) return RPC_E_DISCONNECTED;
    RECT client;
    GetWindowRect(hwnd_, &client);
    POINT pt = {x, y};
    if (!PtInRect(&client, pt)) return S_FALSE;
    const std::vector<dxControl*> elements = window_->AccessibleElements();
    long id = CHILDID_SELF;
    for (size_t i = 0; i < elements.size(); ++i) {
        const RECT r = window_->ElementScreenRect(elements[i]->rect);
        if (PtInRect(&r, pt)) id = static_cast<long>(i + 1);
    }
    SetI4(child, id);
    return S_OK;
}

HRESULT AccessibleWindow::accDoDefaultAction(VARIANT child)
{
    dxControl* control;
    const HRESULT hr = Resolve(child, &control);
    if (FAILED(hr)) return hr;
    if (!control || control->AccessibleRole() != ROLE_SYSTEM_PUSHBUTTON) return DISP_E_MEMBERNOTFOUND;
    // Posted: a click may open a modal box, which must not run inside the
    // client's call.
    PostMessageW(hwnd_, dxWindowImplBase::kPressElement, static_cast<WPARAM>(child.lVal), 0);
    return S_OK;
}

HRESULT AccessibleWindow::put_accName(VARIANT, BSTR) { return window_ ? E_NOTIMPL : RPC_E_DISCONNECTED; }

HRESULT AccessibleWindow::put_accValue(VARIANT, BSTR) { return window_ ? E_NOTIMPL : RPC_E_DISCONNECTED; }
