#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "EventWindow.h"
#include "engine/CBreakpointCfg.h"
#include "engine/CThreadsManager.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineLists.h"
#include "engine/ResumeData.h"
#include "engine/StartDownload.h"
#include "platform/TextConvert.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"

namespace {

constexpr DWORD kLongWaitMs = 60000;
const wchar_t kChildVariable[] = L"QUORVEX_ENGINE_CHILD";

// The target as the controller prepares it: full size, zero-filled.
bool PrepareTarget(const std::string& path, int64_t size)
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

// One request in nginx's access log.
struct Served {
    int status;
    int64_t bytes;
};

std::string AccessLogPath() { return LocalServer::BinaryDir() + "\\test-servers\\nginx-access.log"; }

int64_t AccessLogSize() { return static_cast<int64_t>(ReadFileBytes(AccessLogPath()).size()); }

// Requests for urlPath logged after the given offset of the log.
std::vector<Served> ServedSince(int64_t offset, const std::string& urlPath)
{
    std::vector<Served> served;
    std::istringstream lines(ReadFileBytes(AccessLogPath()).substr(static_cast<size_t>(offset)));
    std::string line;
    while (std::getline(lines, line)) {
        size_t request = line.find(" " + urlPath + " ");
        if (request == std::string::npos) continue;
        size_t quote = line.find('"', request);
        if (quote == std::string::npos) continue;
        std::istringstream rest(line.substr(quote + 1));
        Served s{};
        rest >> s.status >> s.bytes;
        served.push_back(s);
    }
    return served;
}

int64_t BytesServed(const std::vector<Served>& served)
{
    int64_t total = 0;
    for (const Served& s : served) total += s.bytes;
    return total;
}

std::string UrlPath(const std::string& url) { return url.substr(url.find('/', url.find("://") + 3)); }

// Waits until nginx has logged the ends of the requests it is still serving.
void SettleAccessLog()
{
    int64_t size = AccessLogSize();
    for (int i = 0; i < 40; ++i) {
        Sleep(250);
        int64_t now = AccessLogSize();
        if (now == size && i >= 1) return;
        size = now;
    }
}

// One engine run for one download, collecting its events.
struct EngineRun {
    EventWindow window;
    CThreadsManager manager;

    explicit EngineRun(unsigned processors = 0) : manager(processors) { manager.Start(); }
    ~EngineRun()
    {
        manager.Stop();
        CBreakpointCfg::Instance()->ClearSegments();
    }

    bool Start(const std::string& url, const std::string& target, int64_t size, int32_t taskId = 1)
    {
        return StartDownload(url.c_str(), target, &manager, size, taskId, GetTickCount());
    }
    bool WaitDownloaded(DWORD ms = kLongWaitMs)
    {
        return window.WaitFor([&] { return window.Count(EVENT_DOWNLOADED) > 0; }, ms);
    }
    bool WaitFailed(DWORD ms = kLongWaitMs)
    {
        return window.WaitFor([&] { return window.Count(EVENT_FAILED) > 0; }, ms);
    }
};

std::string RecordPath(const std::string& target) { return target + ".cfg"; }

} // namespace

TEST(Download, LargeFileArrivesInParallelRangesByteIdentical)
{
    const std::string key = LocalServer::NewKey();
    const int64_t size = 64 << 20;
    const std::string source = PatternBytes(static_cast<size_t>(size), 11);
    LocalServer::PublishFile(key + "/big.bin", source);
    const std::string url = LocalServer::NginxFileUrl(key + "/big.bin");
    TempDir dir;
    const std::string target = dir.File("TzGameSetup9.9.9.9.tmp");
    ASSERT_TRUE(PrepareTarget(target, size));
    const int64_t logStart = AccessLogSize();

    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, size, 5));
    ASSERT_TRUE(run.WaitDownloaded());
    run.window.Pump(300);
    run.manager.Stop();

    EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 1);
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    int64_t previous = 0;
    for (const auto& e : run.window.Events()) {
        EXPECT_GE(e.record.done, previous);
        EXPECT_EQ(e.record.taskId, 5);
        EXPECT_EQ(e.record.totalSize, size);
        previous = e.record.done;
    }
    EXPECT_EQ(previous, size);
    EXPECT_TRUE(ReadFileBytes(target) == source) << "the file differs from the served one";
    EXPECT_FALSE(FileExists(RecordPath(target)));

    SettleAccessLog();
    std::vector<Served> served = ServedSince(logStart, UrlPath(url));
    const size_t ranges = SplitRanges(size, CThreadsManager::SystemProcessorCount()).size();
    EXPECT_EQ(served.size(), ranges);
    for (const Served& s : served) EXPECT_EQ(s.status, 206) << "every request is a range";
    EXPECT_EQ(BytesServed(served), size) << "no byte fetched twice";
}

