#pragma once
#include <cstdint>
#include <string>

// Everything the installer sends to the servers outside it, in one place:
// the configuration and statistics host (the build's QUORVEX_SERVER), its
// paths and the forms of the reports, and the package's range header.
class ServerEndpoints {
public:
    // "http://host:port" of the configuration and statistics server: the
    // build's QUORVEX_SERVER through NormaliseBase.
    static std::string ServerBase();
    // A server base without trailing slashes, so that paths join with one.
    static std::string NormaliseBase(std::string base);

    // GET on `base` (normalised here): the configuration reply for a site id
    // (sent unescaped).
    static std::string ConfigUrl(const std::string& base, const std::string& siteId);

    // POST targets of the success and error reports on `base`.
    static std::string SuccessReportUrl(const std::string& base);
    static std::string ErrorReportUrl(const std::string& base);

    // agent_id=…&use_time=…&sizes=…, values unescaped.
    static std::string SuccessReportBody(const std::string& siteId, uint32_t useTime, int64_t sizes);

    // agent_id=…&download_version=…&package_version=…&error_type=…&submit_date=…;
    // an empty package version is sent as "0.0.0.0".
    static std::string ErrorReportBody(const std::string& siteId, const std::string& downloadVersion,
                                       const std::string& packageVersion, int32_t errorType, int32_t submitDate);

    // The maker's download page, opened in the browser when a job fails.
    static std::string DownloadPageUrl();

    // "RANGE: bytes=first-last\r\n", both inclusive.
    static std::string RangeHeader(int64_t first, int64_t last);

    static constexpr const char* kConfigPath = "/get_download_device_xml.php?agent_id=";
    static constexpr const char* kSuccessReportPath = "/download_device_stat.php";
    static constexpr const char* kErrorReportPath = "/download_device_error_stat.php";
    static constexpr const char* kDownloadPagePath = "/download/download_lobby.html";
};
