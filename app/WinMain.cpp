#include <windows.h>
#include "app/CMainWnd.h"
#include "app/DownloadCallback.h"
#include "controller/CDownloader.h"
#include "engine/CThreadsManager.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineHost.h"
#include "engine/ProgressRecord.h"
#include "platform/UniqueHandle.h"
#include "skin/ResourceStore.h"

namespace {

HINSTANCE g_instance = nullptr;

// Records of download events that never reached a window are still ours.
void FreeQueuedEvents()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE)) {
        if (msg.wParam == EVENT_PROGRESS || msg.wParam == EVENT_DOWNLOADED)
            delete reinterpret_cast<ProgressRecord*>(msg.lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    UniqueHandle instanceMutex(CreateMutexW(nullptr, TRUE, L"QuorvexInst"));
    if (instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    g_instance = instance;

    // The store reads its entries from these bytes for the whole run; a
    // loaded resource stays mapped until the process ends.
    HRSRC found = FindResourceW(g_instance, L"skin", L"CFG");
    HGLOBAL loaded = found ? LoadResource(g_instance, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return -1;
    ResourceStore::Instance()->Load(bytes, SizeofResource(g_instance, found));

    g_mainWnd = new CMainWnd();
    if (!g_mainWnd->CreateMain()) {
        // A window that got as far as its last message has deleted itself.
        delete g_mainWnd;
        g_mainWnd = nullptr;
        ResourceStore::Release();
        return -1;
    }

    CThreadsManager::Instance()->Start();
    g_downloader = new CDownloader();
    auto* callback = new DownloadCallback();
    g_downloader->RegisterListener(callback);
    g_downloader->DownQuorvex();

    MSG msg = {};
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    const int exitCode = got == 0 ? static_cast<int>(msg.wParam) : 0;

    // When the job ended with the window still open, it goes now: its
    // elements draw with the store's styles and pictures.
    if (g_mainWnd && g_mainWnd->hwnd) DestroyWindow(g_mainWnd->hwnd);
    ResourceStore::Release();
    if (callback->lastNotified.load() == EVENT_READY) g_downloader->Install(1);
    CThreadsManager::Instance()->Stop();
    FreeQueuedEvents();
    g_downloader->Log("CDownloader::Exit", "user exit");
    g_downloader->Shutdown();
    g_downloader->Log("CDownloader::Exit", "good bye");
    g_downloader->CloseLog();
    delete callback;
    delete g_downloader;
    g_downloader = nullptr;
    return exitCode;
}
