#include "app/CMainWnd.h"
#include <shellapi.h>
#include <cwchar>
#include <memory>
#include "app/ComTaskbarProgress.h"
#include "app/EventPoster.h"
#include "app/FormatSpeed.h"
#include "controller/CDownloader.h"
#include "engine/DownloadEvents.h"
#include "engine/ProgressRecord.h"
#include "net/ServerEndpoints.h"
#include "platform/TextConvert.h"
#include "skin/ResourceStore.h"
#include "ui/dxButton.h"
#include "ui/dxImage.h"
#include "ui/dxLabel.h"
#include "ui/dxProgressCtrl.h"

CMainWnd* g_mainWnd = nullptr;

const wchar_t* const CMainWnd::kTitle = L"Tz大厅下载器";
const wchar_t* const CMainWnd::kSiteText = L"               无法进行下载安装\r\n           请访问官网下载完整包";
const wchar_t* const CMainWnd::kDiskFullText = L"磁盘空间不足，请清理后重试";

namespace {

const int kProgramIcon = 107;
const int32_t kCloseButton = 1002;
const int32_t kMinimiseButton = 1003;
const int32_t kProgressBar = 2005;
const int32_t kStatusLabel = 2006;
const int32_t kSpeedLabel = 2007;
const int32_t kMask = 9001;
const DWORD kSpeedInterval = 800;
const size_t kTextSize = 260;

bool OwnsRecord(WPARAM code) { return code == EVENT_PROGRESS || code == EVENT_DOWNLOADED; }

}  // namespace

CMainWnd::CMainWnd() : taskbar(new ComTaskbarProgress()) {}

CMainWnd::~CMainWnd()
{
    if (g_mainWnd == this) g_mainWnd = nullptr;
}

bool CMainWnd::CreateMain()
{
    const RECT empty = {0, 0, 0, 0};
    return Create(nullptr, nullptr, kTitle, empty, WS_VISIBLE | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX, 0);
}

bool CMainWnd::OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == buttonCreatedMessage_ && message != 0) {
        if (taskbar) taskbar->OnButtonCreated(hwnd);
        result = 0;
        return true;
    }
    switch (message) {
    case WM_CREATE: OnCreate(); break;
    case WM_ACTIVATE:
    case WM_ENABLE: UpdateMask(); break;
    case WM_CLOSE:
        // Never destroyed under a box's modal loop: CMainWnd code is still
        // on the stack below it. The boxes end and the close follows.
        if (openBoxes_ > 0) {
            closePending_ = true;
            if (CurrentMsgBox) CurrentMsgBox->EndModal(0);
            result = 0;
            return true;
        }
        break;
    case WM_KEYDOWN:
        // Esc asks like the close button (Alt+F4 comes as SC_CLOSE).
        if (wParam == VK_ESCAPE && !(lParam & (1 << 30)) && openBoxes_ == 0) {
            CloseAction();
            result = 0;
            return true;
        }
        break;
    case WM_SYSCOMMAND:
        // Alt+F4 and the taskbar's close ask like the close button.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            // With a box open the question is already on screen or moot.
            if (openBoxes_ == 0) CloseAction();
            result = 0;
            return true;
        }
        break;
    case WM_DESTROY:
        // Nothing may be posted to a window that is going away.
        EventPoster::Instance().SetWindow(nullptr);
        DropQueuedEvents();
        PostQuitMessage(0);
        break;
    case WM_TIMER:
        if (wParam != kValueTimer) break;
        KillTimer(hwnd, kValueTimer);
        if (valuePending_) AnnounceValue();
        result = 0;
        return true;
    case WM_DOWNLOAD_EVENT:
        OnDownloadEvent(wParam, lParam);
        result = 0;
        return true;
    default: break;
    }
    return dxWindowImpl::OnWindowMessage(message, wParam, lParam, result);
}

void CMainWnd::OnWindowDestroyed(HWND)
{
    if (g_mainWnd == this) g_mainWnd = nullptr;
    delete this;
}

