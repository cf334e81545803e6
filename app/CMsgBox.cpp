#include "app/CMsgBox.h"
#include <oleacc.h>
#include <atomic>
#include "skin/GdiHandle.h"
#include "skin/ResourceStore.h"
#include "skin/SelectGuard.h"
#include "ui/dxButton.h"
#include "ui/dxLabel.h"

CMsgBox* CurrentMsgBox = nullptr;

namespace {

// Boxes stack: one opened from inside another's modal loop. Counted, so the
// inner box's end does not look like no box is open. Read by engine threads.
std::atomic<int> g_openBoxes{0};

const int32_t kTitleLabel = 2001;
const int32_t kMessageLabel = 2002;
const int32_t kCloseButton = 1001;
const int32_t kFirstButton = 1002;
const int32_t kSecondButton = 1003;

HFONT BoxFont()
{
    ResourceStore* store = ResourceStore::Instance();
    return store ? store->font16() : nullptr;
}

}  // namespace

int OpenMsgBoxCount() { return g_openBoxes.load(); }

CMsgBox::~CMsgBox()
{
    // The element tree must not outlive its window's last message.
    if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
}

long CMsgBox::AccessibleRole() const { return ROLE_SYSTEM_DIALOG; }

std::wstring CMsgBox::AccessibleName() const
{
    auto* label = dynamic_cast<dxLabel*>(FindElement(kTitleLabel));
    return label ? label->text : title;
}

bool CMsgBox::UsesRetryLayout(uint32_t s)
{
    const uint32_t all = MSGBOX_LINK | MSGBOX_YES | MSGBOX_NO;
    return (s & all) == all;
}

int CMsgBox::MeasureSingleLine(const std::wstring& text)
{
    const WindowDC screen = AcquireWindowDC(nullptr);
    if (!screen) return -1;
    SelectGuard font(screen.Get().dc, BoxFont());
    RECT r = {0, 0, 0, 0};
    if (!DrawTextW(screen.Get().dc, text.c_str(), static_cast<int>(text.size()), &r,
                   DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX))
        return -1;
    return r.right - r.left;
}

bool CMsgBox::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg == WM_CREATE) SetUpControls();
    // A held key repeats into the next box: only the first press counts.
    if (msg == WM_KEYDOWN && !(lParam & (1 << 30))) {
        if (wParam == VK_ESCAPE) {
            // Like the close button; a box without one has no cancel.
            auto* close = dynamic_cast<dxButton*>(FindElement(kCloseButton));
            if (close && close->IsVisible()) close->Fire(ControlEvent::Click);
            result = 0;
            return true;
        }
        if (HandleNavigationKey(wParam)) {
            result = 0;
            return true;
        }
    }
    return dxDialogImpl::OnWindowMessage(msg, wParam, lParam, result);
}

void CMsgBox::SetUpControls()
{
    if (UsesRetryLayout(style)) {
        LoadDescription("msgbox_with_retry");
        SetUpLabels();
        if (auto* close = dynamic_cast<dxButton*>(FindElement(kCloseButton)))
            close->Connect(ControlEvent::Click, [this](dxControl*) { EndModal(3); });
        SetUpButton(kFirstButton, 1, L"去下载", true);
        SetUpButton(kSecondButton, 2, L"重试", false);
    } else {
        LoadDescription("msgbox");
        SetUpLabels();
        const wchar_t* first = (style & MSGBOX_YES) ? L"是" : (style & MSGBOX_RETRY) ? L"重试" : nullptr;
        SetUpButton(kFirstButton, 1, first, true);
        const wchar_t* second = (style & MSGBOX_NO) ? L"否" : (style & MSGBOX_EXIT) ? L"退出" : nullptr;
        SetUpButton(kSecondButton, 2, second, false);
        if (!second && !(style & MSGBOX_CANCEL)) {
            if (dxControl* button = FindElement(kSecondButton)) button->SetVisible(false);
        }
    }
    if (initProc) initProc(this);
}

void CMsgBox::SetUpLabels()
{
    HFONT font = BoxFont();
    if (auto* label = dynamic_cast<dxLabel*>(FindElement(kTitleLabel))) {
        label->SetText(title.empty() ? std::wstring(L"提示") : title);
        label->font = font;
    }
    if (auto* label = dynamic_cast<dxLabel*>(FindElement(kMessageLabel))) {
        label->SetText(message);
        label->font = font;
        // Too long for one line: wrap it, which also honours its line breaks.
        if (MeasureSingleLine(message) > label->width) label->SetMultiLine();
    }
}

void CMsgBox::SetUpButton(int32_t id, int32_t buttonResult, const wchar_t* text, bool focus)
{
    auto* button = dynamic_cast<dxButton*>(FindElement(id));
    if (!button) return;
    button->Connect(ControlEvent::Click, [this, buttonResult](dxControl*) { EndModal(buttonResult); });
    if (text) button->SetText(text);
    button->font = BoxFont();
    if (focus) SetFocusElement(button);
}

int32_t ShowMsgBox(MsgBoxInitProc initProc, const wchar_t* text, HWND owner, uint32_t style)
{
    CMsgBox box;
    box.title.clear();
    box.message = text ? text : L"";
    box.initProc = initProc;
    box.style = style;
    CMsgBox* outer = CurrentMsgBox;
    ++g_openBoxes;
    CurrentMsgBox = &box;
    const RECT empty = {0, 0, 0, 0};
    const int32_t result = box.RunModal(owner, empty);
    --g_openBoxes;
    // The box this one was stacked on, if any, is the open one again.
    CurrentMsgBox = outer;
    return result;
}
