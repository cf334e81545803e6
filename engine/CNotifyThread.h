#pragma once
#include "engine/IBaseThread.h"

class CTaskResult;
struct ProgressRecord;

// Every 100 ms turns the oldest download in ResultList into an
// EVENT_PROGRESS, or into its one EVENT_DOWNLOADED once every byte is on
// disk (told at once, not at the next round), after which the download's
// entry goes. While a download runs it also rewrites the resume record
// every 2 seconds, so a crash loses little.
class CNotifyThread : public IBaseThread {
public:
    CNotifyThread();
    ~CNotifyThread() override;

    [[nodiscard]] bool Start() override;
    bool Stop(DWORD waitMs = INFINITE) override;

    static constexpr DWORD kIntervalMs = 100;
    static constexpr DWORD kCheckpointMs = 2000;

    // The record for a result at the given tick count; the caller owns it.
    static ProgressRecord* BuildProgress(const CTaskResult& result, DWORD nowTick);
    // Posts the record for the result; false (record freed) when nothing was posted.
    static bool PostProgress(const CTaskResult& result);

protected:
    void Routine() override;
};
