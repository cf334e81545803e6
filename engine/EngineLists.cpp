#include "engine/EngineLists.h"

#include "engine/CDownloadTask.h"
#include "engine/CTaskResult.h"
#include "platform/UniqueHandle.h"

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

HANDLE DownloadFinishedEvent()
{
    static const UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return event.Get();
}
