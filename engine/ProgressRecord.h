#pragma once
#include <cstdint>

// Parameter of EVENT_PROGRESS and EVENT_DOWNLOADED. Allocated with new by the
// engine; the window that receives the message owns it and deletes it.
struct ProgressRecord {
    int64_t totalSize = 0;
    int64_t done = 0;
    double bytesPerSecond = 0.0;
    double percent = 0.0;        // 0 to 100
    int32_t elapsedSeconds = 0;  // at least 1
    int32_t taskId = 0;
};
