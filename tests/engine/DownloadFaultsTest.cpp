#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "EngineRun.h"
#include "engine/CDownloadTask.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineLists.h"
#include "engine/ResumeData.h"
#include "engine/ThreadMessages.h"
#include "platform/CLog.h"
#include "platform/OwnedPost.h"
#include "platform/TextConvert.h"
#include "platform/UniqueHandle.h"
#include "support/LocalServer.h"

namespace {

// A package served by the misbehaving server under a key of its own, and a
// target for it holding `before`.
struct Package {
    std::string key = LocalServer::NewKey();
    std::string bytes;
    std::string url;
    TempDir dir;
    std::string target = dir.File("TzGameSetup3.0.0.1.tmp");

    Package(size_t size, unsigned pattern, char before = '\0') : bytes(PatternBytes(size, pattern))
    {
        LocalServer::PublishFile(key + "/pkg.bin", bytes);
        url = LocalServer::PackageUrl(key, key + "/pkg.bin");
        WriteFileBytes(target, std::string(size, before));
    }
    int64_t Size() const { return static_cast<int64_t>(bytes.size()); }
    // The server in `mode` for `times` requests (for good when negative),
    // then the download handed to the run's engine.
    bool StartOn(EngineRun& run, const char* mode = "normal", int times = -1, int ms = 0) const
    {
        return LocalServer::SetMode(key, mode, times, ms) && run.Start(url, target, Size());
    }
    bool Arrived() const { return ReadFileBytes(target) == bytes; }
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

}  // namespace

TEST(DownloadFaults, StallReconnectsFromTheCurrentPosition)
{
    // Ranges within one first request, and ranges larger than it.
    for (int64_t perRange : {int64_t{100000}, 4 * RangeBook::kFirstRequest}) {
        SCOPED_TRACE(perRange);
        Package pkg(static_cast<size_t>(perRange * CThreadsManager::SystemProcessorCount()), 21);
        EngineRun run;
        // The first request sends half of what it asked for, then falls silent for 1.5 s.
        ASSERT_TRUE(pkg.StartOn(run, "stall_mid", 1));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 0) << "a stall reconnects without a notice";
        EXPECT_TRUE(pkg.Arrived());

        // The reconnect asks from where the written chunks of the stalled
        // request end (the half that came, less a partial read still in
        // WinINet's buffer): to the range's end when the range fits in one
        // request, else for a request within the range.
        std::vector<std::pair<int64_t, int64_t>> asked;
        for (const std::string& range : pkg.Ranges()) {
            long long from = 0, to = 0;
            ASSERT_EQ(sscanf(range.c_str(), "bytes=%lld-%lld", &from, &to), 2) << range;
            asked.emplace_back(from, to);
        }
        int reconnects = 0;
        for (const RangeBook::Span& r : SplitHere(pkg.Size())) {
            const auto opening =
                std::find_if(asked.begin(), asked.end(), [&](const auto& a) { return a.first == r.first; });
            ASSERT_NE(opening, asked.end());
            for (const auto& [from, to] : asked) {
                if (from < r.first + 4096 || from > r.first + (opening->second - r.first + 1) / 2) continue;
                ++reconnects;
                EXPECT_TRUE(r.last - r.first < RangeBook::kFirstRequest ? to == r.last : to < r.last)
                    << from << "-" << to;
            }
        }
        EXPECT_EQ(reconnects, 1);
    }
}

