#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "EngineRun.h"
#include "engine/DownloadEvents.h"
#include "engine/ResumeData.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "support/LocalServer.h"

namespace {

// One ranged request as nginx logged it under /slow/ or /uneven/.
struct Served {
    double start = 0;  // seconds since 1970
    double took = 0;
    int status = 0;
    int64_t first = 0;
    int64_t askedLast = 0;
    int64_t sent = 0;
    int64_t Last() const { return first + sent - 1; }
};

double UnixNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

std::vector<Served> ServedFor(const std::string& uri)
{
    std::vector<Served> served;
    std::istringstream lines(ReadFileBytes(LocalServer::BinaryDir() + "\\test-servers\\nginx-ranges.log"));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        double end = 0, took = 0;
        std::string path, range;
        Served s;
        fields >> end >> took >> path >> range >> s.status >> s.sent;
        if (path != uri || sscanf(range.c_str(), "\"bytes=%lld-%lld\"", reinterpret_cast<long long*>(&s.first),
                                  reinterpret_cast<long long*>(&s.askedLast)) != 2)
            continue;
        s.start = end - took;
        s.took = took;
        served.push_back(s);
    }
    return served;
}

// Bytes served more than once, and whether every byte of 0..size-1 was served.
int64_t Overlap(std::vector<Served> served, int64_t size, bool* covered = nullptr)
{
    std::sort(served.begin(), served.end(), [](const Served& a, const Served& b) { return a.first < b.first; });
    int64_t twice = 0, next = 0;
    bool gap = false;
    for (const Served& s : served) {
        if (s.sent <= 0) continue;
        if (s.first > next) gap = true;
        twice += std::max<int64_t>(0, std::min(next, s.Last() + 1) - s.first);
        next = std::max(next, s.Last() + 1);
    }
    if (covered != nullptr) *covered = !gap && next >= size;
    return twice;
}

// Polls nginx's log until the served requests cover the whole file: the log
// line of a request is written just after its last byte is sent.
std::vector<Served> AllServed(const std::string& uri, int64_t size)
{
    std::vector<Served> served;
    bool covered = false;
    for (int i = 0; i < 100 && !covered; ++i) {
        if (i > 0) Sleep(100);
        served = ServedFor(uri);
        Overlap(served, size, &covered);
    }
    return served;
}

struct SlowPackage {
    std::string key = LocalServer::NewKey();
    int64_t size;
    std::string bytes;
    std::string uri;
    std::string url;
    TempDir dir;
    std::string target = dir.File("TzGameSetup7.7.7.7.tmp");

    SlowPackage(const char* location, int64_t perThread, unsigned pattern)
        : size(perThread * CThreadsManager::DownloadThreadsPerStart(CThreadsManager::SystemProcessorCount())),
          bytes(PatternBytes(static_cast<size_t>(size), pattern))
    {
        LocalServer::PublishFile(key + "/pkg.bin", bytes);
        uri = std::string("/") + location + "/" + key + "/pkg.bin";
        url = LocalServer::NginxUrl() + uri;
        WriteFileBytes(target, std::string(bytes.size(), '\0'));
    }
};

}  // namespace

// Run by the next test as a process of its own, which kills it once half
// the file is on disk.
TEST(EngineChild, DownloadUntilKilled)
{
    const char* job = getenv("QUORVEX_CRASH_CHILD");
    if (job == nullptr) GTEST_SKIP() << "run only by KilledHalfwayResumesFromTheLastRecord";
    std::istringstream fields(job);
    std::string url, target, event, size;
    std::getline(fields, url, '|');
    std::getline(fields, target, '|');
    std::getline(fields, event, '|');
    std::getline(fields, size, '|');
    const int64_t total = std::atoll(size.c_str());

    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, total, 3));
    ASSERT_TRUE(PumpUntil([&] { return run.window.LastDone() >= total / 2; }, 120000));
    UniqueHandle half(OpenEventW(EVENT_MODIFY_STATE, FALSE, Utf8ToWide(event).c_str()));
    SetEvent(half.Get());
    PumpFor(60000);
    exit(1);  // not killed
}

