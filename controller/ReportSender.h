#pragma once
#include <cstdint>
#include <string>

#include "platform/CLock.h"

class CLog;

// Error types of the statistics error report: their numbers are sent.
enum class ErrorType : int32_t {
    DownloadFailed = 1,
    SiteConfigFailed = 2,
    VersionUnreadable = 3,
    TrustInvalid = 4,
    VersionHigher = 5,
    VersionMismatch = 6,
    Md5Mismatch = 7,
    UserAbort = 8,
    InstallOld = 9,
    VersionLower = 10,
};

// Sends the statistics reports of one site to the server and logs each. A
// report that is not delivered is logged and lost. Any thread.
class ReportSender {
public:
    ReportSender(CLog& log, const std::string& serverBase, const std::string& siteId);
    virtual ~ReportSender() = default;

    // The success report of an accepted download.
    bool Post_Right(uint32_t useTime, uint64_t packageSize);
    bool Post_Error(ErrorType type, const std::string& version);
    // Post_Error for a type sent at most once per process (one controller
    // per process); false without a request when it was sent already.
    bool PostOnce(ErrorType type, const std::string& version);

private:
    bool PostReport(const char* name, const std::string& url, const std::string& body);

    CLog& log_;
    const std::string serverBase_;
    const std::string siteId_;
    bool reported_[static_cast<int>(ErrorType::VersionLower) + 1] = {};  // lock_
    CLock lock_;
};
