#pragma once
#include <windows.h>

#include <functional>

// The one way tests wait: until done() holds or timeoutMs has passed (true
// when it held). The time is generous by default: the machine may be loaded.

// Dispatches the thread's messages while it waits, so that the test thread's
// windows go on working; a WM_QUIT met on the way is counted in *quits when
// given, and otherwise dropped.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 15000, int* quits = nullptr);
void PumpFor(DWORD ms, int* quits = nullptr);

// Leaves the thread's messages alone: for a test that takes posts from its
// queue itself, or waits on other threads only.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 15000);
