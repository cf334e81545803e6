// Asks the installer's own trust check about one file, the way it judges a
// downloaded package: prints "trusted" (exit 0) or "not trusted" (exit 1).
#include <cstdio>

#include "platform/IsFileTrusted.h"
#include "platform/TextConvert.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: quorvex_trust_check FILE\n", stderr);
        return 2;
    }
    const bool trusted = IsFileTrusted(WideToUtf8(argv[1]));
    std::puts(trusted ? "trusted" : "not trusted");
    return trusted ? 0 : 1;
}
