#include "platform/OwnedPost.h"

#include <atomic>

namespace {
std::atomic<UINT> g_failMessage{0};
std::atomic<int> g_failCount{0};
}  // namespace

bool owned_post::PostToThread(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (g_failCount.load() > 0 && message == g_failMessage.load() && g_failCount.fetch_sub(1) > 0) {
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return false;
    }
    return PostThreadMessageW(thread, message, wParam, lParam) != FALSE;
}

void owned_post::FailPostsForTest(UINT message, int count)
{
    g_failCount.store(0);
    g_failMessage.store(message);
    g_failCount.store(count);
}
