// Download benchmark for the engine, run by scripts/bench-engine; prints
// figures, asserts nothing.
//   bench_engine download URL TARGET SIZE   fetch URL into TARGET (made here at full size)
//   bench_engine idle SECONDS               CPU time of a started engine with nothing to do
//   bench_engine reads URL SIZE CONNECTIONS HOW
//                                           WinINet alone, without the engine: each connection GETs
//                                           its share of URL, read as the engine reads (HOW
//                                           engine-sized: HttpRangeRequest::ReadSome) or in whole
//                                           64 KiB reads (whole-64KiB)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/CBreakpointCfg.h"
#include "engine/CDownloadTask.h"
#include "engine/CThreadsManager.h"
#include "engine/RangeBook.h"
#include "engine/DownloadEvents.h"
#include "support/PostingObserver.h"
#include "engine/ProgressRecord.h"
#include "engine/StartDownload.h"
#include "net/HttpHandles.h"
#include "net/HttpRangeRequest.h"
#include "net/ServerEndpoints.h"
#include "platform/TextConvert.h"

namespace {

int g_finalEvent = -1;
int64_t g_done = 0;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_DOWNLOAD_EVENT) return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (wParam == EVENT_PROGRESS || wParam == EVENT_DOWNLOADED) {
        auto* record = reinterpret_cast<ProgressRecord*>(lParam);
        g_done = record->done;
        delete record;
    }
    if (wParam == EVENT_DOWNLOADED || wParam == EVENT_FAILED) g_finalEvent = static_cast<int>(wParam);
    return 0;
}

double Seconds(const FILETIME& t)
{
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

void CpuTimes(double& user, double& kernel)
{
    FILETIME created, exited, k, u;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &k, &u);
    user = Seconds(u);
    kernel = Seconds(k);
}

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

HWND MakeWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuorvexEngineBench";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

bool MakeTarget(const std::string& path, int64_t size)
{
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = size;
    bool sized = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return sized;
}

int Download(const std::string& url, const std::string& target, int64_t size)
{
    if (!MakeTarget(target, size)) {
        fprintf(stderr, "cannot make %s\n", target.c_str());
        return 1;
    }
    HWND window = MakeWindow();
    auto observer = std::make_unique<PostingObserver>(window);
    CThreadsManager* engine = CThreadsManager::Instance();
    // As the installer does: wWinMain starts the engine, and the job's
    // DownQuorvex restarts it, which adds a second set of threads.
    engine->Start();
    engine->Restart();

    double user0, kernel0, user1, kernel1;
    CpuTimes(user0, kernel0);
    const double began = Now();
    if (!StartDownload(url.c_str(), target, engine, size, 1, GetTickCount())) {
        fprintf(stderr, "the download did not start\n");
        return 1;
    }
    MSG msg;
    while (g_finalEvent < 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    const double seconds = Now() - began;
    CpuTimes(user1, kernel1);
    const size_t threads = engine->DownloadThreadNames().size();
    engine->Stop();
    CBreakpointCfg::Instance()->ClearSegments();
    observer.reset();
    DestroyWindow(window);

    printf("engine %s bytes=%lld seconds=%.3f MBps=%.1f cpu_user=%.2f cpu_kernel=%.2f ranges=%u threads=%u\n",
           g_finalEvent == EVENT_DOWNLOADED ? "ok" : "FAILED", static_cast<long long>(g_done), seconds,
           static_cast<double>(g_done) / seconds / 1e6, user1 - user0, kernel1 - kernel0,
           static_cast<unsigned>(RangeBook::FirstRanges(size, CThreadsManager::SystemProcessorCount()).size()),
           static_cast<unsigned>(threads));
    return g_finalEvent == EVENT_DOWNLOADED ? 0 : 1;
}

int Idle(int seconds)
{
    CThreadsManager* engine = CThreadsManager::Instance();
    engine->Start();
    engine->Restart();
    double user0, kernel0, user1, kernel1;
    CpuTimes(user0, kernel0);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    CpuTimes(user1, kernel1);
    const size_t threads = engine->DownloadThreadNames().size() + 2;
    engine->Stop();
    printf("idle seconds=%d threads=%u cpu_user=%.3f cpu_kernel=%.3f\n", seconds, static_cast<unsigned>(threads),
           user1 - user0, kernel1 - kernel0);
    return 0;
}

// One connection's share of URL, read one way; the bytes read and the calls it took.
struct Share {
    int64_t first, last, bytes = 0, calls = 0;
};

void ReadAsTheEngine(const std::string& url, Share& share)
{
    HttpRangeRequest http;
    if (!http.Send(nullptr, url, share.first, share.last)) return;
    std::vector<char> buffer(CDownloadTask::kReadSize);
    DWORD got = 0;
    while (http.ReadSome(buffer.data(), static_cast<DWORD>(buffer.size()), got) == HttpRangeRequest::Read::Data) {
        share.bytes += got;
        ++share.calls;
    }
}

// What Wine returns to a read that may wait: not safe on Windows, where it
// waits until the buffer is full.
void ReadWhole(const std::string& url, Share& share)
{
    const UniqueInternetHandle session(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    const std::string range = ServerEndpoints::RangeHeader(share.first, share.last);
    const UniqueInternetHandle request(
        session ? InternetOpenUrlA(session.Get(), url.c_str(), range.c_str(), static_cast<DWORD>(range.size()),
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                : nullptr);
    std::vector<char> buffer(CDownloadTask::kReadSize);
    DWORD got = 0;
    while (request && InternetReadFile(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got) &&
           got > 0) {
        share.bytes += got;
        ++share.calls;
    }
}

int Reads(const std::string& url, int64_t size, int connections, const std::string& how)
{
    void (*read)(const std::string&, Share&) = how == "engine-sized"  ? &ReadAsTheEngine
                                               : how == "whole-64KiB" ? &ReadWhole
                                                                      : nullptr;
    if (!read || connections < 1 || size < connections) return 2;
    std::vector<Share> shares;
    for (int i = 0; i < connections; ++i) shares.push_back({size * i / connections, size * (i + 1) / connections - 1});
    double user0, kernel0, user1, kernel1;
    CpuTimes(user0, kernel0);
    const double began = Now();
    std::vector<std::thread> threads;
    for (Share& share : shares) threads.emplace_back(read, url, std::ref(share));
    for (std::thread& t : threads) t.join();
    const double seconds = Now() - began;
    CpuTimes(user1, kernel1);
    int64_t bytes = 0, calls = 0;
    for (const Share& share : shares) bytes += share.bytes, calls += share.calls;
    printf("reads how=%s bytes=%lld seconds=%.3f MBps=%.1f cpu=%.2f bytes_per_call=%lld\n", how.c_str(),
           static_cast<long long>(bytes), seconds, static_cast<double>(bytes) / seconds / 1e6,
           user1 - user0 + kernel1 - kernel0, static_cast<long long>(calls ? bytes / calls : 0));
    return bytes == size ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "download") return Download(argv[2], argv[3], std::atoll(argv[4]));
    if (argc == 3 && std::string(argv[1]) == "idle") return Idle(std::atoi(argv[2]));
    if (argc == 6 && std::string(argv[1]) == "reads")
        return Reads(argv[2], std::atoll(argv[3]), std::atoi(argv[4]), argv[5]);
    fprintf(stderr, "usage: bench_engine download URL TARGET SIZE | idle SECONDS | reads URL SIZE CONNECTIONS HOW\n");
    return 2;
}
