#include "support/Wait.h"

namespace {

bool Wait(const std::function<bool()>& done, DWORD timeoutMs, bool dispatch, int* quits)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (dispatch && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (quits) ++*quits;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) return false;
        // Conditions that other threads change are checked every 20 ms; a
        // message for the thread ends the wait at once.
        const DWORD slice = timeoutMs - spent < 20 ? timeoutMs - spent : 20;
        if (dispatch)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
        else
            Sleep(slice);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, int* quits)
{
    return Wait(done, timeoutMs, true, quits);
}

void PumpFor(DWORD ms, int* quits)
{
    Wait([] { return false; }, ms, true, quits);
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs) { return Wait(done, timeoutMs, false, nullptr); }