// Run by the next test in a process of its own: downloads until about half
// the file is on disk, stops the engine and leaves, so the resume record is
// written at process exit like after a real interruption.
TEST(EngineChild, DownloadHalfThenExit)
{
    const char* job = getenv("QUORVEX_ENGINE_CHILD");
    if (job == nullptr) GTEST_SKIP() << "only run as the child of StoppedHalfwayResumesInANewProcess";
    std::istringstream fields(job);
    std::string url, target, sizeText;
    std::getline(fields, url, '|');
    std::getline(fields, target, '|');
    std::getline(fields, sizeText, '|');
    const int64_t size = std::atoll(sizeText.c_str());

    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, size, 3));
    ASSERT_TRUE(run.window.WaitFor(
        [&] {
            const EventWindow::Event* last = run.window.Last(EVENT_PROGRESS);
            return last != nullptr && last->record.done >= size / 3;
        },
        kLongWaitMs));
    run.manager.Stop();
    EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 0);
    EXPECT_GE(CBreakpointCfg::Instance()->SegmentCount(), 1u);
    // Leave as the program does: threads ended, then the process-wide objects
    // go and the record is written. the run's destructor would drop the segments.
    exit(::testing::Test::HasFailure() ? 1 : 0);
}

TEST(Download, StoppedHalfwayResumesInANewProcess)
{
    const std::string key = LocalServer::NewKey();
    const int64_t size = 64 << 20;
    const std::string source = PatternBytes(static_cast<size_t>(size), 12);
    LocalServer::PublishFile(key + "/resume.bin", source);
    const std::string url = LocalServer::NginxFileUrl(key + "/resume.bin");
    TempDir dir;
    const std::string target = dir.File("TzGameSetup1.2.3.4.tmp");
    ASSERT_TRUE(PrepareTarget(target, size));
    const int64_t logStart = AccessLogSize();

    // The first run, in a process of its own.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=EngineChild.DownloadHalfThenExit";
    SetEnvironmentVariableW(kChildVariable, Utf8ToWide(url + "|" + target + "|" + std::to_string(size)).c_str());
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                        &child);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    ASSERT_TRUE(started);
    const DWORD waited = WaitForSingleObject(child.hProcess, kLongWaitMs);
    DWORD exitCode = 1;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    ASSERT_EQ(exitCode, 0u);

    // What the record says is missing is all that is missing.
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(RecordPath(target), data));
    ASSERT_TRUE(data.Fits(url, target, size));
    const int64_t remaining = data.RemainingBytes();
    EXPECT_GT(remaining, 0);
    EXPECT_LT(remaining, size * 3 / 4);
    std::string onDisk = ReadFileBytes(target);
    ASSERT_EQ(static_cast<int64_t>(onDisk.size()), size);
    for (const auto& s : data.segments) {
        if (s->start <= s->end) memset(&onDisk[s->start], 0, s->end - s->start + 1);
    }
    std::string expected = source;
    for (const auto& s : data.segments) {
        if (s->start <= s->end) memset(&expected[s->start], 0, s->end - s->start + 1);
    }
    EXPECT_TRUE(onDisk == expected) << "bytes counted as done are on disk";
    onDisk.clear();
    expected.clear();

    SettleAccessLog();
    const int64_t firstRunServed = BytesServed(ServedSince(logStart, UrlPath(url)));
    const int64_t resumeStart = AccessLogSize();

    // The second run resumes from the record.
    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, size, 4));
    ASSERT_TRUE(run.WaitDownloaded());
    run.manager.Stop();
    ASSERT_FALSE(run.window.Events().empty());
    const EventWindow::Event& first = run.window.Events().front();
    EXPECT_GE(first.record.done, size - remaining);
    EXPECT_GE(first.record.percent, 100.0 * (size - remaining) / size);
    const EventWindow::Event* done = run.window.Last(EVENT_DOWNLOADED);
    EXPECT_EQ(done->record.done, size);
    EXPECT_LE(done->record.bytesPerSecond, static_cast<double>(remaining))
        << "bytes already on disk are not part of the speed";
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    EXPECT_TRUE(ReadFileBytes(target) == source) << "the resumed file differs from the served one";

    SettleAccessLog();
    EXPECT_EQ(BytesServed(ServedSince(resumeStart, UrlPath(url))), remaining)
        << "the second run fetched only what was missing";
    // The first run abandoned what was in flight (socket buffers) on each connection.
    EXPECT_GE(firstRunServed, size - remaining);
    printf("first run: %lld bytes served, %lld written; second run: %lld fetched\n",
           static_cast<long long>(firstRunServed), static_cast<long long>(size - remaining),
           static_cast<long long>(remaining));
}
