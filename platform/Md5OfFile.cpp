#include "platform/Md5OfFile.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/CSMd5.h"
#include "platform/HeldFile.h"
#include "platform/OpenFileUtf8.h"
#include "platform/TextConvert.h"

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

int32_t Md5OfFile(const std::string& path, std::string* out)
{
    if (path.empty() || !out) return -1;
    DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_ARCHIVE)) return -1;

    std::unique_ptr<FILE, FileCloser> file(OpenFileUtf8(path, "rb"));
    if (!file) return -2;
    return Md5OfStream(file.get(), out);
}

int32_t Md5OfFile(const HeldFile& file, std::string* out)
{
    if (!out || !file.Rewind()) return -2;
    return Md5OfHandle(file.Handle(), out);
}

int32_t Md5OfHandle(HANDLE file, std::string* out, const std::atomic<bool>* cancel)
{
    if (!out) return -2;
    CSMd5 md5;
    std::vector<char> piece(256 * 1024);
    for (;;) {
        DWORD got = 0;
        if ((cancel && cancel->load()) ||
            !ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr))
            return -2;
        if (got == 0) break;
        md5.Update(piece.data(), got);
    }
    *out = md5.HexDigest();
    return 0;
}

int32_t Md5OfStream(FILE* stream, std::string* out)
{
    if (!stream || !out) return -2;
    CSMd5 md5;
    char piece[1024];
    size_t got;
    while ((got = std::fread(piece, 1, sizeof(piece), stream)) > 0) md5.Update(piece, got);
    // A digest of part of the file would pass for a wrong package.
    if (std::ferror(stream)) return -2;

    *out = md5.HexDigest();
    return 0;
}
