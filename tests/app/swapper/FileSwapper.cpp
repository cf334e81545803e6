// Another program of the same user, in the journeys: tries to put its own
// file under the name of the installer's package in each way such a program
// could: a replacing move, a rename of the package away, a copy over it.
// Usage: quorvex_file_swapper TARGET REPLACEMENT
// Exit status 0: the name now holds the replacement; 1: every way was
// refused (each refusal is printed).
#include <windows.h>

#include <cstdio>
#include <string>

static void Refused(const char* how) { std::fprintf(stderr, "%s refused, error %lu\n", how, GetLastError()); }

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
    }
    Refused("a rename away");
    if (CopyFileW(replacement, target, FALSE)) return 0;
    Refused("a copy over it");
    return 1;
}
