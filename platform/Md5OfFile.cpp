#include "platform/Md5OfFile.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "platform/CSMd5.h"
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
