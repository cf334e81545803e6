#pragma once
#include <windows.h>

// What the main window's taskbar button shows. Every call is a no-op where
// the system has no taskbar interface; a test replaces it with a recorder.
class ITaskbarProgress {
public:
    virtual ~ITaskbarProgress() = default;
    // The shell's "TaskbarButtonCreated" reached the window (again, after an
    // Explorer restart): the button exists and may be set up now.
    virtual void OnButtonCreated(HWND window) = 0;
    virtual void SetProgress(int percent) = 0;  // 0..100, normal state
    virtual void SetError() = 0;
    virtual void Clear() = 0;
    // Flashes the button until the window is active.
    virtual void Flash(HWND window) = 0;
};
