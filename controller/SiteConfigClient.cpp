#include "controller/SiteConfigClient.h"

#include <vector>

#include "controller/PathUtil.h"
#include "controller/SiteConfigText.h"
#include "net/CertificateError.h"
#include "net/HttpRequest.h"
#include "net/ServerEndpoints.h"
#include "platform/CLog.h"
#include "platform/ScopedLock.h"
#include "platform/TextConvert.h"

namespace {

constexpr size_t kMaxSiteFileBytes = 1024 * 1024;
// A reply longer than any real configuration is a failed attempt.
constexpr size_t kMaxConfigReplyBytes = 1024 * 1024;

}  // namespace

SiteConfigClient::SiteConfigClient(CLog& log, const std::string& serverBase, const VersionQuad& floor)
    : log_(log), serverBase_(serverBase), floor_(floor)
{}

std::string SiteConfigClient::ReadSiteId(CLog& log, const std::string& programFolder, const std::string& fallback)
{
    if (programFolder.empty()) return fallback;
    std::string path = programFolder + "\\site.cfg";
    if (!IsFilePresent(path)) return fallback;
    std::vector<char> text;
    if (!ReadWholeFile(path, kMaxSiteFileBytes, &text)) return fallback;
    std::string id, refused;
    if (!ParseSiteFileText(text.data(), &id, &refused)) {
        // A damaged site file counts as absent; an id that cannot be used is told.
        if (!refused.empty())
            log.Line("CDownloader::GetSiteID", "site_id refused, built-in id kept: %s", EscapedForLog(refused).c_str());
        return fallback;
    }
    log.Line("CDownloader::GetSiteID", "site_id = %s", id.c_str());
    return id;
}

bool SiteConfigClient::FetchOnce(const std::string& siteId, uint32_t context)
{
    const char* name = "CDownloader::Get_Site_Config";
    const std::string url = ServerEndpoints::ConfigUrl(serverBase_, siteId);
    {
        ScopedLock guard(lock_);
        refusedVersion_.clear();
    }
    HttpClient client;
    std::string reply;
    uint32_t sendError = 0;
    client.params.replyMode = REPLY_STRING;
    client.params.replyTarget = &reply;
    client.params.replyLimit = kMaxConfigReplyBytes;
    // This reply decides which package is fetched: no certificate error is
    // overlooked.
    client.params.certificateChecks = CertificateChecks::Full;
    client.params.sendError = &sendError;
    if (!HttpRequest(&client.params, client.proxy.get(), false, context, url.c_str())) {
        const std::string certificate = CertificateErrorText(sendError);
        if (!certificate.empty()) log_.Line(name, "server certificate refused: %s", certificate.c_str());
        log_.Line(name, "get lobby info faile");
        return false;
    }
    std::string text = Utf8ToAnsi(reply);
    log_.Line(name, "config of site is : %s", text.c_str());
    if (Parse(std::move(text))) return true;
    log_.Line(name, "parse config of site fail!");
    return false;
}

bool SiteConfigClient::Parse(std::string text)
{
    // Filled in a copy: other threads may read the held reply meanwhile.
    LobbyVerInfo info = Info();
    if (!ParseLobbyVerInfoText(std::move(text), &info)) return false;  // a failed attempt
    {
        ScopedLock guard(lock_);
        info_ = info;
    }
    if (!IsLobbyInfoUsable(info)) return false;
    if (VersionBelowFloor(info.newest, floor_)) {
        const std::string offered = FormatVersion(info.newest);
        log_.Line("CDownloader::Get_Site_Config", "offered ver %s is below the minimum package version %s: refused",
                  offered.c_str(), FormatVersion(floor_).c_str());
        ScopedLock guard(lock_);
        refusedVersion_ = offered;
        return false;
    }
    valid_ = true;
    return true;
}

std::string SiteConfigClient::RefusedVersion() const
{
    ScopedLock guard(lock_);
    return refusedVersion_;
}

LobbyVerInfo SiteConfigClient::Info() const
{
    ScopedLock guard(lock_);
    return info_;
}
