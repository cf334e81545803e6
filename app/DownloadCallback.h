#pragma once
#include <atomic>
#include <cstdint>
#include "controller/IListener.h"

// The application's listener: remembers the controller's last word and
// carries every event to the main window as a posted WM_DOWNLOAD_EVENT, so
// that all reactions run on the main thread.
class DownloadCallback : public IListener {
public:
    DownloadCallback() = default;
    virtual ~DownloadCallback() = default;

    // Any thread, under the controller's listener lock: only records and posts.
    void OnNotify(int32_t code, void* param) override;

    // Read by the entry point once the message loop has ended; 6 (ready) means install.
    std::atomic<int32_t> lastNotified{-1};
};
