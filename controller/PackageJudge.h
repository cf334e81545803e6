#pragma once
#include <cstdint>
#include <string>

#include "controller/LobbyVerInfo.h"
#include "platform/VersionQuad.h"

class CLog;
class HeldFile;
class PackageFiles;
class ReportSender;

// What may be done with a package already on disk.
enum class Verdict : int32_t { Download = 1, OfferUpdate = 2, Ready = 3, UpdateRequested = 4 };

// Judges the final package against the configuration reply: whether one on
// disk may be used, and whether a downloaded one is accepted. What it
// rejects is deleted, and reported where the report belongs to the download.
class PackageJudge {
public:
    // No package older than `floor` (zero: none) is kept or accepted.
    PackageJudge(CLog& log, PackageFiles& files, ReportSender& reports, const std::string& publisher,
                 const VersionQuad& floor = VersionQuad());
    virtual ~PackageJudge() = default;

    // The package on disk, before a download (worker thread). It is held
    // while it is checked; for VERDICT_READY and VERDICT_OFFER_UPDATE it
    // stays held in *held, for the launch. A package that cannot be held is
    // not used: VERDICT_DOWNLOAD.
    Verdict BeNeedDown(const LobbyVerInfo& info, bool updateRequested, HeldFile* held);
    // The final package's product version, logged; zero when unreadable.
    VersionQuad ReadDownFileVersion();
    // A downloaded package, moved into place and held: true when accepted.
    // Its version, read here and logged, goes to *downVersion. Rejections
    // are logged, reported once per type, released and deleted.
    [[nodiscard]] bool Accept(const LobbyVerInfo& info, HeldFile& package, VersionQuad* downVersion);

private:
    // The digest of the held package compared to the configured one.
    [[nodiscard]] bool Md5Matches(const HeldFile& package, const std::string& md5);

    CLog& log_;
    PackageFiles& files_;
    ReportSender& reports_;
    const std::string publisher_;  // expected signer; empty: any
    const VersionQuad floor_;
};