TEST(DownloadFaults, BrokenRepliesEndInARetryOrAFailureNeverInAWrongFile)
{
    {
        SCOPED_TRACE("a reply ends early once: one notice, then the retry completes the file");
        Package pkg(300000, 22);
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run, "short", 1));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 1);
        EXPECT_TRUE(pkg.Arrived());
    }
    {
        SCOPED_TRACE("a reply whose length disagrees with its range is refused, and the retry completes the file");
        Package pkg(300000, 23);
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run, "extra", 1));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
        PumpFor(300);
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 1);
        EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 1);
        EXPECT_EQ(run.window.Last(EVENT_DOWNLOADED)->record.done, pkg.Size());
        EXPECT_TRUE(pkg.Arrived());
    }
    {
        SCOPED_TRACE("replies shorter than asked count, and the rest is asked for again, without a notice");
        Package pkg(300000, 31);
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run, "short206"));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
        EXPECT_TRUE(pkg.Arrived());
        EXPECT_GT(pkg.Ranges().size(), 2 * SplitHere(pkg.Size()).size());
    }
    {
        SCOPED_TRACE("Range ignored: only the first range may use the whole-file reply");
        Package pkg(300000, 24, '\x5A');
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run, "norange"));
        ASSERT_TRUE(run.Wait(EVENT_FAILED));
        PumpFor(800);
        EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 0);
        const size_t firstEnd = static_cast<size_t>(SplitHere(pkg.Size())[0].last + 1);
        const std::string onDisk = ReadFileBytes(pkg.target);
        EXPECT_EQ(onDisk.substr(firstEnd), std::string(pkg.bytes.size() - firstEnd, '\x5A'));
        ASSERT_TRUE(LocalServer::SetMode(pkg.key, "normal"));
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED)) << "the retries complete the file once ranges work";
        EXPECT_TRUE(pkg.Arrived());
    }
    for (const char* page : {"404", "portal", "portal_nolength"}) {
        SCOPED_TRACE(std::string("an error or portal page is not package bytes: ") + page);
        Package pkg(50000, 25, '\x5A');
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run, page));
        ASSERT_TRUE(run.Wait(EVENT_FAILED));
        PumpFor(500);
        EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 0);
        EXPECT_TRUE(ReadFileBytes(pkg.target) == std::string(50000, '\x5A')) << "the file was written";
    }
}

TEST(DownloadFaults, APackageReplacedOnTheServerIsNeverMixedInButFetchedAgainFromScratch)
{
    Package pkg(200000, 32);
    EngineRun run;
    // Each request sends half its range, then falls silent; meanwhile the
    // server's file is replaced by another of the same size.
    ASSERT_TRUE(pkg.StartOn(run, "stall_mid", -1, 1500));
    ASSERT_TRUE(PumpUntil([&] { return !pkg.Ranges().empty(); }, 30000));
    const std::string replacement = PatternBytes(pkg.bytes.size(), 33);
    LocalServer::PublishFile(pkg.key + "/pkg.bin", replacement);
    ASSERT_TRUE(run.Wait(EVENT_FAILED));
    PumpFor(1000);
    EXPECT_EQ(run.window.Count(EVENT_DOWNLOADED), 0);
    // The window's stop: no record is left for bytes of the old file.
    run.manager.Stop();
    EXPECT_FALSE(FileExists(pkg.target + ".cfg"));

    // The retry starts from scratch and gets the new file whole.
    run.manager.Restart();
    ASSERT_TRUE(LocalServer::SetMode(pkg.key, "normal"));
    ASSERT_TRUE(run.Start(pkg.url, pkg.target, pkg.Size()));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    EXPECT_TRUE(ReadFileBytes(pkg.target) == replacement) << "another file than the replacement";
}

