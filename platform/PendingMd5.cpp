#include "platform/PendingMd5.h"

#include <process.h>

#include "platform/HeldFile.h"
#include "platform/LogFailedCall.h"
#include "platform/Md5OfFile.h"

PendingMd5::PendingMd5(const HeldFile& file)
{
    if (!file.Held()) return;
    // Reopened from the handle, not by name: the same file whatever now lies at its path.
    file_.Reset(ReOpenFile(file.Handle(), GENERIC_READ, FILE_SHARE_READ, 0));
    if (!file_) {
        LOG_FAILED_CALL("ReOpenFile");
        return;
    }
    thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &PendingMd5::Entry, this, 0, nullptr)));
    if (!thread_) LOG_FAILED_CALL("_beginthreadex");  // Wait() then hashes on the caller's thread
}

unsigned __stdcall PendingMd5::Entry(void* self)
{
    auto* pending = static_cast<PendingMd5*>(self);
    if (Md5OfHandle(pending->file_.Get(), &pending->digest_, &pending->cancel_) != 0) pending->digest_.clear();
    return 0;
}

const std::string& PendingMd5::Wait()
{
    if (thread_) {
        // A local read ends on its own: the held file can be neither cut short nor replaced.
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    } else if (file_ && !cancel_.load() && digest_.empty()) {
        Entry(this);
    }
    file_.Reset();
    return digest_;
}

void PendingMd5::Cancel()
{
    cancel_.store(true);
    Wait();
}