void CMainWnd::OnCreate()
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    // Shared icons belong to the system: never destroyed here.
    if (HANDLE big = LoadImageW(module, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                GetSystemMetrics(SM_CYICON), LR_SHARED))
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HANDLE small = LoadImageW(module, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                  GetSystemMetrics(SM_CYSMICON), LR_SHARED))
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    buttonCreatedMessage_ = ComTaskbarProgress::AllowButtonCreated(hwnd);
    LoadDescription("main_wnd");

    if (auto* button = dynamic_cast<dxButton*>(FindElement(kMinimiseButton)))
        button->Connect(ControlEvent::Click, [this](dxControl*) { Minimise(); });
    if (auto* button = dynamic_cast<dxButton*>(FindElement(kCloseButton)))
        button->Connect(ControlEvent::Click, [this](dxControl*) { CloseAction(); });
    progressBar = dynamic_cast<dxProgressCtrl*>(FindElement(kProgressBar));
    if (progressBar) progressBar->range = 100;
    maskImage = dynamic_cast<dxImage*>(FindElement(kMask));
    ResourceStore* store = ResourceStore::Instance();
    HFONT font = store ? store->font14() : nullptr;
    statusLabel = dynamic_cast<dxLabel*>(FindElement(kStatusLabel));
    if (statusLabel) statusLabel->font = font;
    speedLabel = dynamic_cast<dxLabel*>(FindElement(kSpeedLabel));
    if (speedLabel) speedLabel->font = font;

    EventPoster::Instance().SetWindow(hwnd);
}

void CMainWnd::Minimise() { SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0); }

void CMainWnd::CloseAction()
{
    // The failure prompt has already had the user's answer.
    if (lastEvent == EVENT_FAILED) {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return;
    }
    const int32_t answer = Ask(nullptr, L"您是否要中断下载？", MSGBOX_YES | MSGBOX_NO);
    if (answer == kJobEnded || answer == 2) return;
    LeaveJob();
}

// The mask covers the window while a modal box has it disabled.
void CMainWnd::UpdateMask()
{
    if (!maskImage || !hwnd) return;
    const bool disabled = !IsWindowEnabled(hwnd);
    if (disabled == maskImage->IsVisible()) return;
    maskImage->SetVisible(disabled);
}

