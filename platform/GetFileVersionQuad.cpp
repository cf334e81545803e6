#include "platform/GetFileVersionQuad.h"

#include <windows.h>

#include <vector>

#include "platform/LogFailedCall.h"
#include "platform/TextConvert.h"
#include "platform/UniqueAny.h"

namespace {

struct ModuleTraits : NullHandleTraits<HMODULE> {
    static void Close(HMODULE m) { FreeLibrary(m); }
};
using UniqueModule = UniqueAny<ModuleTraits>;

// The version resource, copied out of the file. Loaded as a plain data file,
// the file is mapped as it lies and only the resource's pages are read;
// GetFileVersionInfo maps it as an image, which Wine does by reading all of
// it (a third of a second for a 64 MiB package).
std::vector<BYTE> VersionResource(const std::wstring& path)
{
    const UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        LOG_FAILED_CALL("LoadLibraryExW");
        return {};
    }
    HRSRC found = FindResourceW(module.Get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    if (!found) return {};
    const DWORD size = SizeofResource(module.Get(), found);
    HGLOBAL loaded = LoadResource(module.Get(), found);
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data || size == 0) return {};
    // The size is the file's word: it must not reach past the file's view.
    MEMORY_BASIC_INFORMATION view = {};
    if (VirtualQuery(data, &view, sizeof view) != sizeof view || view.State != MEM_COMMIT) return {};
    const SIZE_T inView = static_cast<const BYTE*>(view.BaseAddress) + view.RegionSize - data;
    if (size > inView) return {};
    return std::vector<BYTE>(data, data + size);
}

}  // namespace

bool GetFileVersionQuad(const std::string& path, int32_t* major, int32_t* minor, int32_t* build, int32_t* revision)
{
    const std::wstring widePath = Utf8ToWide(path);
    if (widePath.empty()) return false;
    std::vector<BYTE> data = VersionResource(widePath);
    if (data.empty()) return false;

    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &block, &length)) return false;
    // A truncated resource must not be read past its end.
    const BYTE* at = static_cast<const BYTE*>(block);
    if (!at || length < sizeof(VS_FIXEDFILEINFO) || at < data.data() ||
        at + sizeof(VS_FIXEDFILEINFO) > data.data() + data.size())
        return false;

    const VS_FIXEDFILEINFO* info = reinterpret_cast<const VS_FIXEDFILEINFO*>(at);
    if (info->dwSignature != VS_FFI_SIGNATURE) return false;
    if (major) *major = HIWORD(info->dwProductVersionMS);
    if (minor) *minor = LOWORD(info->dwProductVersionMS);
    if (build) *build = HIWORD(info->dwProductVersionLS);
    if (revision) *revision = LOWORD(info->dwProductVersionLS);
    return true;
}
