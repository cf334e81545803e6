// How long each check of a finished package takes, run by hand on a package
// file (scripts/bench-engine link prints the checks' reads as a whole; this
// names them). Prints figures, asserts nothing.
//   bench_checks FILE [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSigner.h"
#include "platform/GetFileSize64.h"
#include "platform/GetFileVersionQuad.h"
#include "platform/HeldFile.h"
#include "platform/IsFileTrusted.h"
#include "platform/Md5OfFile.h"
#include "platform/PendingMd5.h"
#include "platform/TextConvert.h"
#include "platform/WorkerCall.h"

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename F>
void Time(const char* name, F&& f)
{
    const double began = Now();
    const std::string result = f();
    printf("  %-28s %8.3f s  %s\n", name, Now() - began, result.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_checks FILE [ROUNDS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    for (int round = 1; round <= rounds; ++round) {
        printf("round %d\n", round);
        Time("version (GetFileVersionQuad)", [&] {
            int32_t a = 0, b = 0, c = 0, d = 0;
            return GetFileVersionQuad(path, &a, &b, &c, &d)
                       ? std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d)
                       : std::string("none");
        });
        Time("trust (IsFileTrusted)", [&] { return std::string(IsFileTrusted(path) ? "trusted" : "NOT trusted"); });
        Time("signer (GetFileSigner)", [&] {
            FileSigner signer;
            return GetFileSigner(path, &signer) ? signer.name : std::string("none");
        });
        Time("MD5 (Md5OfFile)", [&] {
            std::string digest;
            return Md5OfFile(path, &digest) == 0 ? digest : std::string("failed");
        });
        Time("all at once, as a download", [&] {
            // Version here, trust and signer beside it, the digest on a third thread.
            HeldFile held(path);
            PendingMd5 md5(held);
            bool trusted = false;
            WorkerCall trust([&] {
                FileSigner signer;
                trusted = IsFileTrusted(held) && GetFileSigner(path, &signer);
            });
            int32_t a = 0, b = 0, c = 0, d = 0;
            const bool versioned = GetFileVersionQuad(path, &a, &b, &c, &d);
            trust.Wait();
            return std::string(versioned ? "versioned " : "NO version ") + (trusted ? "trusted " : "NOT trusted ") +
                   md5.Wait();
        });
        Time("size (GetFileSize64)",
             [&] { return std::to_string(static_cast<unsigned long long>(GetFileSize64(Utf8ToWide(path)))); });
    }
    return 0;
}
