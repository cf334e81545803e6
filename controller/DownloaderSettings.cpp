#include "controller/DownloaderSettings.h"

#include "BuildConfig.h"
#include "controller/PathUtil.h"

DownloaderSettings DownloaderSettings::ForThisProgram()
{
    DownloaderSettings settings;
    settings.programFolder = GetDirectoryPart(GetModulePath());
    settings.appDataFolder = GetAppDataPath();
    settings.serverBase = QUORVEX_SERVER;
    settings.publisher = QUORVEX_PUBLISHER;
    return settings;
}
