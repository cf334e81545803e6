// Another program of the same user, in the journeys: tries to put its own
// file under the name of the installer's package, in each way such a program
// could: a replacing move, a rename of the package away, and writing over it.
// Usage: quorvex_file_swapper TARGET REPLACEMENT
// Exit status 0: the name now holds the replacement's bytes; 1: every way was
// refused (each refusal is printed).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Refused(const char* how)
{
    std::fprintf(stderr, "%s refused, error %lu\n", how, GetLastError());
}

bool WriteOver(const wchar_t* target, const wchar_t* replacement)
{
    HANDLE source = CreateFileW(replacement, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    std::vector<char> bytes(GetFileSize(source, nullptr));
    DWORD got = 0;
    const bool read = ReadFile(source, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) != FALSE;
    CloseHandle(source);
    if (!read) return false;
    HANDLE file = CreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              TRUNCATE_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Refused("writing over it");
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), got, &written, nullptr) && written == got;
    CloseHandle(file);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return 2;
    const wchar_t* target = argv[1];
    const wchar_t* replacement = argv[2];
    if (MoveFileExW(replacement, target, MOVEFILE_REPLACE_EXISTING)) return 0;
    Refused("a replacing move");
    const std::wstring away = std::wstring(target) + L".away";
    if (MoveFileExW(target, away.c_str(), 0)) {
        if (MoveFileExW(replacement, target, 0)) return 0;
        MoveFileExW(away.c_str(), target, 0);
    } else {
        Refused("a rename away");
    }
    return WriteOver(target, replacement) ? 0 : 1;
}
