#include "AppTestSupport.h"
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::function<void(CMsgBox&)>& PendingAction()
{
    static std::function<void(CMsgBox&)> action;
    return action;
}

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    CMsgBox* box = CurrentMsgBox;
    if (!box || !box->hwnd || !IsWindowVisible(box->hwnd)) return;
    KillTimer(nullptr, timer);
    auto action = std::move(PendingAction());
    PendingAction() = nullptr;
    if (action) action(*box);
}

const int kWatchSlots = 32;
std::atomic<const void*> g_watched[kWatchSlots];
std::atomic<bool> g_deleted[kWatchSlots];
std::atomic<int> g_watchCount{0};

void NoteDelete(const void* block)
{
    if (!block || g_watchCount.load() == 0) return;
    for (int i = 0; i < kWatchSlots; ++i) {
        if (g_watched[i].load() == block) g_deleted[i].store(true);
    }
}

}  // namespace

// Every delete in the test program passes here, so tests can tell whether a
// record handed to the window was freed.
void* operator new(size_t size)
{
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    NoteDelete(block);
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    NoteDelete(block);
    std::free(block);
}

void WatchDelete(const void* block)
{
    const int slot = g_watchCount.fetch_add(1) % kWatchSlots;
    g_deleted[slot].store(false);
    g_watched[slot].store(block);
}

bool WasDeleted(const void* block)
{
    for (int i = 0; i < kWatchSlots; ++i) {
        if (g_watched[i].load() == block) return g_deleted[i].load();
    }
    return false;
}

bool ClickElement(dxWindowImpl& window, int32_t id)
{
    dxControl* element = window.FindElement(id);
    // A press that misses every element starts the system's move loop, which
    // waits for a real mouse: never post one blind.
    if (!element || !window.hwnd || IsRectEmpty(&element->rect)) return false;
    const LPARAM at =
        MAKELPARAM((element->rect.left + element->rect.right) / 2, (element->rect.top + element->rect.bottom) / 2);
    PostMessageW(window.hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageW(window.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(window.hwnd, WM_LBUTTONUP, 0, at);
    return true;
}

void WhenBoxOpens(std::function<void(CMsgBox&)> action)
{
    PendingAction() = std::move(action);
    SetTimer(nullptr, 0, 30, &BoxTimer);
}
