#pragma once
#include <windows.h>

#include "engine/DbLinkLst.h"

class CDownloadTask;
class CTaskResult;

using TaskQueueList = dblinklst::DbLinkLst<CDownloadTask, 'Q'>;
using ResultListList = dblinklst::DbLinkLst<CTaskResult, 'R'>;

// The process-wide queue of range tasks waiting for a download thread, and
// the progress accumulators of the downloads under way. Both are created on
// first use and destroyed at process exit.
TaskQueueList& TaskQueue();
ResultListList& ResultList();
// Set (auto-reset) when a download's last byte is counted, so the notifier
// tells it at once rather than at its next round.
HANDLE DownloadFinishedEvent();
