#include "engine/IEngineObserver.h"

#include "platform/ScopedLock.h"

namespace {

// Held across each call, so that Register never returns while the observer
// it replaces is still in use.
CLock& ObserverLock()
{
    static CLock lock;
    return lock;
}
IEngineObserver* g_observer = nullptr;

}  // namespace

void IEngineObserver::Register(IEngineObserver* observer)
{
    ScopedLock guard(ObserverLock());
    g_observer = observer;
}

bool IEngineObserver::Notify(int code, ProgressRecord* record)
{
    ScopedLock guard(ObserverLock());
    return g_observer != nullptr && g_observer->OnEngineEvent(code, record);
}

bool IEngineObserver::NotifyFailure(FailureCause cause)
{
    ScopedLock guard(ObserverLock());
    return g_observer != nullptr && g_observer->OnEngineFailure(cause);
}

bool IEngineObserver::AnyListening()
{
    ScopedLock guard(ObserverLock());
    return g_observer != nullptr && g_observer->Listening();
}
