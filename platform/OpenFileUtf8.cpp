#include "platform/OpenFileUtf8.h"

#include "platform/TextConvert.h"

FILE* OpenFileUtf8(const std::string& path, const std::string& mode)
{
    std::wstring widePath = Utf8ToWide(path);
    std::wstring wideMode = Utf8ToWide(mode);
    if (widePath.empty() || wideMode.empty()) return nullptr;
    return _wfopen(widePath.c_str(), wideMode.c_str());
}
