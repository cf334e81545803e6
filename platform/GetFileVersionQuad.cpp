#include "platform/GetFileVersionQuad.h"

#include <windows.h>

#include <vector>

#include "platform/ByteSource.h"
#include "platform/HeldFile.h"
#include "platform/LogFailedCall.h"
#include "platform/PeProductVersion.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"

namespace {

// Reads at explicit offsets, so the handle's file pointer means nothing here.
class HandleBytes : public ByteSource {
public:
    explicit HandleBytes(HANDLE file) : file_(file)
    {
        LARGE_INTEGER size = {};
        if (GetFileSizeEx(file, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t size) const override
    {
        if (size > MAXDWORD) return false;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(file_, out, static_cast<DWORD>(size), &read, &at)) {
            LOG_FAILED_CALL("ReadFile");
            return false;
        }
        return read == size;
    }

private:
    HANDLE file_;
    uint64_t size_ = 0;
};

// The languages FindResource tries for a neutral request, in its order,
// before it takes the first the file has.
std::vector<uint16_t> ResourceLanguages()
{
    std::vector<uint16_t> languages{MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                    MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)};
    for (LANGID language : {GetThreadUILanguage(), GetUserDefaultUILanguage(), GetSystemDefaultUILanguage()}) {
        languages.push_back(language);
        languages.push_back(MAKELANGID(PRIMARYLANGID(language), SUBLANG_NEUTRAL));
        languages.push_back(MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT));
    }
    languages.push_back(MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
    return languages;
}

bool Read(HANDLE file, int32_t* major, int32_t* minor, int32_t* build, int32_t* revision)
{
    VersionQuad v;
    if (!ReadPeProductVersion(HandleBytes(file), ResourceLanguages(), &v)) return false;
    if (major) *major = v.major;
    if (minor) *minor = v.minor;
    if (build) *build = v.build;
    if (revision) *revision = v.revision;
    return true;
}

}  // namespace

bool GetFileVersionQuad(const HeldFile& file, int32_t* major, int32_t* minor, int32_t* build, int32_t* revision)
{
    // A read at an offset still moves a synchronous handle's file pointer:
    // other checks may be reading the held handle, so this one reads its own.
    const UniqueHandle own = file.Reopen();
    return own && Read(own.Get(), major, minor, build, revision);
}

bool GetFileVersionQuad(const std::string& path, int32_t* major, int32_t* minor, int32_t* build, int32_t* revision)
{
    const std::wstring widePath = Utf8ToWide(path);
    if (widePath.empty()) return false;
    const UniqueHandle file(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        LOG_FAILED_CALL("CreateFileW");
        return false;
    }
    return Read(file.Get(), major, minor, build, revision);
}
