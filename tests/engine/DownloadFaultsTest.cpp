#include <gtest/gtest.h>

#include <cstring>

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

constexpr DWORD kLongWaitMs = 30000;

bool PrepareTarget(const std::string& path, const std::string& contents)
{
    return WriteFileBytes(path, contents);
}

struct Engine {
    EventWindow window;
    CThreadsManager manager;

    // As each new controller task does: queue, results and held segments start empty.
    explicit Engine(unsigned threads = 0) : manager(threads) { manager.Restart(); }
    ~Engine()
    {
        manager.Stop();
        CBreakpointCfg::Instance()->ClearSegments();
    }
    bool Start(const std::string& url, const std::string& target, int64_t size)
    {
        return StartDownload(url.c_str(), target, &manager, size, 2, GetTickCount());
    }
    bool Wait(int code, DWORD ms = kLongWaitMs)
    {
        return window.WaitFor([&] { return window.Count(code) > 0; }, ms);
    }
};

// A package published under the key, served by the misbehaving server.
struct Package {
    std::string key = LocalServer::NewKey();
    std::string bytes;
    std::string url;
    TempDir dir;
    std::string target = dir.File("TzGameSetup3.0.0.1.tmp");

    Package(size_t size, unsigned seed)
        : bytes(PatternBytes(size, seed))
    {
        LocalServer::PublishFile(key + "/pkg.bin", bytes);
        url = LocalServer::PackageUrl(key, key + "/pkg.bin");
    }
    std::vector<std::string> Ranges() const
    {
        std::vector<std::string> ranges;
        for (const RecordedRequest& r : LocalServer::Requests(key)) ranges.push_back(r.range);
        return ranges;
    }
};

std::string RangeText(int64_t first, int64_t last)
{
    return "bytes=" + std::to_string(first) + "-" + std::to_string(last);
}

} // namespace

TEST(DownloadFaults, StallReconnectsFromTheCurrentPositionToTheSameEnd)
{
    Package pkg(200000, 21);
    ASSERT_TRUE(PrepareTarget(pkg.target, std::string(pkg.bytes.size(), '\0')));
    const std::vector<ByteRange> split = SplitRanges(200000, CThreadsManager::SystemProcessorCount());
    // Only the first range asked for stalls: half of it, then 1.5 s of silence.
    ASSERT_TRUE(LocalServer::SetMode(pkg.key, "stall_mid", 1));

    Engine engine;
    ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 200000));
    ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
    EXPECT_EQ(engine.window.Count(EVENT_FAILED), 0) << "a stall reconnects without a notice";
    EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);

    const std::vector<std::string> ranges = pkg.Ranges();
    ASSERT_EQ(ranges.size(), split.size() + 1);
    const std::string& stalled = ranges[0];
    bool found = false;
    for (const ByteRange& r : split) {
        if (stalled != RangeText(r.first, r.last)) continue;
        found = true;
        // Reconnected from where the written chunks end (the half that arrived,
        // less a partial chunk still in WinINet's buffer) to the same end.
        const int64_t half = (r.last - r.first + 1) / 2;
        const int64_t resumedAt = r.first + half / 4096 * 4096;
        EXPECT_EQ(ranges.back(), RangeText(resumedAt, r.last));
    }
    EXPECT_TRUE(found) << stalled;
}

