#pragma once

#include "engine/DownloadEvents.h"

struct ProgressRecord;

// How the engine's threads reach the window side, which implements this; the
// engine itself knows no window. Calls come from engine threads: an
// observer only records and posts, never blocks or calls into the engine.
class IEngineObserver {
public:
    // EVENT_PROGRESS or EVENT_DOWNLOADED with its record. True when the
    // event was taken, and with it the record; on false the caller still
    // owns the record.
    virtual bool OnEngineEvent(int code, ProgressRecord* record) = 0;
    // EVENT_FAILED with its cause; false when it was refused.
    virtual bool OnEngineFailure(FailureCause cause) = 0;
    // False once nobody listens: a completion then need not be told again.
    virtual bool Listening() const = 0;

    // The observer the engine reports to; null for none. Returns once no
    // call into the previous observer is running, so that one may go then.
    static void Register(IEngineObserver* observer);
    // Tells the registered observer; false when there is none or it refused.
    static bool Notify(int code, ProgressRecord* record);
    static bool NotifyFailure(FailureCause cause);
    static bool AnyListening();

protected:
    ~IEngineObserver() = default;
};
