#include "platform/PendingMd5.h"

#include "platform/HeldFile.h"
#include "platform/Md5OfFile.h"

PendingMd5::PendingMd5(const HeldFile& file)
    : file_(file.Reopen()), worker_([this] {
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
