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
    return settings;
}
