#pragma once
#include <string>

#include "EventWindow.h"
#include "engine/CBreakpointCfg.h"
#include "engine/CThreadsManager.h"
#include "engine/RangeBook.h"
#include "engine/StartDownload.h"
#include "support/TestFiles.h"

// An engine started as each new controller task starts it (queue, results and
// held segments emptied), with a window collecting its events.
struct EngineRun {
    EventWindow window;
    CThreadsManager manager;

    explicit EngineRun(unsigned threads = 0) : manager(threads) { manager.Restart(); }
    ~EngineRun()
    {
        manager.Stop();
        CBreakpointCfg::Instance()->ClearSegments();
    }
    bool Start(const std::string& url, const std::string& target, int64_t size, int32_t taskId = 2)
    {
        return StartDownload(url.c_str(), target, &manager, size, taskId, GetTickCount());
    }
    bool Wait(int code, DWORD ms = 60000)
    {
        return PumpUntil([&] { return window.Count(code) > 0; }, ms);
    }
};

inline std::vector<RangeBook::Span> SplitHere(int64_t size)
{
    return RangeBook::FirstRanges(size, CThreadsManager::SystemProcessorCount());
}