int32_t CMainWnd::Ask(MsgBoxInitProc initProc, const wchar_t* text, uint32_t style)
{
    const bool quitBefore = quitPosted;
    // A question the user has not seen yet: point at it from the taskbar.
    HWND foreground = GetForegroundWindow();
    if (taskbar && (IsIconic(hwnd) || !foreground || GetAncestor(foreground, GA_ROOTOWNER) != hwnd))
        taskbar->Flash(hwnd);
    ++openBoxes_;
    const int32_t answer = ShowMsgBox(initProc, text, hwnd, style);
    --openBoxes_;
    if (closePending_) {
        // A box stacked on this one ended the job: this answer no longer
        // applies. The outer boxes end too; the outermost closes the window.
        if (openBoxes_ > 0) {
            if (CurrentMsgBox) CurrentMsgBox->EndModal(0);
        } else {
            closePending_ = false;
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        return kJobEnded;
    }
    // The job finished while the box was open; the quit that ended the box
    // is on its way to the main loop.
    return !quitBefore && quitPosted ? kJobEnded : answer;
}

void CMainWnd::RenameLinkButtons(CMsgBox* box)
{
    if (auto* button = dynamic_cast<dxButton*>(box->FindElement(1002))) button->SetText(L"去下载");
    if (auto* button = dynamic_cast<dxButton*>(box->FindElement(1003))) button->SetText(L"重试");
}

void CMainWnd::LeaveJob()
{
    if (taskbar) taskbar->Clear();
    if (g_downloader) g_downloader->Exit(2);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

void CMainWnd::OpenDownloadPage()
{
    const std::wstring url = Utf8ToWide(ServerEndpoints::DownloadPageUrl());
    ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOW);
}

void CMainWnd::NewDownload()
{
    retrying = 1;
    lastEvent = -1;
    if (progressBar) progressBar->SetPos(0);
    if (taskbar) taskbar->SetProgress(0);
    if (statusLabel) statusLabel->SetText(L"重新下载中，请稍候");
    if (g_downloader) g_downloader->DownQuorvex();
}

void CMainWnd::OnDownloadEvent(WPARAM code, LPARAM param)
{
    lastEvent = static_cast<int32_t>(code);
    if (code > EVENT_FAILED) return;
    // Progress and completion records belong to us from here on.
    std::unique_ptr<ProgressRecord> record(OwnsRecord(code) ? reinterpret_cast<ProgressRecord*>(param) : nullptr);

    switch (code) {
    case EVENT_CONNECT_FAILED: {
        const int32_t answer = Ask(nullptr, L"无法连接下载服务器。", MSGBOX_RETRY | MSGBOX_EXIT);
        if (answer == 1) {
            if (g_downloader) {
                g_downloader->Cancel();
                g_downloader->DownQuorvex();
            }
        } else if (answer == 2) {
            if (g_downloader) g_downloader->Exit(1);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        break;
    }
    case EVENT_CANNOT_DOWNLOAD: {
        const int32_t answer = Ask(&RenameLinkButtons, kSiteText, MSGBOX_LINK | MSGBOX_CANCEL);
        if (answer == 1) {
            OpenDownloadPage();
            LeaveJob();
        } else if (answer == 2) {
            NewDownload();
        }
        break;
    }
    case EVENT_RESTART: NewDownload(); break;
    case EVENT_NEWER_VERSION: {
        const int32_t answer = Ask(nullptr, L"检测到有新版本更新，是否重新下载？", MSGBOX_YES | MSGBOX_NO);
        if (answer == 1) {
            if (g_downloader) {
                g_downloader->DiscardLocalPackage();
                g_downloader->Cancel();
                g_downloader->DownQuorvex();
            }
        } else if (answer == 2) {
            if (g_downloader) {
                g_downloader->Install(2);
                g_downloader->Exit(1);
            }
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        break;
    }
    case EVENT_PROGRESS:
        if (record) OnProgress(*record);
        break;
    case EVENT_DOWNLOADED:
        if (record && g_downloader) g_downloader->DownFinished(record->taskId);
        break;
    case EVENT_READY:
        if (taskbar) taskbar->Clear();
        quitPosted = true;
        PostQuitMessage(0);
        break;
    case EVENT_FAILED: {
        // No further engine events while the user decides.
        if (g_downloader) g_downloader->StopEngine();
        SetActiveWindow(hwnd);
        if (taskbar) taskbar->SetError();
        const int32_t answer = Ask(&RenameLinkButtons, FailureText(param), MSGBOX_LINK | MSGBOX_YES | MSGBOX_NO);
        if (answer == kJobEnded) break;
        if (answer == 1) {
            OpenDownloadPage();
            LeaveJob();
        } else if (answer == 2) {
            if (g_downloader) g_downloader->RestartEngine();
            NewDownload();
        } else {
            LeaveJob();
        }
        break;
    }
    default: break;
    }
}

void CMainWnd::AnnounceValue()
{
    valuePending_ = false;
    lastValueTick_ = tickCount();
    NotifyElement(EVENT_OBJECT_VALUECHANGE, progressBar);
}

const wchar_t* CMainWnd::FailureText(LPARAM cause)
{
    // A full disk is the user's to clear; the web site's package would not fit either.
    return cause == FAILURE_DISK_FULL ? kDiskFullText : kSiteText;
}

void CMainWnd::OnProgress(const ProgressRecord& record)
{
    // Below 1 % (or a broken record) nothing changes.
    if (!(record.percent >= 1)) return;
    const int percent = record.percent > 100 ? 100 : static_cast<int>(record.percent);
    if (progressBar && progressBar->pos != percent) {
        progressBar->SetPos(percent);
        // A screen reader hears the value at most once a second, and the
        // last of a burst a second after the one before, so it is never left
        // with a stale value when the download stalls or ends.
        const DWORD since = tickCount() - lastValueTick_;
        if (since >= kValueInterval) {
            AnnounceValue();
        } else if (!valuePending_) {
            valuePending_ = true;
            SetTimer(hwnd, kValueTimer, kValueInterval - since, nullptr);
        }
    }
    if (taskbar) taskbar->SetProgress(percent);
    if (statusLabel) {
        wchar_t text[kTextSize];
        swprintf(text, kTextSize, retrying ? L"重新下载中，请稍候 %d%%" : L"正在下载 %d%%", percent);
        statusLabel->SetText(text);
    }
    // Unsigned difference: still right when the tick counter wraps.
    const DWORD now = tickCount();
    if (now - lastSpeedTick >= kSpeedInterval) {
        lastSpeedTick = now;
        if (speedLabel) {
            wchar_t text[kSpeedTextSize];
            FormatSpeed(record.bytesPerSecond, text);
            speedLabel->SetText(text);
        }
    }
}

void CMainWnd::DropQueuedEvents()
{
    MSG msg;
    while (PeekMessageW(&msg, hwnd, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE)) {
        if (OwnsRecord(msg.wParam)) delete reinterpret_cast<ProgressRecord*>(msg.lParam);
    }
}
