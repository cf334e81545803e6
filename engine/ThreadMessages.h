#pragma once
#include <windows.h>

// Thread messages posted to the engine's message-pump thread. A record in
// wParam is handed over as platform/OwnedPost.h says.
constexpr UINT TM_TASK_RESULT = WM_USER + 102;  // wParam CTaskResult*, lParam bytes written
constexpr UINT TM_QUEUE_TASK = WM_USER + 103;   // wParam TaskBatch*
constexpr UINT TM_TASK_FAILED = WM_USER + 105;  // wParam FailureCause
