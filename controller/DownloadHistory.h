#pragma once
#include <string>

#include "controller/HistoryText.h"

// Every lobby version the configuration server has offered to this user, with
// the MD5 announced for it, kept in "hi.cfg" under the user's application data.
class DownloadHistory {
public:
    using Items = HistoryItems;

    // Creates <appData>\Quorvex and <appData>\Quorvex\Downloader where missing.
    void SetFolder(const std::string& appDataFolder);
    // Reads the file, or creates it with no entries when it is absent. A file
    // that cannot be read or parsed loads as no entries.
    void Load();
    // Records a version new to the history and rewrites the file; false when
    // the version is known already or the file could not be replaced. The old
    // file stays whole when the rewrite fails.
    bool Add(const std::string& version, const std::string& md5);

    std::string FilePath() const { return folder_ + "\\hi.cfg"; }
    const Items& Entries() const { return items_; }

private:
    [[nodiscard]] bool WriteFile(const std::string& text) const;

    Items items_;  // version text -> (version text, MD5 text), in byte order
    std::string folder_;
};
