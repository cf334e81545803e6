#include "engine/EngineHost.h"

#include <atomic>

#include "engine/DownloadEvents.h"

namespace {
std::atomic<HWND> g_mainWindow{nullptr};
std::atomic<bool> g_messageBoxOpen{false};
}  // namespace

void EngineHost::SetMainWindow(HWND window) { g_mainWindow.store(window); }
HWND EngineHost::MainWindow() { return g_mainWindow.load(); }
void EngineHost::SetMessageBoxOpen(bool open) { g_messageBoxOpen.store(open); }
bool EngineHost::IsMessageBoxOpen() { return g_messageBoxOpen.load(); }

bool EngineHost::PostEvent(int code, LPARAM param)
{
    HWND window = MainWindow();
    // PostMessageW with a null window would post to this thread's own queue.
    if (window == nullptr) return false;
    return PostMessageW(window, WM_DOWNLOAD_EVENT, static_cast<WPARAM>(code), param) != FALSE;
}
