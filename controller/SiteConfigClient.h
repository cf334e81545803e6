#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "controller/LobbyVerInfo.h"
#include "platform/CLock.h"

class CLog;

// The site this copy belongs to and the configuration server's reply for it.
// The worker thread fetches and parses; any thread reads the held reply.
class SiteConfigClient {
public:
    // A reply offering a package older than `floor` (zero: none) is not usable.
    SiteConfigClient(CLog& log, const std::string& serverBase, const VersionQuad& floor = VersionQuad());
    virtual ~SiteConfigClient() = default;

    // The site id of "site.cfg" in the program folder; `fallback` when there
    // is no usable site file.
    static std::string ReadSiteId(CLog& log, const std::string& programFolder, const std::string& fallback);

    // One configuration request for a site; true when its reply was usable.
    // `context` travels with the request. The server's certificate, when it
    // is https, is checked in full: a refused one is a failed attempt.
    [[nodiscard]] bool FetchOnce(const std::string& siteId, uint32_t context);
    // Fills the held reply from a reply text, attribute by attribute; true
    // when the result is usable.
    [[nodiscard]] bool Parse(std::string text);

    // A copy of the held reply.
    LobbyVerInfo Info() const;
    // A usable reply has been held once: later tasks skip the request.
    bool Valid() const { return valid_; }
    // The version the last reply offered when the floor refused it; empty
    // when the last attempt was refused for another reason or not at all.
    std::string RefusedVersion() const;

private:
    CLog& log_;
    const std::string serverBase_;
    const VersionQuad floor_;
    LobbyVerInfo info_;           // lock_
    std::string refusedVersion_;  // lock_
    std::atomic<bool> valid_{false};
    // Never held across a request or with another lock.
    mutable CLock lock_;
};
