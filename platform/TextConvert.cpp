#include "platform/TextConvert.h"

#include <windows.h>

namespace {

std::wstring MultiToWide(UINT codePage, const std::string& text, bool* ok)
{
    *ok = true;
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) {
        *ok = false;
        return {};
    }
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string WideToMulti(UINT codePage, const std::wstring& text, bool* ok)
{
    *ok = true;
    if (text.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        *ok = false;
        return {};
    }
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& utf8)
{
    bool ok;
    return MultiToWide(CP_UTF8, utf8, &ok);
}

std::string WideToUtf8(const std::wstring& wide)
{
    bool ok;
    return WideToMulti(CP_UTF8, wide, &ok);
}

std::string Utf8ToAnsi(const std::string& utf8)
{
    if (utf8.empty()) return {};
    bool ok;
    std::wstring wide = MultiToWide(CP_UTF8, utf8, &ok);
    if (!ok) return utf8;
    std::string ansi = WideToMulti(CP_ACP, wide, &ok);
    return ok ? ansi : utf8;
}
