#pragma once
#include <windows.h>

// Thread messages posted to the engine's message-pump thread. A posted
// record belongs to the pump once the post succeeded; when the post fails
// the sender still owns it and must free it.
constexpr UINT TM_TASK_RESULT = WM_USER + 102;   // wParam CTaskResult*, lParam bytes written
constexpr UINT TM_QUEUE_TASK = WM_USER + 103;    // wParam CDownloadTask*
constexpr UINT TM_SAVE_SEGMENT = WM_USER + 104;  // wParam ResumeSegment*
constexpr UINT TM_TASK_FAILED = WM_USER + 105;
