#include "platform/GetFileVersionQuad.h"

#include <windows.h>

#include <vector>

#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"

bool GetFileVersionQuad(const std::string& path, int32_t* major, int32_t* minor, int32_t* build, int32_t* revision)
{
    std::wstring widePath = Utf8ToWide(path);
    if (widePath.empty()) return false;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &handle);
    if (size == 0) {
        LOG_FAILED_CALL("GetFileVersionInfoSizeW");
        return false;
    }

    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, data.data())) {
        LOG_FAILED_CALL("GetFileVersionInfoW");
        return false;
    }

    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &block, &length)) return false;
    // A truncated resource must not be read past its end.
    if (!block || length < sizeof(VS_FIXEDFILEINFO)) return false;

    const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    if (info->dwSignature != VS_FFI_SIGNATURE) return false;
    if (major) *major = HIWORD(info->dwProductVersionMS);
    if (minor) *minor = LOWORD(info->dwProductVersionMS);
    if (build) *build = HIWORD(info->dwProductVersionLS);
    if (revision) *revision = LOWORD(info->dwProductVersionLS);
    return true;
}
