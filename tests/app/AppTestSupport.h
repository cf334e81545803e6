#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>
#include "app/CMsgBox.h"
#include "ui/UiTestSupport.h"
#include "ui/dxWindowImpl.h"

// Presses and releases the left button over the centre of an element, as
// posted mouse messages to its window.
bool ClickElement(dxWindowImpl& window, int32_t id);

// Runs `action` once, inside the modal loop of the next message box, as soon
// as the box is shown.
void WhenBoxOpens(std::function<void(CMsgBox&)> action);

// Watches heap blocks for their release through operator delete.
void WatchDelete(const void* block);
bool WasDeleted(const void* block);
