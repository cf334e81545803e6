#include <windows.h>
#include <objbase.h>
#include "app/CMainWnd.h"
#include "app/DownloadCallback.h"
#include "app/EventPoster.h"
#include "controller/CDownloader.h"
#include "engine/DownloadEvents.h"
#include "platform/UniqueHandle.h"
#include "skin/ResourceStore.h"

namespace {

// The program runs elevated from a folder that others may write into: every
// DLL loaded from here on (the delay-loaded ones, and those Windows loads for
// us, such as trust providers and the shell's handlers) comes from System32.
// Looked up, since Windows 7 has it only with an update.
void LoadDllsFromSystem32Only()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
}

// COM for this thread as an apartment (the taskbar's interface, the
// shell's handlers), undone only when this run did it.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {}
    ~ComApartment()
    {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    // Before anything that may load a delay-loaded DLL.
    LoadDllsFromSystem32Only();

    UniqueHandle instanceMutex(CreateMutexW(nullptr, TRUE, L"QuorvexInst"));
    if (instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    // Before the window, and outliving it: the window holds COM objects, and
    // screen readers' calls into its accessible objects are marshalled here.
    ComApartment com;

    // The store reads its entries from these bytes for the whole run; a
    // loaded resource stays mapped until the process ends.
    HRSRC found = FindResourceW(instance, L"skin", L"CFG");
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return -1;
    ResourceStore::Instance()->Load(bytes, SizeofResource(instance, found));

    g_mainWnd = new CMainWnd();
    if (!g_mainWnd->CreateMain()) {
        // A window that got as far as its last message has deleted itself.
        delete g_mainWnd;
        g_mainWnd = nullptr;
        ResourceStore::Release();
        return -1;
    }

    IEngineObserver::Register(&EventPoster::Instance());
    g_downloader = new CDownloader();
    g_downloader->StartEngine();
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
    // elements draw with the store's styles and pictures, and it frees the
    // progress records still queued for it.
    if (g_mainWnd && g_mainWnd->hwnd) DestroyWindow(g_mainWnd->hwnd);
    ResourceStore::Release();
    if (callback->lastNotified.load() == EVENT_READY) g_downloader->Install(1);
    g_downloader->StopEngine();
    IEngineObserver::Register(nullptr);
    g_downloader->Log("CDownloader::Exit", "user exit");
    g_downloader->Shutdown();
    g_downloader->Log("CDownloader::Exit", "good bye");
    g_downloader->CloseLog();
    delete callback;
    // A worker still inside a system call uses the controller: both are left
    // to the process's end, which the resume record and the log do not need.
    if (g_downloader->WorkerEnded()) delete g_downloader;
    g_downloader = nullptr;
    return exitCode;
}
