#include "engine/StartDownload.h"

#include "engine/CDownloadRanges.h"
#include "engine/CThreadsManager.h"
#include "engine/ThreadMessages.h"

bool StartDownload(const char* url, const std::string& path, CThreadsManager* manager, int64_t totalSize,
                   int32_t taskId, DWORD startTick)
{
    const DWORD pump = manager != nullptr ? manager->PumpThreadId() : 0;
    if (pump == 0) return false;
    if (url == nullptr || *url == 0 || totalSize <= 0 || totalSize >= kMaxDownloadSize) {
        PostThreadMessageW(pump, TM_TASK_FAILED, 0, 0);
        return false;
    }
    return CDownloadRanges::Instance()->Start(url, path, totalSize, taskId, startTick, pump,
                                              CThreadsManager::SystemProcessorCount());
}
