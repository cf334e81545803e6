#pragma once
#include "engine/IBaseThread.h"

// Takes range tasks from TaskQueue, oldest first, and runs each until it is
// finished or the thread is stopped.
class CDownloadThread : public IBaseThread {
public:
    explicit CDownloadThread(const std::string& name);
    ~CDownloadThread() override;

    [[nodiscard]] bool Start() override;
    bool Stop(DWORD waitMs = INFINITE) override;

    // Pause after a failed run that came back quickly, so a refused
    // connection or a missing file is not retried in a tight loop.
    static constexpr DWORD kRetryPauseMs = 250;
    // How soon an idle thread tries again to split a range that was still
    // waiting for its first request.
    static constexpr DWORD kSplitRetryMs = 20;

protected:
    void Routine() override;
};