TEST(DownloadFaults, BrokenRepliesEndInARetryOrAFailureNeverInAWrongFile)
{
    {
        SCOPED_TRACE("the reply ends early once: a failure notice, then the retry completes the file");
        Package pkg(300000, 22);
        ASSERT_TRUE(PrepareTarget(pkg.target, std::string(pkg.bytes.size(), '\0')));
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "short", 1));
        Engine engine;
        ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 300000));
        ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
        EXPECT_EQ(engine.window.Count(EVENT_FAILED), 1);
        EXPECT_EQ(engine.window.Count(EVENT_DOWNLOADED), 1);
        EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);
    }
    {
        SCOPED_TRACE("longer replies than asked for: only the range's bytes are written and counted");
        Package pkg(300000, 23);
        ASSERT_TRUE(PrepareTarget(pkg.target, std::string(pkg.bytes.size(), '\0')));
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "extra"));
        Engine engine;
        ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 300000));
        ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
        engine.window.Pump(300);
        EXPECT_EQ(engine.window.Count(EVENT_DOWNLOADED), 1);
        EXPECT_EQ(engine.window.Last(EVENT_DOWNLOADED)->record.done, 300000);
        EXPECT_EQ(engine.window.Count(EVENT_FAILED), 0);
        EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);
    }
    {
        SCOPED_TRACE("Range ignored: no range but the first may use the whole-file reply");
        Package pkg(300000, 24);
        const std::string before(pkg.bytes.size(), '\x5A');
        ASSERT_TRUE(PrepareTarget(pkg.target, before));
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "norange"));
        Engine engine;
        ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 300000));
        ASSERT_TRUE(engine.Wait(EVENT_FAILED));
        engine.window.Pump(800);
        EXPECT_EQ(engine.window.Count(EVENT_DOWNLOADED), 0);
        const std::vector<ByteRange> split = SplitRanges(300000, CThreadsManager::SystemProcessorCount());
        const std::string onDisk = ReadFileBytes(pkg.target);
        // The first range may be complete; nothing else was written anywhere.
        const size_t firstEnd = static_cast<size_t>(split[0].last + 1);
        EXPECT_TRUE(onDisk.substr(firstEnd) == before.substr(firstEnd));
        EXPECT_TRUE(onDisk.substr(0, firstEnd) == pkg.bytes.substr(0, firstEnd) ||
                    onDisk.substr(0, firstEnd) == before.substr(0, firstEnd));

        // Once the server honours ranges again the retries complete the file.
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "normal"));
        ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
        EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);
    }
    {
        SCOPED_TRACE("an error page is not package bytes");
        Package pkg(50000, 25);
        const std::string before(pkg.bytes.size(), '\x5A');
        ASSERT_TRUE(PrepareTarget(pkg.target, before));
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "404"));
        Engine engine;
        ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 50000));
        ASSERT_TRUE(engine.Wait(EVENT_FAILED));
        engine.window.Pump(500);
        EXPECT_EQ(engine.window.Count(EVENT_DOWNLOADED), 0);
        EXPECT_TRUE(ReadFileBytes(pkg.target) == before);
    }
}

TEST(DownloadFaults, ResumeStartsAtItsPercentageAndSpeedCountsOnlyNewBytes)
{
    Package pkg(1000, 26);
    // On disk: everything but 0-99 and 200-299, which still hold zeros.
    std::string partial = pkg.bytes;
    memset(&partial[0], 0, 100);
    memset(&partial[200], 0, 100);
    ASSERT_TRUE(PrepareTarget(pkg.target, partial));
    {
        CBreakpointCfg record; // written when it goes, as at the end of an earlier run
        record.SetTarget(pkg.target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, pkg.url, pkg.target));
        record.AddSegment(ResumeSegment::Make(200, 299, pkg.url, pkg.target));
        record.AddSegment(ResumeSegment::Make(300, 299, pkg.url, pkg.target)); // stopped after its last chunk
    }
    // The first two requests are refused, so the progress starts before any new byte.
    ASSERT_TRUE(LocalServer::SetMode(pkg.key, "reset", 2));

    Engine engine;
    ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 1000));
    ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
    const EventWindow::Event* first = nullptr;
    for (const auto& e : engine.window.Events()) {
        if (e.hasRecord) {
            first = &e;
            break;
        }
    }
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->record.done, 800);
    EXPECT_DOUBLE_EQ(first->record.percent, 80.0);
    EXPECT_DOUBLE_EQ(first->record.bytesPerSecond, 0.0);
    const EventWindow::Event* last = engine.window.Last(EVENT_DOWNLOADED);
    EXPECT_EQ(last->record.done, 1000);
    EXPECT_DOUBLE_EQ(last->record.bytesPerSecond, 200.0 / last->record.elapsedSeconds);
    EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);
    for (const std::string& range : pkg.Ranges())
        EXPECT_TRUE(range == "bytes=0-99" || range == "bytes=200-299") << range;
}

TEST(DownloadFaults, StopRecordsRunningAbandonedAndQueuedRanges)
{
    const unsigned processors = CThreadsManager::SystemProcessorCount();
    Package pkg(100000 * processors, 27);
    const int64_t size = static_cast<int64_t>(pkg.bytes.size());
    ASSERT_TRUE(PrepareTarget(pkg.target, std::string(pkg.bytes.size(), '\0')));
    const std::vector<ByteRange> split = SplitRanges(size, processors);
    // Every request sends half its range and then falls silent.
    ASSERT_TRUE(LocalServer::SetMode(pkg.key, "stall", -1, 20000));

    Engine engine(1); // one download thread: the other ranges wait in the queue
    ASSERT_TRUE(engine.Start(pkg.url, pkg.target, size));
    const int64_t half = (split[0].last - split[0].first + 1) / 2;
    ASSERT_TRUE(engine.window.WaitFor(
        [&] {
            const EventWindow::Event* p = engine.window.Last(EVENT_PROGRESS);
            return p != nullptr && p->record.done == half;
        },
        kLongWaitMs));
    engine.manager.Stop();

    CBreakpointCfg* record = CBreakpointCfg::Instance();
    ASSERT_EQ(record->SegmentCount(), split.size());
    ASSERT_TRUE(record->Save());
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(pkg.target + ".cfg", data));
    ASSERT_EQ(data.segments.size(), split.size());
    EXPECT_EQ(data.segments[0]->start, split[0].first + half);
    EXPECT_EQ(data.segments[0]->end, split[0].last);
    for (size_t i = 1; i < split.size(); ++i) {
        EXPECT_EQ(data.segments[i]->start, split[i].first);
        EXPECT_EQ(data.segments[i]->end, split[i].last);
    }
    EXPECT_TRUE(data.Fits(pkg.url, pkg.target, size));
    EXPECT_EQ(TaskQueue().Count(), 0u);
    record->RemoveRecordFile();
}

