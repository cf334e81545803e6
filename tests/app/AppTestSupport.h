#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include "app/CMsgBox.h"
#include "ui/dxWindowImpl.h"

// Loads the skin archive the build made into the process-wide store.
bool LoadBuiltSkin();

// Dispatches the thread's messages until `done` holds or the time is up.
// A WM_QUIT met on the way is counted in *quits when given.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000, int* quits = nullptr);
void PumpFor(DWORD ms, int* quits = nullptr);

// Presses and releases the left button over the centre of an element, as
// posted mouse messages to its window.
bool ClickElement(dxWindowImpl& window, int32_t id);

// Runs `action` once, inside the modal loop of the next message box, as soon
// as the box is shown.
void WhenBoxOpens(std::function<void(CMsgBox&)> action);

// Watches heap blocks for their release through operator delete.
void WatchDelete(const void* block);
bool WasDeleted(const void* block);
