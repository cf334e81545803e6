#include "controller/ReportSender.h"

#include <ctime>

#include "BuildConfig.h"
#include "net/CertificateError.h"
#include "net/HttpRequest.h"
#include "net/ServerEndpoints.h"
#include "platform/CLog.h"
#include "platform/ScopedLock.h"

ReportSender::ReportSender(CLog& log, const std::string& serverBase, const std::string& siteId)
    : log_(log), serverBase_(serverBase), siteId_(siteId)
{}

bool ReportSender::Post_Right(uint32_t useTime, uint64_t packageSize)
{
    std::string body = ServerEndpoints::SuccessReportBody(siteId_, useTime, static_cast<int64_t>(packageSize));
    return PostReport("CDownloader::Post_Right", ServerEndpoints::SuccessReportUrl(serverBase_), body);
}

bool ReportSender::Post_Error(ErrorType type, const std::string& version)
{
    // msvcrt's time_t is 32 bits on i686 and its localtime fails from 2038 on;
    // the 64-bit calls hold. The field itself is 32 bits, so the value wraps.
    __time64_t now = _time64(nullptr);
    std::tm local{};
    if (_localtime64_s(&local, &now) == 0) {
        local.tm_isdst = 0;
        __time64_t standard = _mktime64(&local);
        if (standard != -1) now = standard;
    }
    int32_t submitDate = static_cast<int32_t>(static_cast<uint32_t>(now));
    std::string body = ServerEndpoints::ErrorReportBody(siteId_, QUORVEX_VERSION_TEXT, version,
                                                        static_cast<int32_t>(type), submitDate);
    return PostReport("CDownloader::Post_Error", ServerEndpoints::ErrorReportUrl(serverBase_), body);
}

bool ReportSender::PostOnce(ErrorType type, const std::string& version)
{
    {
        // Tested and set in one step: the worker and the main thread both report.
        ScopedLock guard(lock_);
        if (reported_[static_cast<int>(type)]) return false;
        reported_[static_cast<int>(type)] = true;
    }
    return Post_Error(type, version);
}

bool ReportSender::PostReport(const char* name, const std::string& url, const std::string& body)
{
    HttpClient client;
    std::string reply;
    uint32_t sendError = 0;
    client.params.body = body;
    client.params.replyMode = REPLY_STRING;
    client.params.replyTarget = &reply;
    // The configuration's host: a report goes only to the server the reply came from.
    client.params.certificateChecks = CertificateChecks::Full;
    client.params.sendError = &sendError;
    if (HttpRequest(&client.params, client.proxy.get(), true, 0, url.c_str())) {
        log_.Line(name, "[url]:%s [post]:%s", url.c_str(), body.c_str());
        return true;
    }
    const std::string certificate = CertificateErrorText(sendError);
    if (!certificate.empty()) log_.Line(name, "server certificate refused: %s", certificate.c_str());
    log_.Line(name, "[url]:%s [post]:%s [ret-err]:[%s]", url.c_str(), body.c_str(), reply.c_str());
    return false;
}