TEST(DownloadFaults, StartsThatCannotWorkFailCleanly)
{
    EventWindow window;
    CThreadsManager stopped(1);
    TempDir dir;
    const std::string target = dir.File("t.tmp");
    ASSERT_TRUE(PrepareTarget(target, "x"));
    EXPECT_FALSE(StartDownload("http://127.0.0.1/x", target, &stopped, 1, 1, GetTickCount())) << "no pump thread";
    EXPECT_FALSE(StartDownload("http://127.0.0.1/x", target, nullptr, 1, 1, GetTickCount()));

    CThreadsManager manager(1);
    manager.Restart();
    // Offsets of resume records and writes are 32-bit.
    EXPECT_FALSE(StartDownload("http://127.0.0.1/x", target, &manager, kMaxDownloadSize, 1, GetTickCount()));
    ASSERT_TRUE(window.WaitFor([&] { return window.Count(EVENT_FAILED) > 0; }, kLongWaitMs));
    EXPECT_FALSE(StartDownload("", target, &manager, 100, 1, GetTickCount()));
    EXPECT_FALSE(StartDownload(nullptr, target, &manager, 100, 1, GetTickCount()));
    window.Pump(200);
    EXPECT_EQ(TaskQueue().Count(), 0u);
    EXPECT_EQ(ResultList().Count(), 0u);
    manager.Stop();
    EXPECT_EQ(CBreakpointCfg::Instance()->SegmentCount(), 0u);
}

TEST(DownloadFaults, ARecordOfAnotherDownloadIsDeletedAndTheFileFetchedAfresh)
{
    Package pkg(20000, 28);
    ASSERT_TRUE(PrepareTarget(pkg.target, std::string(pkg.bytes.size(), '\0')));
    {
        CBreakpointCfg record; // left by a download of another size
        record.SetTarget(pkg.target, 30000);
        record.AddSegment(ResumeSegment::Make(0, 99, pkg.url, pkg.target));
    }
    ASSERT_TRUE(FileExists(pkg.target + ".cfg"));

    Engine engine;
    ASSERT_TRUE(engine.Start(pkg.url, pkg.target, 20000));
    EXPECT_FALSE(FileExists(pkg.target + ".cfg"));
    ASSERT_TRUE(engine.Wait(EVENT_DOWNLOADED));
    EXPECT_TRUE(ReadFileBytes(pkg.target) == pkg.bytes);
}

TEST(DownloadFaults, AChunkThatCannotBeWrittenIsNotCountedAndIsFetchedAgain)
{
    // A device on which every write fails as on a full disk (Wine maps Z: to /).
    const std::string full = "Z:\\dev\\full";
    HANDLE probe = CreateFileW(Utf8ToWide(full).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no full device here";
    CloseHandle(probe);

    Package pkg(30000, 29);
    Engine engine;
    ASSERT_TRUE(engine.Start(pkg.url, full, 30000));
    ASSERT_TRUE(engine.Wait(EVENT_FAILED));
    // Each range is asked for again from its first byte: nothing was skipped.
    const std::vector<ByteRange> split = SplitRanges(30000, CThreadsManager::SystemProcessorCount());
    ASSERT_TRUE(engine.window.WaitFor([&] { return pkg.Ranges().size() >= 2 * split.size(); }, kLongWaitMs));
    engine.manager.Stop();
    for (const std::string& range : pkg.Ranges()) {
        bool known = false;
        for (const ByteRange& r : split) known = known || range == RangeText(r.first, r.last);
        EXPECT_TRUE(known) << range;
    }
    EXPECT_EQ(engine.window.Count(EVENT_PROGRESS), 0) << "unwritten bytes were counted";
    EXPECT_EQ(engine.window.Count(EVENT_DOWNLOADED), 0);
    // Stopped, the whole of every range is still owed.
    int64_t owed = 0;
    for (const ResumeSegment& segment : CBreakpointCfg::Instance()->Segments()) owed += segment.end + 1 - segment.start;
    EXPECT_EQ(owed, 30000);
}
