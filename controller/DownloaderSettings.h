#pragma once
#include <functional>
#include <string>

#include "platform/VersionQuad.h"

// Where the controller keeps its files and which server it talks to. The
// program uses ForThisProgram(); tests point these at temporary folders and
// the local test server.
struct DownloaderSettings {
    std::string programFolder;   // site file, final and temporary packages (no trailing backslash)
    std::string appDataFolder;   // root of the log and history folders; empty when unknown
    std::string serverBase;      // configuration and statistics host, e.g. "http://host:port"
    std::string publisher;       // expected signer of packages (name or SHA-1 thumbprint); empty: any
    std::wstring privateParent;  // where checked copies of packages are made; empty: none, nothing launched
    // Prepares the checks while a download runs (worker thread); none: nothing.
    std::function<void()> warmUpChecks;
    VersionQuad minPackageVersion;  // no older package is launched; zero: no floor

    static DownloaderSettings ForThisProgram();
};