TEST(DownloadFaults, AFarmWhoseNodesGiveTheSameBytesOtherValidatorsCompletesWithoutAFailure)
{
    Package pkg(3 << 20, 34);
    EngineRun run;
    // Requests alternate between two nodes; each answers an If-Range naming
    // the other's validator with the whole file.
    ASSERT_TRUE(pkg.StartOn(run, "farm"));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    PumpFor(300);
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    EXPECT_TRUE(pkg.Arrived());
    // The second node is proven by a small range already on disk (asked
    // without If-Range from the first byte of an earlier request), not again
    // for every reply it gives; then If-Range is no longer sent.
    const std::vector<RecordedRequest> requests = LocalServer::Requests(pkg.key);
    std::vector<std::pair<long long, long long>> asked;
    int probes = 0;
    for (const RecordedRequest& r : requests) {
        long long first = 0, last = -1;
        ASSERT_EQ(sscanf(r.range.c_str(), "bytes=%lld-%lld", &first, &last), 2) << r.range;
        const bool again =
            std::any_of(asked.begin(), asked.end(), [&](const auto& a) { return a.first == first && a.second > last; });
        if (again && r.ifRange.empty() && last - first + 1 <= CDownloadTask::kProbeBytes) ++probes;
        asked.emplace_back(first, last);
    }
    EXPECT_GE(probes, 1);
    EXPECT_LE(probes, 2 * CDownloadTask::kProbeTries);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().ifRange, "");
}

TEST(DownloadFaults, AChunkThatCannotBeWrittenIsNotCountedAndIsFetchedAgain)
{
    // Every write to this device fails as on a full disk (Wine maps Z: to /).
    const std::string full = "Z:\\dev\\full";
    if (!UniqueHandle(CreateFileW(Utf8ToWide(full).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr)))
        GTEST_SKIP() << "no full device here";

    Package pkg(30000, 29);
    const std::vector<RangeBook::Span> split = SplitHere(pkg.Size());
    EngineRun run;
    ASSERT_TRUE(run.Start(pkg.url, full, pkg.Size()));
    ASSERT_TRUE(run.Wait(EVENT_FAILED));
    ASSERT_TRUE(PumpUntil([&] { return pkg.Ranges().size() >= 2 * split.size(); }, 30000));
    run.manager.Stop();
    for (const std::string& range : pkg.Ranges()) {
        bool whole = false;
        for (const RangeBook::Span& r : split) whole = whole || range == RangeText(r.first, r.last);
        EXPECT_TRUE(whole) << range << ": every retry starts at the unwritten chunk";
    }
    EXPECT_EQ(run.window.Count(EVENT_PROGRESS) + run.window.Count(EVENT_DOWNLOADED), 0);
    int64_t owed = 0;
    for (const ResumeSegment& s : CBreakpointCfg::Instance()->Segments()) owed += s.end + 1 - s.start;
    EXPECT_EQ(owed, pkg.Size()) << "stopped, the whole of every range is still owed";
}

TEST(DownloadFaults, ResumeStartsAtItsPercentageAndSpeedCountsOnlyNewBytes)
{
    Package pkg(1000, 26);
    std::string partial = pkg.bytes;  // on disk: all but 0-99 and 200-299
    memset(&partial[0], 0, 100);
    memset(&partial[200], 0, 100);
    ASSERT_TRUE(WriteFileBytes(pkg.target, partial));
    {
        CBreakpointCfg record;  // written as it goes, as at the end of an earlier run
        record.SetTarget(pkg.target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, pkg.url, pkg.target));
        record.AddSegment(ResumeSegment::Make(200, 299, pkg.url, pkg.target));
        record.AddSegment(ResumeSegment::Make(300, 299, pkg.url, pkg.target));  // stopped after its last chunk
    }
    EngineRun run;
    // The first two requests are refused: the progress starts before any new byte.
    ASSERT_TRUE(pkg.StartOn(run, "reset", 2));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    const ProgressRecord& first = run.window.Events()[run.window.Events()[0].hasRecord ? 0 : 1].record;
    EXPECT_EQ(first.done, 800);
    EXPECT_DOUBLE_EQ(first.percent, 80.0);
    EXPECT_DOUBLE_EQ(first.bytesPerSecond, 0.0);
    const ProgressRecord& last = run.window.Last(EVENT_DOWNLOADED)->record;
    EXPECT_DOUBLE_EQ(last.bytesPerSecond, 200.0 / last.elapsedSeconds);
    EXPECT_TRUE(pkg.Arrived());
    for (const std::string& range : pkg.Ranges())
        EXPECT_TRUE(range == "bytes=0-99" || range == "bytes=200-299") << range;
}

