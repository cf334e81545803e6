#include "app/ComTaskbarProgress.h"
#include <shobjidl.h>

#include "platform/CLog.h"

namespace {

using ChangeFilterExFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using ChangeFilterFn = BOOL(WINAPI*)(UINT, DWORD);
const DWORD kMessageFilterAllow = 1;  // MSGFLT_ALLOW and MSGFLT_ADD alike

}  // namespace

ComTaskbarProgress::~ComTaskbarProgress() { Release(); }

UINT ComTaskbarProgress::AllowButtonCreated(HWND window)
{
    const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (!message) return 0;
    // Explorer runs at medium integrity: without this an elevated window
    // never hears of its button. Windows 7 and later filter per window,
    // Vista only per process; XP has neither and needs neither.
    HMODULE user = GetModuleHandleW(L"user32.dll");
    if (auto perWindow = reinterpret_cast<ChangeFilterExFn>(
            reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilterEx")))) {
        perWindow(window, message, kMessageFilterAllow, nullptr);
    } else if (auto perProcess = reinterpret_cast<ChangeFilterFn>(
                   reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilter")))) {
        perProcess(message, kMessageFilterAllow);
    }
    return message;
}

void ComTaskbarProgress::Release()
{
    if (list_) list_->Release();
    list_ = nullptr;
}

void ComTaskbarProgress::OnButtonCreated(HWND window)
{
    // A new button (Explorer restarted) knows nothing of the old one's state.
    Release();
    window_ = window;
    sentState_ = Shown::Nothing;
    sentPercent_ = -1;
    ITaskbarList3* list = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(&list));
    if (SUCCEEDED(hr) && list && FAILED(hr = list->HrInit())) {
        list->Release();
        list = nullptr;
    }
    if (!list) {
        CLog::WriteShared("taskbar", "no progress on the button, 0x%08lx", static_cast<unsigned long>(hr));
        return;
    }
    CLog::WriteShared("taskbar", "the button shows the progress");
    list_ = list;
    Apply();
}

void ComTaskbarProgress::SetProgress(int percent)
{
    wanted_ = Shown::Progress;
    percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    Apply();
}

void ComTaskbarProgress::SetError()
{
    wanted_ = Shown::Error;
    Apply();
}

void ComTaskbarProgress::Clear()
{
    wanted_ = Shown::Nothing;
    Apply();
}

void ComTaskbarProgress::Apply()
{
    if (!list_ || !window_) return;
    if (wanted_ != sentState_) {
        const TBPFLAG flag = wanted_ == Shown::Progress ? TBPF_NORMAL
                             : wanted_ == Shown::Error  ? TBPF_ERROR
                                                        : TBPF_NOPROGRESS;
        // A shell that refuses a call simply shows less: nothing depends on it.
        if (FAILED(list_->SetProgressState(window_, flag))) return;
        sentState_ = wanted_;
        sentPercent_ = -1;
    }
    // The error state keeps the bar where it stood, shown in red.
    if (wanted_ != Shown::Progress || percent_ == sentPercent_) return;
    if (SUCCEEDED(list_->SetProgressValue(window_, static_cast<ULONGLONG>(percent_), 100))) sentPercent_ = percent_;
}

void ComTaskbarProgress::Flash(HWND window)
{
    FLASHWINFO info = {sizeof(info)};
    info.hwnd = window;
    info.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    FlashWindowEx(&info);
}
