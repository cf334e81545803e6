#include "net/HttpCancel.h"

#include "platform/ScopedLock.h"

bool HttpCancel::Adopt(HINTERNET request)
{
    ScopedLock hold(lock_);
    if (cancelled_) return false;
    held_ = request;
    closed_ = nullptr;
    return true;
}

bool HttpCancel::Enter(HINTERNET request)
{
    ScopedLock hold(lock_);
    if (cancelled_ || request == nullptr || request != held_) return false;
    busy_ = true;
    return true;
}

bool HttpCancel::Leave()
{
    ScopedLock hold(lock_);
    busy_ = false;
    return held_ != nullptr;
}

void HttpCancel::Drop(UniqueInternetHandle& request)
{
    if (!request) return;
    {
        ScopedLock hold(lock_);
        if (request.Get() == closed_) {
            closed_ = nullptr;
            static_cast<void>(request.Release());  // the canceller closes it
            return;
        }
        if (request.Get() == held_) held_ = nullptr;
    }
    request.Reset();
}

void HttpCancel::Cancel()
{
    ScopedLock hold(lock_);
    cancelled_ = true;
}

void HttpCancel::CloseBusy()
{
    HINTERNET request = nullptr;
    {
        ScopedLock hold(lock_);
        if (!cancelled_ || !busy_ || held_ == nullptr) return;
        request = closed_ = held_;
        held_ = nullptr;
    }
    // Outside the lock: the owner's call may return meanwhile, and then finds
    // the request gone. Its value stays taken until this close, so no new
    // request of the owner's can be mistaken for it.
    InternetCloseHandle(request);
}

bool HttpCancel::Cancelled()
{
    ScopedLock hold(lock_);
    return cancelled_;
}