TEST(DownloadFaults, CountsWhosePostsFailAreFoldedIntoLaterPostsOrPostedAgain)
{
    Package pkg(300000, 30);
    EngineRun run;
    // More failures than chunks: every chunk's count fails, and the last of
    // each range is posted again by a later run of its task.
    owned_post::FailPostsForTest(TM_TASK_RESULT, static_cast<int>(pkg.Size() / 4096) + 8);
    ASSERT_TRUE(pkg.StartOn(run));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED, 30000));
    owned_post::FailPostsForTest(TM_TASK_RESULT, 0);
    EXPECT_EQ(run.window.Last(EVENT_DOWNLOADED)->record.done, pkg.Size());
    EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
    EXPECT_TRUE(pkg.Arrived());
}

TEST(DownloadFaults, StopRecordsRunningAbandonedAndQueuedRanges)
{
    Package pkg(100000 * CThreadsManager::SystemProcessorCount(), 27);
    const std::vector<RangeBook::Span> split = SplitHere(pkg.Size());
    EngineRun run(1);  // one download thread: the other ranges wait in the queue
    // Every request sends half its range and then falls silent.
    ASSERT_TRUE(pkg.StartOn(run, "stall", -1, 20000));
    const int64_t half = (split[0].last - split[0].first + 1) / 2;
    ASSERT_TRUE(PumpUntil([&] { return run.window.LastDone() > 0; }, 30000));
    run.manager.Stop();

    const std::vector<ResumeSegment> segments = CBreakpointCfg::Instance()->Segments();
    ASSERT_EQ(segments.size(), split.size());
    // The running range resumes where its bytes on disk end: part of the
    // half that came (the rest may be stuck in an unfinished read).
    EXPECT_GT(segments[0].start, split[0].first);
    EXPECT_LE(segments[0].start, split[0].first + half);
    const std::string onDisk = ReadFileBytes(pkg.target);
    EXPECT_EQ(onDisk.compare(split[0].first, segments[0].start - split[0].first, pkg.bytes, split[0].first,
                             segments[0].start - split[0].first),
              0);
    for (size_t i = 0; i < split.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(segments[i].start, split[i].first);
        }
        EXPECT_EQ(segments[i].end, split[i].last);
    }
    EXPECT_EQ(TaskQueue().Count(), 0u);
}

TEST(DownloadFaults, StartsThatCannotWorkFailCleanly)
{
    TempDir dir;
    const std::string target = dir.File("t.tmp");
    CThreadsManager stopped(1);
    EXPECT_FALSE(StartDownload("http://127.0.0.1/x", target, &stopped, 1, 1, 0)) << "no pump thread";
    EXPECT_FALSE(StartDownload("http://127.0.0.1/x", target, nullptr, 1, 1, 0));

    {
        EngineRun run(1);  // a target that is not there is a failure, not a silent retry for ever
        ASSERT_TRUE(run.Start("http://127.0.0.1:1/x", dir.File("gone\\t.tmp"), 100));
        EXPECT_TRUE(run.Wait(EVENT_FAILED));
    }
    EngineRun run(1);
    // Offsets of resume records and writes are 32-bit.
    EXPECT_FALSE(run.Start("http://127.0.0.1/x", target, kMaxDownloadSize));
    EXPECT_TRUE(run.Wait(EVENT_FAILED));
    EXPECT_FALSE(run.Start("", target, 100));
    owned_post::FailPostsForTest(TM_QUEUE_TASK, 1);
    EXPECT_FALSE(run.Start("http://127.0.0.1/x", target, 100)) << "a hand-over whose post failed queues nothing";
    EXPECT_FALSE(StartDownload(nullptr, target, &run.manager, 100, 1, 0));
    PumpFor(200);
    EXPECT_EQ(TaskQueue().Count() + ResultList().Count(), 0u);
}

