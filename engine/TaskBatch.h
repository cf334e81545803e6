#pragma once
#include <memory>
#include <vector>

#include "engine/CDownloadTask.h"
#include "engine/CTaskResult.h"

// What TM_QUEUE_TASK carries: every range task of one download start and,
// for a resumed download, the count of the bytes already on disk. One post
// hands over all of it or nothing.
struct TaskBatch {
    std::unique_ptr<CTaskResult> counted;  // null for a fresh download
    std::vector<std::unique_ptr<CDownloadTask>> tasks;
};
