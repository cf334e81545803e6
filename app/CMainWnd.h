#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include "app/ITaskbarProgress.h"
#include "app/CMsgBox.h"
#include "ui/dxWindowImpl.h"

class dxImage;
class dxLabel;
class dxProgressCtrl;
struct ProgressRecord;

// The installer's one window: progress, status and speed, and the questions
// that download events raise. It turns the user's answers into controller
// calls. Created with new; it deletes itself when its window is gone.
class CMainWnd : public dxWindowImpl {
public:
    CMainWnd();
    ~CMainWnd() override;

    bool OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnWindowDestroyed(HWND window) override;

    // The program's window: title "Tz大厅下载器", sized and placed by "main_wnd".
    bool CreateMain();

    // The two buttons' actions.
    void Minimise();
    void CloseAction();

    static const wchar_t* const kTitle;
    // Two lines shown wrapped in the failure boxes.
    static const wchar_t* const kSiteText;
    // The failure box's text when the program folder's volume is full.
    static const wchar_t* const kDiskFullText;
    // The failure box's text for EVENT_FAILED's cause.
    static const wchar_t* FailureText(LPARAM cause);

    dxImage* maskImage = nullptr;
    dxLabel* statusLabel = nullptr;
    dxLabel* speedLabel = nullptr;
    dxProgressCtrl* progressBar = nullptr;
    uint32_t lastSpeedTick = 0;
    int32_t lastEvent = -1;  // -1: none since the last new download
    uint32_t retrying = 0;
    // Set once the job has finished and the message loop was told to end.
    bool quitPosted = false;
    // The clock of the speed label's and the value events' throttles; tests replace it.
    DWORD(WINAPI* tickCount)() = GetTickCount;
    // The taskbar button's progress; tests replace it.
    std::unique_ptr<ITaskbarProgress> taskbar;

private:
    void OnCreate();
    void UpdateMask();
    void OnDownloadEvent(WPARAM code, LPARAM param);
    void OnProgress(const ProgressRecord& record);
    void AnnounceValue();
    void NewDownload();
    void OpenDownloadPage();
    void LeaveJob();
    // Shows a box over this window. kJobEnded when the job finished while the
    // box was open: its answer no longer applies.
    int32_t Ask(MsgBoxInitProc initProc, const wchar_t* text, uint32_t style);
    static void RenameLinkButtons(CMsgBox* box);
    // Frees the records of download events still queued for this window.
    void DropQueuedEvents();

    static const int32_t kJobEnded = INT32_MIN;
    static const UINT_PTR kValueTimer = 1;
    static const DWORD kValueInterval = 1000;  // ms between progress value events
    DWORD lastValueTick_ = 0;                  // last progress value event
    bool valuePending_ = false;
    // Boxes open over this window (one may open inside another's loop), and
    // a close that arrived meanwhile, carried out once the last has returned.
    int openBoxes_ = 0;
    bool closePending_ = false;
    UINT buttonCreatedMessage_ = 0;
};

// The process's main window; null while there is none.
extern CMainWnd* g_mainWnd;
