#include <gtest/gtest.h>

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

const int64_t kSize = 64 << 20;

std::string AccessLog() { return ReadFileBytes(LocalServer::BinaryDir() + "\\test-servers\\nginx-access.log"); }

// Waits until nginx has logged the end of every request it was serving.
size_t SettledLogSize()
{
    size_t size = AccessLog().size();
    for (int i = 0; i < 40; ++i) {
        Sleep(250);
        const size_t now = AccessLog().size();
        if (now == size) return now;
        size = now;
    }
    return size;
}

// Status and body bytes of nginx's requests for the URL's path logged past offset.
std::vector<std::pair<int, int64_t>> Served(size_t offset, const std::string& url)
{
    const std::string path = " " + url.substr(url.find('/', url.find("://") + 3)) + " ";
    std::vector<std::pair<int, int64_t>> served;
    std::istringstream lines(AccessLog().substr(offset));
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find(path);
        if (at == std::string::npos) continue;
        std::istringstream rest(line.substr(line.find('"', at) + 1));
        std::pair<int, int64_t> s;
        rest >> s.first >> s.second;
        served.push_back(s);
    }
    return served;
}

int64_t BytesOf(const std::vector<std::pair<int, int64_t>>& served)
{
    int64_t total = 0;
    for (const auto& s : served) total += s.second;
    return total;
}

std::string Publish(const std::string& name, unsigned pattern, std::string& bytes)
{
    const std::string key = LocalServer::NewKey();
    bytes = PatternBytes(kSize, pattern);
    LocalServer::PublishFile(key + "/" + name, bytes);
    return LocalServer::NginxFileUrl(key + "/" + name);
}

}  // namespace

TEST(Download, LargeFileArrivesInParallelRangesByteIdentical)
{
    std::string source;
    const std::string url = Publish("big.bin", 11, source);
    TempDir dir;
    const std::string target = dir.File("TzGameSetup9.9.9.9.tmp");
    ASSERT_TRUE(WriteFileBytes(target, std::string(kSize, '\0')));
    const size_t logStart = AccessLog().size();

    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, kSize, 5));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    PumpFor(300);
    EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 1);
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    int64_t previous = 0;
    for (const auto& e : run.window.Events()) {
        EXPECT_GE(e.record.done, previous);
        EXPECT_EQ(e.record.taskId, 5);
        previous = e.record.done;
    }
    EXPECT_EQ(previous, kSize);
    EXPECT_TRUE(ReadFileBytes(target) == source) << "the file differs from the served one";

    SettledLogSize();
    const auto served = Served(logStart, url);
    EXPECT_GE(served.size(), SplitHere(kSize).size());
    for (const auto& s : served) EXPECT_EQ(s.first, 206);
    EXPECT_EQ(BytesOf(served), kSize) << "no byte was fetched twice";
}

// Run by the next test as a process of its own: downloads until a third of
// the file is on disk, stops the engine and leaves the way the program does,
// so the resume record is written as the process ends.
TEST(EngineChild, DownloadPartThenExit)
{
    const char* job = getenv("QUORVEX_ENGINE_CHILD");
    if (job == nullptr) GTEST_SKIP() << "run only by StoppedHalfwayResumesInANewProcess";
    std::istringstream fields(job);
    std::string url, target;
    std::getline(fields, url, '|');
    std::getline(fields, target, '|');

    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, kSize, 3));
    ASSERT_TRUE(PumpUntil([&] { return run.window.LastDone() >= kSize / 3; }, 60000));
    run.manager.Stop();
    EXPECT_GE(CBreakpointCfg::Instance()->SegmentCount(), 1u);
    exit(::testing::Test::HasFailure() ? 1 : 0);  // the run's destructor would drop the segments
}

TEST(Download, StoppedHalfwayResumesInANewProcess)
{
    std::string source;
    const std::string url = Publish("resume.bin", 12, source);
    TempDir dir;
    const std::string target = dir.File("TzGameSetup1.2.3.4.tmp");
    ASSERT_TRUE(WriteFileBytes(target, std::string(kSize, '\0')));

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=EngineChild.DownloadPartThenExit";
    SetEnvironmentVariableW(L"QUORVEX_ENGINE_CHILD", Utf8ToWide(url + "|" + target).c_str());
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    SetEnvironmentVariableW(L"QUORVEX_ENGINE_CHILD", nullptr);
    UniqueHandle childThread(child.hThread), childProcess(child.hProcess);
    const DWORD waited = WaitForSingleObject(childProcess.Get(), 60000);
    DWORD exitCode = 1;
    GetExitCodeProcess(childProcess.Get(), &exitCode);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    ASSERT_EQ(exitCode, 0u);

    // Everything the record does not name is on disk already.
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(target + ".cfg", data));
    ASSERT_TRUE(data.Fits(target, kSize));
    const int64_t remaining = data.RemainingBytes();
    EXPECT_GT(remaining, 0);
    std::string onDisk = ReadFileBytes(target), expected = source;
    for (const auto& s : data.segments) {
        if (s->start > s->end) continue;
        memset(&onDisk[s->start], 0, s->end - s->start + 1);
        memset(&expected[s->start], 0, s->end - s->start + 1);
    }
    EXPECT_TRUE(onDisk == expected) << "bytes counted as done are on disk";

    const size_t resumeStart = SettledLogSize();
    EngineRun run;
    ASSERT_TRUE(run.Start(url, target, kSize, 4));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    const ProgressRecord& first = run.window.Events().front().record;
    EXPECT_GE(first.done, kSize - remaining) << "the progress starts where the first run stopped";
    const ProgressRecord& last = run.window.Last(EVENT_DOWNLOADED)->record;
    EXPECT_LE(last.bytesPerSecond, static_cast<double>(remaining)) << "bytes already on disk are not speed";
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    EXPECT_TRUE(ReadFileBytes(target) == source) << "the resumed file differs from the served one";
    SettledLogSize();
    EXPECT_EQ(BytesOf(Served(resumeStart, url)), remaining) << "the second run fetched only what was missing";
}