TEST(DownloadFaults, ARecordOfAnotherDownloadIsDeletedAndTheFileFetchedAfresh)
{
    Package pkg(20000, 28);
    {
        CBreakpointCfg record;  // left by a download of another size
        record.SetTarget(pkg.target, 30000);
        record.AddSegment(ResumeSegment::Make(0, 99, pkg.url, pkg.target));
    }
    EngineRun run;
    ASSERT_TRUE(pkg.StartOn(run));
    EXPECT_FALSE(FileExists(pkg.target + ".cfg"));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    EXPECT_TRUE(pkg.Arrived());
}

TEST(DownloadFaults, RetryAfterACutRangeFetchesOnlyTheMissingBytes)
{
    Package pkg(100000 * CThreadsManager::SystemProcessorCount(), 29);
    EngineRun run;
    // Every range reply ends halfway through.
    ASSERT_TRUE(pkg.StartOn(run, "short"));
    ASSERT_TRUE(run.Wait(EVENT_FAILED));
    // The window's reaction to the failure, then the user's "重试".
    run.manager.Stop();
    const int64_t since = LocalServer::Requests(pkg.key).back().id;
    run.manager.Restart();
    ResumeData record;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(pkg.target + ".cfg", record));
    EXPECT_LT(record.RemainingBytes(), pkg.Size());

    ASSERT_TRUE(pkg.StartOn(run));
    ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
    EXPECT_TRUE(pkg.Arrived());
    // Counted at the server: every byte asked for after the retry was missing.
    int64_t asked = 0;
    for (const RecordedRequest& r : LocalServer::Requests(pkg.key)) {
        if (r.id <= since) continue;
        long long first = 0, last = -1;
        ASSERT_EQ(sscanf(r.range.c_str(), "bytes=%lld-%lld", &first, &last), 2) << r.range;
        const bool missing = std::any_of(record.segments.begin(), record.segments.end(),
                                         [&](const auto& s) { return first >= s->start && last <= s->end; });
        EXPECT_TRUE(missing) << r.range;
        asked += last - first + 1;
    }
    EXPECT_GE(asked, record.RemainingBytes());
}

TEST(DownloadFaults, ATargetHeldAMomentIsWaitedForAndALinkedOneFailsLogged)
{
    TempDir logDir;
    CLog log;
    ASSERT_TRUE(log.Open(logDir.File("engine.log")));
    CLog::SetShared(&log);
    {
        Package pkg(200000, 31);
        // A scanner holds the target, sharing nothing, while the download starts.
        UniqueHandle scanner(
            CreateFileW(Utf8ToWide(pkg.target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(scanner);
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run));
        PumpFor(1500);
        scanner.Reset();
        ASSERT_TRUE(run.Wait(EVENT_DOWNLOADED));
        EXPECT_EQ(run.window.Count(EVENT_FAILED), 0);
        EXPECT_TRUE(pkg.Arrived());
    }
    Package pkg(20000, 32);
    const std::string victim = pkg.dir.File("victim.bin");
    ASSERT_TRUE(WriteFileBytes(victim, "precious"));
    ASSERT_TRUE(DeleteFileW(Utf8ToWide(pkg.target).c_str()));
    ASSERT_TRUE(CreateHardLinkW(Utf8ToWide(pkg.target).c_str(), Utf8ToWide(victim).c_str(), nullptr));
    {
        EngineRun run;
        ASSERT_TRUE(pkg.StartOn(run));
        EXPECT_TRUE(run.Wait(EVENT_FAILED));
    }
    CLog::ReleaseShared(&log);
    log.Close();
    EXPECT_EQ(ReadFileBytes(victim), "precious");
    EXPECT_NE(
        ReadFileBytes(logDir.File("engine.log")).find("\tCDownloader::LinkedFile\ta link, left alone: " + pkg.target),
        std::string::npos);
}
