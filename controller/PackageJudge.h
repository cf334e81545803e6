#pragma once
#include <cstdint>
#include <string>

#include "controller/LobbyVerInfo.h"
#include "platform/VersionQuad.h"

class CLog;
class HeldFile;
class PackageFiles;
class PrivateCopy;
class ReportSender;

// What may be done with a package already on disk.
enum class Verdict : int32_t { Download = 1, OfferUpdate = 2, Ready = 3, UpdateRequested = 4 };

// Judges the final package against the configuration reply: whether one on
// disk may be used, and whether a downloaded one is accepted. Each is copied
// into a private folder first, and the copy is what is checked and kept for
// the launch. What it rejects is deleted, and reported where the report
// belongs to the download.
class PackageJudge {
public:
    // No package older than `floor` (zero: none) is kept or accepted.
    PackageJudge(CLog& log, PackageFiles& files, ReportSender& reports, const std::string& publisher,
                 const std::wstring& privateParent, const VersionQuad& floor = VersionQuad());
    virtual ~PackageJudge() = default;

    // The package on disk, before a download (worker thread). Its copy is
    // checked; for VERDICT_READY and VERDICT_OFFER_UPDATE the copy goes to
    // *copy, for the launch. A package that cannot be held or copied is not
    // used (a copy that failed leaves it on disk): VERDICT_DOWNLOAD.
    Verdict BeNeedDown(const LobbyVerInfo& info, bool updateRequested, PrivateCopy* copy);
    // The final package's product version, read from the held copy (by name
    // when none is held), logged; zero when unreadable.
    VersionQuad ReadDownFileVersion(const HeldFile& package);
    // A downloaded package, moved into place and held: true when its copy,
    // which then goes to *copy, is accepted. Its version, read here and
    // logged, goes to *downVersion. Rejections are logged, reported once per
    // type, released and deleted; a copy that could not be made is logged and
    // leaves the package on disk for the next try.
    [[nodiscard]] bool Accept(const LobbyVerInfo& info, HeldFile& package, PrivateCopy* copy, VersionQuad* downVersion);

private:
    // The digest of the held package compared to the configured one.
    [[nodiscard]] bool Md5Matches(const HeldFile& package, const std::string& md5);
    // The held package's copy, or one not Made() after its log line.
    PrivateCopy CopyOf(const HeldFile& package, const char* place);

    CLog& log_;
    PackageFiles& files_;
    ReportSender& reports_;
    const std::string publisher_;  // expected signer; empty: any
    const std::wstring privateParent_;
    const VersionQuad floor_;
};
