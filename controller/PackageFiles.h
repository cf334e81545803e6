#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/HeldFile.h"
#include "platform/VersionQuad.h"

class CLog;

// The package's files in the program's folder: the final package, the
// temporary one the engine writes and its resume record. The folder may be
// written by other programs of the user, so planted links are left alone.
class PackageFiles {
public:
    PackageFiles(CLog& log, const std::string& programFolder, const std::string& siteId);
    virtual ~PackageFiles() = default;

    // Empty without a folder: the name would be at the root of the drive.
    std::string PackagePath() const;
    std::string TempPath(const VersionQuad& newest) const;

    // Holds the final package for its checks and its launch, waiting a
    // moment for a handle that another program still has on it. A package
    // that cannot be held (a link, or held by others a while longer) is
    // logged under `place`.
    [[nodiscard]] HeldFile HoldPackage(const char* place);
    // Deletes a file unless it is a planted link, which is logged and left
    // alone. False when it was not deleted (also when it is missing).
    bool Remove(const std::string& path);
    // Moves the temporary package into the final name. False only when the
    // temporary package is still there after the move failed (held open
    // throughout); a planted link is not moved and counts as done.
    [[nodiscard]] bool Rename(const std::string& temp);
    // Leaves a record beside a complete temporary package that could not be
    // renamed, so that the next start resumes with nothing to fetch.
    void KeepFinishedDownload(const std::string& temp, const std::string& url);
    // Gives the temporary package its full size before the engine writes it,
    // or keeps it for a resume record that fits it. False when it cannot be
    // made or sized.
    // *error (when given) is the system's reason for a false result.
    [[nodiscard]] bool PrepareTempFile(uint64_t size, const std::wstring& tempPath, DWORD* error = nullptr);
    // True when the program folder's volume cannot take a download of `size`
    // into `tempPath`: `needed` is what the download still has to put on the
    // volume, `available` what the user may write there. False when it fits or
    // the volume cannot be asked.
    [[nodiscard]] bool LacksSpace(uint64_t size, const std::wstring& tempPath, uint64_t& needed, uint64_t& available);
    // The total size the resume record beside the temporary package was
    // written for; -1 when there is no record with bytes left to fetch.
    int64_t RecordedSize(const std::wstring& tempPath) const;

private:
    void LogLinkedFile(const std::string& path);

    CLog& log_;
    const std::string programFolder_;
    const std::string siteId_;
};
