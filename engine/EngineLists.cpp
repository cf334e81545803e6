#include "engine/EngineLists.h"

#include "engine/CDownloadTask.h"
#include "engine/CTaskResult.h"

TaskQueueList& TaskQueue()
{
    static TaskQueueList queue;
    return queue;
}

ResultListList& ResultList()
{
    static ResultListList list;
    return list;
}
