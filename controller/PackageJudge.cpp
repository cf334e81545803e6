#include "controller/PackageJudge.h"

#include <cctype>

#include "controller/PackageFiles.h"
#include "controller/ReportSender.h"
#include "platform/CLog.h"
#include "platform/FileSigner.h"
#include "platform/GetFileVersionQuad.h"
#include "platform/HeldFile.h"
#include "platform/IsFileTrusted.h"
#include "platform/Md5OfFile.h"
#include "platform/PendingMd5.h"
#include "platform/PrivateCopy.h"
#include "platform/TextConvert.h"
#include "platform/WorkerCall.h"

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool FirstThreeEqual(const VersionQuad& a, const VersionQuad& b)
{
    return a.major == b.major && a.minor == b.minor && a.build == b.build;
}

bool FirstThreeZero(const VersionQuad& v) { return v.major == 0 && v.minor == 0 && v.build == 0; }

// A valid signature of anyone else is no better than none. The signer is
// read by name, which is the held file's while it is held.
bool IsTrustedFrom(const HeldFile& package, const std::string& publisher)
{
    return IsFileTrusted(package) && IsSignedBy(package.Path(), publisher);
}

// Zero when the file has no readable version.
VersionQuad ProductVersion(const HeldFile& package)
{
    VersionQuad v;
    if (!GetFileVersionQuad(package, &v.major, &v.minor, &v.build, &v.revision)) return VersionQuad();
    return v;
}

}  // namespace

PackageJudge::PackageJudge(CLog& log, PackageFiles& files, ReportSender& reports, const std::string& publisher,
                           const std::wstring& privateParent, const VersionQuad& floor)
    : log_(log), files_(files), reports_(reports), publisher_(publisher), privateParent_(privateParent), floor_(floor)
{}

PrivateCopy PackageJudge::CopyOf(const HeldFile& package, const char* place)
{
    const std::string& path = package.Path();
    PrivateCopy copy(package, privateParent_, PrivateCopy::NewFolderName(),
                     Utf8ToWide(path.substr(path.find_last_of('\\') + 1)));
    if (!copy.Made()) log_.Line(place, "private copy not made, error %lu", copy.Error());
    return copy;
}

bool PackageJudge::Md5Matches(const HeldFile& package, const std::string& md5)
{
    // A file that cannot be read has no digest: it matches nothing.
    std::string digest;
    return Md5OfFile(package, &digest) == 0 && SameTextIgnoringCase(digest, md5);
}

VersionQuad PackageJudge::ReadDownFileVersion(const HeldFile& package)
{
    // Only a report's version is ever read from a package no longer held.
    VersionQuad v;  // zero when unreadable: a failed read leaves it
    if (!package.Held())
        static_cast<void>(GetFileVersionQuad(files_.PackagePath(), &v.major, &v.minor, &v.build, &v.revision));
    else
        v = ProductVersion(package);
    log_.Line("CDownloader::ReadDownFileVersion", "downed file version is %d.%d.%d.%d", v.major, v.minor, v.build,
              v.revision);
    return v;
}

Verdict PackageJudge::BeNeedDown(const LobbyVerInfo& info, bool updateRequested, PrivateCopy* copy)
{
    const std::string path = files_.PackagePath();
    // Other programs of the user may write the folder: what is checked here
    // must be what is launched, so the checks read a private copy of it.
    HeldFile package = files_.HoldPackage("CDownloader::BeNeedDown");
    if (!package.Held()) return Verdict::Download;  // the download's rename replaces it, or fails
    PrivateCopy checked = CopyOf(package, "CDownloader::BeNeedDown");
    package.Release();
    if (!checked.Made()) return Verdict::Download;
    const HeldFile& file = checked.File();
    const VersionQuad& newest = info.newest;
    const VersionQuad local = ProductVersion(file);
    auto discard = [&](const char* why) {
        if (why) log_.Line("CDownloader::BeNeedDown", "%s", why);
        files_.Remove(path);
        return Verdict::Download;
    };
    auto keep = [&](Verdict verdict) {
        if (copy) *copy = std::move(checked);
        return verdict;
    };
    if (local != newest && FirstThreeZero(local)) return discard("local file's version is wrong");
    // Whatever the reply says and whatever the user would choose.
    if (VersionBelowFloor(local, floor_)) return discard("local ver below the minimum package version");
    if (!IsTrustedFrom(file, publisher_)) return discard("local file's trust is invalid");
    if (local == newest && !Md5Matches(file, info.md5)) return discard("ver same but md5 not");
    if (VersionTextGreater(FormatVersion(local), FormatVersion(newest)))
        return discard("new ver smaller than local ver");

    switch (info.upStyle) {
    case 1: return local == newest ? keep(Verdict::Ready) : discard(nullptr);
    case 2:
        if (updateRequested) return Verdict::UpdateRequested;  // the download replaces it
        return keep(local == newest ? Verdict::Ready : Verdict::OfferUpdate);
    case 3: return FirstThreeEqual(local, newest) ? keep(Verdict::Ready) : discard(nullptr);
    default: return discard(nullptr);
    }
}

bool PackageJudge::Accept(const LobbyVerInfo& info, HeldFile& package, PrivateCopy* copy, VersionQuad* downVersion)
{
    const char* name = "CDownloader::DownFinished";
    const std::string path = files_.PackagePath();
    PrivateCopy checked = CopyOf(package, name);
    package.Release();
    if (!checked.Made()) return false;
    const HeldFile& file = checked.File();
    // The checks that read the whole file run at once; their verdicts are
    // still taken one by one, in order.
    PendingMd5 md5(file);
    bool trusted = false;
    WorkerCall trust([&] { trusted = IsTrustedFrom(file, publisher_); });
    const VersionQuad down = ReadDownFileVersion(file);
    *downVersion = down;
    auto reject = [&](const char* why, ErrorType type, const std::string& version) {
        log_.Line(name, "%s", why);
        reports_.PostOnce(type, version);
        trust.Wait();
        md5.Cancel();
        files_.Remove(path);
        return false;
    };
    const std::string newestText = FormatVersion(info.newest);
    const std::string downText = FormatVersion(down);

    if (FirstThreeZero(down)) return reject("get local file's version faile", ErrorType::VersionUnreadable, newestText);
    trust.Wait();
    if (!trusted) return reject("local file's trust is invalid", ErrorType::TrustInvalid, downText);
    // The reply offered no older version (it would not have been taken), so
    // this file is lower than the offer, and not acceptable as another build.
    if (VersionBelowFloor(down, floor_))
        return reject("local ver below the minimum package version", ErrorType::VersionLower, downText);
    if (VersionTextGreater(downText, newestText))
        return reject("local ver bigger than newest", ErrorType::VersionHigher, downText);
    if (VersionTextGreater(newestText, downText)) {
        log_.Line(name, "local ver smaller than newest");
        reports_.PostOnce(ErrorType::VersionLower, downText);
    }
    if (down != info.newest) {
        // An operator's cache may serve another build; it is accepted as it is.
        log_.Line(name, "Operator cache");
        reports_.PostOnce(ErrorType::VersionMismatch, downText);
        *copy = std::move(checked);
        return true;  // without the digest
    }
    if (!SameTextIgnoringCase(md5.Wait(), info.md5))
        return reject("local file's md5 not equal remote's", ErrorType::Md5Mismatch, downText);
    *copy = std::move(checked);
    return true;
}
