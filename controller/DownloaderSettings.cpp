#include "controller/DownloaderSettings.h"

#include "BuildConfig.h"
#include "controller/PathUtil.h"
#include "net/ServerEndpoints.h"
#include "platform/PrivateCopy.h"
#include "platform/WarmUpFileChecks.h"

DownloaderSettings DownloaderSettings::ForThisProgram()
{
    DownloaderSettings settings;
    settings.programFolder = GetDirectoryPart(GetModulePath());
    settings.appDataFolder = GetAppDataPath();
    settings.serverBase = ServerEndpoints::ServerBase();
    settings.publisher = QUORVEX_PUBLISHER;
    settings.privateParent = PrivateCopy::DefaultParent();
    settings.warmUpChecks = WarmUpFileChecks;
    // The build checked its form; anything else would read as no floor.
    int32_t parts[4] = {};
    if (ScanVersion(QUORVEX_MIN_PACKAGE_VERSION, parts) == 4)
        settings.minPackageVersion = VersionQuad{parts[0], parts[1], parts[2], parts[3]};
    return settings;
}
