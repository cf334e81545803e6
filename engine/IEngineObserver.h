#pragma once

struct ProgressRecord;

// How the engine's threads reach the window side, which implements this; the
// engine itself knows no window. Calls come from engine threads: an
// observer only records and posts, never blocks or calls into the engine.
class IEngineObserver {
public:
    // EVENT_PROGRESS or EVENT_DOWNLOADED with its record, EVENT_FAILED with
    // none. True when the event was taken, and with it the record; on false
    // the caller still owns the record.
    virtual bool OnEngineEvent(int code, ProgressRecord* record) = 0;
    // False once nobody listens: a completion then need not be told again.
    virtual bool Listening() const = 0;

    // The observer the engine reports to; null for none. Returns once no
    // call into the previous observer is running, so that one may go then.
    static void Register(IEngineObserver* observer);
    // Tells the registered observer; false when there is none or it refused.
    static bool Notify(int code, ProgressRecord* record);
    static bool AnyListening();

protected:
    ~IEngineObserver() = default;
};
