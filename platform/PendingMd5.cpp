#include "platform/PendingMd5.h"

#include "platform/HeldFile.h"
#include "platform/LogFailedCall.h"
#include "platform/Md5OfFile.h"

namespace {

// Reopened from the handle, not by name: the same file whatever now lies at its path.
HANDLE Reopen(const HeldFile& file)
{
    if (!file.Held()) return nullptr;
    HANDLE own = ReOpenFile(file.Handle(), GENERIC_READ, FILE_SHARE_READ, 0);
    if (own == INVALID_HANDLE_VALUE) LOG_FAILED_CALL("ReOpenFile");
    return own;
}

}  // namespace

PendingMd5::PendingMd5(const HeldFile& file)
    : file_(Reopen(file)), worker_([this] {
          if (!file_ || Md5OfHandle(file_.Get(), &digest_, &cancel_) != 0) digest_.clear();
      })
{}

const std::string& PendingMd5::Wait()
{
    worker_.Wait();
    file_.Reset();
    return digest_;
}

void PendingMd5::Cancel()
{
    cancel_.store(true);
    Wait();
}
