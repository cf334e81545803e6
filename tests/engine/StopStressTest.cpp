#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <random>
#include <set>

#include "EngineRun.h"
#include "engine/DownloadEvents.h"
#include "net/InternetCalls.h"
#include "platform/TextConvert.h"
#include "support/LocalServer.h"

namespace {

// Every handle opened and closed through WinINet, and the calls under way on
// each; what went wrong is kept as text.
struct HandleLedger {
    std::mutex lock;
    std::map<HINTERNET, HINTERNET> open;  // handle -> parent
    std::map<HINTERNET, int> busy;
    std::vector<std::string> faults;
    long opened = 0, closed = 0;

    void Opened(HINTERNET h, HINTERNET parent)
    {
        if (h == nullptr) return;
        std::lock_guard<std::mutex> hold(lock);
        if (!open.emplace(h, parent).second) faults.push_back("a handle value opened twice");
        ++opened;
    }
    void Closing(HINTERNET h)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (open.erase(h) == 0) faults.push_back("closed twice, or never opened");
        if (busy[h] != 0) faults.push_back("closed during a call on it");
        for (const auto& [child, parent] : open)
            if (parent == h) faults.push_back("closed before its child");
        ++closed;
    }
    void Call(HINTERNET h, int step)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (open.count(h) == 0) faults.push_back("a call on a handle that is not open");
        busy[h] += step;
    }
};

HandleLedger* g_ledger = nullptr;

struct Busy {
    HINTERNET h;
    explicit Busy(HINTERNET handle) : h(handle) { g_ledger->Call(h, 1); }
    ~Busy() { g_ledger->Call(h, -1); }
};

HINTERNET WINAPI CountedOpen(LPCSTR a, DWORD t, LPCSTR p, LPCSTR b, DWORD f)
{
    HINTERNET h = ::InternetOpenA(a, t, p, b, f);
    g_ledger->Opened(h, nullptr);
    return h;
}
HINTERNET WINAPI CountedConnect(HINTERNET s, LPCSTR host, INTERNET_PORT port, LPCSTR u, LPCSTR pw, DWORD service,
                                DWORD f, DWORD_PTR c)
{
    HINTERNET h = ::InternetConnectA(s, host, port, u, pw, service, f, c);
    g_ledger->Opened(h, s);
    return h;
}
HINTERNET WINAPI CountedRequest(HINTERNET c, LPCSTR v, LPCSTR o, LPCSTR ver, LPCSTR r, LPCSTR* a, DWORD f,
                                DWORD_PTR ctx)
{
    HINTERNET h = ::HttpOpenRequestA(c, v, o, ver, r, a, f, ctx);
    g_ledger->Opened(h, c);
    return h;
}
BOOL WINAPI CountedSend(HINTERNET h, LPCSTR headers, DWORD n, LPVOID body, DWORD size)
{
    Busy b(h);
    return ::HttpSendRequestA(h, headers, n, body, size);
}
BOOL WINAPI CountedQuery(HINTERNET h, LPDWORD available, DWORD f, DWORD_PTR c)
{
    Busy b(h);
    return ::InternetQueryDataAvailable(h, available, f, c);
}
BOOL WINAPI CountedRead(HINTERNET h, LPVOID buffer, DWORD size, LPDWORD got)
{
    Busy b(h);
    return ::InternetReadFile(h, buffer, size, got);
}
BOOL WINAPI CountedClose(HINTERNET h)
{
    g_ledger->Closing(h);
    return ::InternetCloseHandle(h);
}

}  // namespace

// Stops at random moments of downloads: while connecting, sending, waiting
// for a reply or reading, on a fast server and on one that trickles. Every
// handle is closed once, by the thread that uses it, never during a call on
// it, and none is left open after a stop.
TEST(StopStress, EveryHandleIsClosedOnceByItsOwnerAndNoneOutlivesAStop)
{
    HandleLedger ledger;
    g_ledger = &ledger;
    InternetCalls& calls = InternetCalls::Table();
    const InternetCalls real = calls;
    calls.InternetOpenA = CountedOpen;
    calls.InternetConnectA = CountedConnect;
    calls.HttpOpenRequestA = CountedRequest;
    calls.HttpSendRequestA = CountedSend;
    calls.InternetQueryDataAvailable = CountedQuery;
    calls.InternetReadFile = CountedRead;
    calls.InternetCloseHandle = CountedClose;

    const std::string key = LocalServer::NewKey();
    const std::string bytes = PatternBytes(1 << 20, 41);
    const std::string rel = key + "/pkg.bin";
    LocalServer::PublishFile(rel, bytes);
    const std::string fast = LocalServer::NginxFileUrl(rel);
    const std::string trickle = LocalServer::PackageUrl(key, rel);
    ASSERT_TRUE(LocalServer::SetMode(key, "trickle"));
    TempDir dir;
    const std::string target = dir.File("t.tmp");
    std::mt19937 random(12345);
    constexpr int kStops = 300;
    int stopsWithRequests = 0;
    for (int i = 0; i < kStops; ++i) {
        // Each run fetches afresh: a record left by the last stop would resume.
        DeleteFileW(Utf8ToWide(target + ".cfg").c_str());
        ASSERT_TRUE(WriteFileBytes(target, std::string(bytes.size(), '\0')));
        const long before = ledger.opened;
        {
            EngineRun run(2);
            // One stop in twenty meets a request the trickling server holds.
            ASSERT_TRUE(run.Start(i % 20 == 19 ? trickle : fast, target, static_cast<int64_t>(bytes.size()), i + 10));
            PumpFor(std::uniform_int_distribution<int>(0, 120)(random));
            run.manager.Stop();
            // A thread the stop left running (a request Wine did not let go
            // at once) closes its handles on its way out.
            PumpUntil(
                [&] {
                    std::lock_guard<std::mutex> hold(ledger.lock);
                    return ledger.open.empty();
                },
                30000);
            std::lock_guard<std::mutex> hold(ledger.lock);
            ASSERT_TRUE(ledger.open.empty()) << "after stop " << i << ": " << ledger.open.size() << " handles open";
            ASSERT_TRUE(ledger.faults.empty()) << "stop " << i << ": " << ledger.faults.front();
        }
        CBreakpointCfg::Instance()->ClearSegments();
        if (ledger.opened > before) ++stopsWithRequests;
    }
    calls = real;
    g_ledger = nullptr;
    EXPECT_GT(stopsWithRequests, kStops / 2) << "most stops met a transfer";
    std::printf("%d stops (%d during transfers): %ld handles opened, %ld closed\n", kStops, stopsWithRequests,
                ledger.opened, ledger.closed);
    EXPECT_EQ(ledger.opened, ledger.closed);
}