TEST(RangesServed, KilledHalfwayResumesFromTheLastRecord)
{
    // 512 KiB/s per request: half the file takes about 5 seconds on any
    // machine, so two records are written before the kill, and it falls
    // between two records rather than on one.
    SlowPackage pkg("slow", 5 << 20, 31);
    const std::string eventName = "QuorvexCrashHalf" + pkg.key;
    UniqueHandle half(CreateEventW(nullptr, TRUE, FALSE, Utf8ToWide(eventName).c_str()));
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=EngineChild.DownloadUntilKilled";
    const std::string job = pkg.url + "|" + pkg.target + "|" + eventName + "|" + std::to_string(pkg.size);
    SetEnvironmentVariableW(L"QUORVEX_CRASH_CHILD", Utf8ToWide(job).c_str());
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"QUORVEX_CRASH_CHILD", nullptr);
    UniqueHandle childThread(child.hThread), childProcess(child.hProcess);
    HANDLE waits[2] = {half.Get(), childProcess.Get()};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 180000);
    // As hard as a crash: no destructor, no orderly stop, no record at exit.
    TerminateProcess(childProcess.Get(), 9);
    WaitForSingleObject(childProcess.Get(), INFINITE);
    const double killed = UnixNow();
    ASSERT_EQ(woke, WAIT_OBJECT_0) << "the child did not reach half the file";

    // The record of a running download passes the checks of a resume, and
    // every byte it does not name is on disk.
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(pkg.target + ".cfg", data));
    ASSERT_TRUE(data.Fits(pkg.target, pkg.size));
    std::string onDisk = ReadFileBytes(pkg.target), expected = pkg.bytes;
    for (const auto& s : data.segments) {
        if (s->start > s->end) continue;
        memset(&onDisk[s->start], 0, s->end - s->start + 1);
        memset(&expected[s->start], 0, s->end - s->start + 1);
    }
    EXPECT_TRUE(onDisk == expected) << "the record claims bytes that are not on disk";

    Sleep(200);  // requests of the next run start measurably after the kill
    {
        EngineRun run;
        ASSERT_TRUE(run.Start(pkg.url, pkg.target, pkg.size, 4));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED, 120000));
        EXPECT_GE(run.window.Events().front().record.done, pkg.size - data.RemainingBytes());
    }
    EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes) << "the resumed file differs from the served one";

    std::vector<Served> before, after;
    for (const Served& s : AllServed(pkg.uri, pkg.size)) (s.start < killed ? before : after).push_back(s);
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(after.empty());
    // A range that the record shows under way never starts again at its first
    // byte. On a loaded machine a range may not have moved before the last
    // record: starting it afresh then loses nothing.
    for (const RangeBook::Span& r : SplitHere(pkg.size)) {
        const bool untouched =
            std::any_of(data.segments.begin(), data.segments.end(), [&](const auto& s) { return s->start == r.first; });
        if (untouched) continue;
        for (const Served& again : after) EXPECT_NE(again.first, r.first) << "a range started again at its first byte";
    }
    // Fetched twice: what the first run was sent after its last record.
    // Records come every 2 seconds, so that is at most about 2 seconds' worth.
    double firstStart = killed;
    int64_t sentBefore = 0;
    for (const Served& s : before) {
        firstStart = std::min(firstStart, s.start);
        sentBefore += s.sent;
    }
    const double rate = static_cast<double>(sentBefore) / (killed - firstStart);
    std::vector<Served> all(before);
    all.insert(all.end(), after.begin(), after.end());
    const int64_t twice = Overlap(all, pkg.size);
    printf("[ figures  ] %.0f bytes/s before the kill; %lld bytes fetched twice (%.2f s worth)\n", rate,
           static_cast<long long>(twice), static_cast<double>(twice) / rate);
    EXPECT_LE(static_cast<double>(twice), 2.5 * rate) << "more than about 2 seconds of the download was lost";
}

TEST(RangesServed, IdleConnectionsTakeOverFromASlowOneWithoutFetchingAByteTwice)
{
    // Requests from below byte 3,000,000 (the first range, nearly) run at
    // 2 MiB/s, every other one at 384 KiB/s: the first connection finishes
    // early and must help.
    SlowPackage pkg("uneven", 3 << 20, 32);
    {
        EngineRun run;
        ASSERT_TRUE(run.Start(pkg.url, pkg.target, pkg.size, 6));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED, 120000));
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    }
    EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes) << "the file differs from the served one";

    const std::vector<Served> served = AllServed(pkg.uri, pkg.size);
    bool covered = false;
    EXPECT_EQ(Overlap(served, pkg.size, &covered), 0) << "nginx sent some bytes twice";
    EXPECT_TRUE(covered);
    // Without a split the requests of one range follow each other; after
    // one, two connections work in the same range at once.
    bool together = false;
    for (const RangeBook::Span& r : SplitHere(pkg.size))
        for (const Served& a : served)
            for (const Served& b : served)
                together = together || (a.first < b.first && a.first >= r.first && b.Last() <= r.last &&
                                        b.start < a.start + a.took);
    EXPECT_TRUE(together) << "no idle connection took over part of a range";
}
