#include "net/ServerEndpoints.h"

#include <cinttypes>
#include <cstdio>

#include "BuildConfig.h"

std::string ServerEndpoints::ServerBase() { return NormaliseBase(QUORVEX_SERVER); }

std::string ServerEndpoints::NormaliseBase(std::string base)
{
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::string ServerEndpoints::ConfigUrl(const std::string& base, const std::string& siteId)
{
    return NormaliseBase(base) + kConfigPath + siteId;
}

std::string ServerEndpoints::SuccessReportUrl(const std::string& base)
{
    return NormaliseBase(base) + kSuccessReportPath;
}

std::string ServerEndpoints::ErrorReportUrl(const std::string& base) { return NormaliseBase(base) + kErrorReportPath; }

std::string ServerEndpoints::SuccessReportBody(const std::string& siteId, uint32_t useTime, int64_t sizes)
{
    return "agent_id=" + siteId + "&use_time=" + std::to_string(useTime) + "&sizes=" + std::to_string(sizes);
}

std::string ServerEndpoints::ErrorReportBody(const std::string& siteId, const std::string& downloadVersion,
                                             const std::string& packageVersion, int32_t errorType, int32_t submitDate)
{
    return "agent_id=" + siteId + "&download_version=" + downloadVersion +
           "&package_version=" + (packageVersion.empty() ? std::string("0.0.0.0") : packageVersion) +
           "&error_type=" + std::to_string(errorType) + "&submit_date=" + std::to_string(submitDate);
}

std::string ServerEndpoints::DownloadPageUrl() { return ServerBase() + kDownloadPagePath; }

std::string ServerEndpoints::RangeHeader(int64_t first, int64_t last)
{
    char header[128];
    std::snprintf(header, sizeof(header), "RANGE: bytes=%" PRId64 "-%" PRId64 "\r\n", first, last);
    return header;
}
