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
    // Closed under the lock: the owner's call may return meanwhile, but its
    // Leave, and so the close of the connection above the request (which
    // would free the request's handle), waits until this close is done.
    ScopedLock hold(lock_);
    if (!cancelled_ || !busy_ || held_ == nullptr) return;
    closed_ = held_;
    held_ = nullptr;
    InternetCloseHandle(closed_);
}

bool HttpCancel::Cancelled()
{
    ScopedLock hold(lock_);
    return cancelled_;
}
