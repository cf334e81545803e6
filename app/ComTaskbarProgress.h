#pragma once
#include <windows.h>
#include "app/ITaskbarProgress.h"

struct ITaskbarList3;

// ITaskbarList3 behind ITaskbarProgress. Main thread only, with COM
// initialised there as an apartment. A state is sent to the shell only when
// it changes, so progress events stay cheap.
class ComTaskbarProgress : public ITaskbarProgress {
public:
    ComTaskbarProgress() = default;
    ~ComTaskbarProgress() override;
    ComTaskbarProgress(const ComTaskbarProgress&) = delete;
    ComTaskbarProgress& operator=(const ComTaskbarProgress&) = delete;

    void OnButtonCreated(HWND window) override;
    void SetProgress(int percent) override;
    void SetError() override;
    void Clear() override;
    void Flash(HWND window) override;

    // Lets the shell's "TaskbarButtonCreated" through to an elevated window;
    // returns that message's id (0 when it cannot be registered).
    static UINT AllowButtonCreated(HWND window);
    bool Available() const { return list_ != nullptr; }

private:
    enum class Shown { Nothing, Progress, Error };
    void Release();
    void Apply();

    ITaskbarList3* list_ = nullptr;
    HWND window_ = nullptr;
    Shown wanted_ = Shown::Nothing;
    int percent_ = 0;
    Shown sentState_ = Shown::Nothing;
    int sentPercent_ = -1;
};
