#include <gtest/gtest.h>

#include <cctype>

#include "EventWindow.h"
#include "engine/CIOTask.h"
#include "engine/CMessagePumpThread.h"
#include "engine/CNotifyThread.h"
#include "engine/CTaskResult.h"
#include "engine/CThreadsManager.h"
#include "engine/DownloadEvents.h"
#include "engine/IEngineObserver.h"
#include "engine/EngineLists.h"
#include "engine/ThreadMessages.h"
#include "support/Wait.h"

namespace {

void PostResult(CThreadsManager& m, int32_t taskId, int32_t bytes, int64_t totalSize)
{
    ASSERT_TRUE(CIOTask::PostCount(m.PumpThreadId(), taskId, bytes, totalSize, GetTickCount(), 0));
}

int64_t DoneOf(int32_t taskId)
{
    int64_t done = -1;
    ResultList().WithTaskId(taskId, [&](CTaskResult& r) { done = r.done.load(); });
    return done;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

}  // namespace

TEST(ThreadsManager, StartAddsOneNamedSetPerCallCappedAtEight)
{
    using Names = std::vector<std::string>;
    CThreadsManager four(4);
    four.Stop();  // nothing started: nothing to do
    four.Start();
    const Names set = {"DownloadThread-0", "DownloadThread-1", "DownloadThread-2", "DownloadThread-3"};
    EXPECT_EQ(four.DownloadThreadNames(), set);
    CMessagePumpThread* pump = four.PumpThread();
    ASSERT_NE(pump, nullptr);
    ASSERT_NE(four.NotifyThread(), nullptr);
    four.Restart();
    Names twice = set;
    twice.insert(twice.end(), set.begin(), set.end());
    EXPECT_EQ(four.DownloadThreadNames(), twice);
    EXPECT_EQ(four.PumpThread(), pump) << "the pump thread stays across a restart";
    four.Stop();
    EXPECT_TRUE(four.DownloadThreadNames().empty());
    EXPECT_EQ(four.PumpThreadId(), 0u);
    four.Stop();

    CThreadsManager sixteen(16);
    sixteen.Start();
    EXPECT_EQ(sixteen.DownloadThreadNames().size(), 8u);
    EXPECT_EQ(sixteen.DownloadThreadNames().back(), "DownloadThread-7");
}

TEST(ThreadsManager, IdleThreadsWaitInsteadOfSpinning)
{
    CThreadsManager m(8);
    m.Restart();
    m.Restart();
    const double before = ProcessCpuSeconds();
    Sleep(1500);
    // Eighteen polling threads would keep every core busy the whole time.
    EXPECT_LT(ProcessCpuSeconds() - before, 0.5) << "CPU seconds of an idle engine over 1.5 s";
}

TEST(ThreadsManager, PumpAddsUpEachDownloadAndItsEndIsReportedOnce)
{
    EventWindow window;
    CThreadsManager m(2);
    m.Start();
    PostResult(m, 41, 4096, 1000000);
    PostResult(m, 41, 4096, 1000000);
    PostResult(m, 42, 100, 1000000);
    ASSERT_TRUE(PumpUntil([&] { return DoneOf(41) == 8192 && DoneOf(42) == 100; }, 10000))
        << DoneOf(41) << " " << DoneOf(42);
    m.Restart();
    EXPECT_EQ(ResultList().Count(), 0u);

    for (int i = 0; i < 3; ++i) PostResult(m, 7, 4096, 3 * 4096);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(EVENT_DOWNLOADED) > 0; }, 10000));
    PumpFor(500);  // several more rounds of the notifier
    EXPECT_EQ(window.Count(EVENT_DOWNLOADED), 1);
    const ProgressRecord& last = window.Last(EVENT_DOWNLOADED)->record;
    EXPECT_EQ(last.done, 3 * 4096);
    EXPECT_DOUBLE_EQ(last.percent, 100.0);
    EXPECT_EQ(last.taskId, 7);
    EXPECT_FALSE(ResultList().Contains(7));
}

TEST(ThreadsManager, FailureIsPostedOncePerPumpAndAgainAfterARefusal)
{
    EventWindow window;
    CThreadsManager m(1);
    m.Start();
    window.RefuseFailures(true);
    PostThreadMessageW(m.PumpThreadId(), TM_TASK_FAILED, 0, 0);
    PumpFor(400);
    EXPECT_EQ(window.Count(EVENT_FAILED), 0);
    EXPECT_FALSE(m.PumpThread()->ErrorNotified());

    window.RefuseFailures(false);
    PostThreadMessageW(m.PumpThreadId(), TM_TASK_FAILED, 0, 0);
    PostThreadMessageW(m.PumpThreadId(), TM_TASK_FAILED, FAILURE_DISK_FULL, 0);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(EVENT_FAILED) > 0; }, 10000));
    PumpFor(300);
    EXPECT_EQ(window.Count(EVENT_FAILED), 1);
    EXPECT_EQ(window.Last(EVENT_FAILED)->cause, FAILURE_OTHER);

    m.Stop();  // a new pump thread may tell the window again, with the failure's cause
    m.Start();
    PostThreadMessageW(m.PumpThreadId(), TM_TASK_FAILED, FAILURE_DISK_FULL, 0);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(EVENT_FAILED) == 2; }, 10000));
    EXPECT_EQ(window.Last(EVENT_FAILED)->cause, FAILURE_DISK_FULL);
}

TEST(NotifyThread, ProgressPercentElapsedAndSpeed)
{
    const DWORD start = 0xFFFFF000u;  // the tick count wraps during the download
    CTaskResult r(3, 250000, 1000000, start, 50000);
    std::unique_ptr<ProgressRecord> p(CNotifyThread::BuildProgress(r, start + 4000));
    EXPECT_DOUBLE_EQ(p->percent, 25.0);
    EXPECT_EQ(p->elapsedSeconds, 4);
    EXPECT_DOUBLE_EQ(p->bytesPerSecond, 50000.0);
    EXPECT_EQ(p->taskId, 3);
    p.reset(CNotifyThread::BuildProgress(r, start + 500));
    EXPECT_EQ(p->elapsedSeconds, 1);

    // Past the total, or without an observer, nothing is posted.
    EXPECT_FALSE(CNotifyThread::PostProgress(CTaskResult(3, 1000001, 1000000, start, 0)));
    IEngineObserver::Register(nullptr);
    EXPECT_FALSE(CNotifyThread::PostProgress(r));
}

TEST(NotifyThread, ACompletionWhosePostFailedIsPostedOnceItCanBe)
{
    CThreadsManager m(1);
    m.Start();
    EventWindow window;
    window.FailEveryPost(true);
    PostResult(m, 8, 4096, 4096);
    Sleep(500);
    EXPECT_TRUE(ResultList().Contains(8)) << "the finished download waits for its event";
    window.FailEveryPost(false);
    ASSERT_TRUE(PumpUntil([&] { return window.Count(EVENT_DOWNLOADED) > 0; }, 10000));
    PumpFor(300);
    EXPECT_EQ(window.Count(EVENT_DOWNLOADED), 1);
}

TEST(Task, GuidTextHasFiveGroupsWithOnlyTheThirdInLowerCase)
{
    const GUID g = {0xABCDEF01, 0xABCD, 0xABCD, {0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89}};
    EXPECT_EQ(ITask::FormatGuid(g), "ABCDEF01-ABCD-abcd-ABCD-EF0123456789");

    CIOTask task(nullptr, nullptr, 0, 0, 1, 0, "", 0, 0);
    EXPECT_EQ(task.GetKind(), ITask::Kind::None);
    task.CreateGuid();
    EXPECT_EQ(task.GetKind(), ITask::Kind::Named);
    const std::string text = task.GetGuid();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text.find_first_not_of("0123456789ABCDEFabcdef-"), std::string::npos) << text;
    EXPECT_EQ(text.substr(8, 1) + text.substr(13, 1) + text.substr(18, 1) + text.substr(23, 1), "----") << text;
    for (size_t i = 0; i < text.size(); ++i)  // letters upper case but in the third group
        EXPECT_FALSE(i >= 14 && i < 18 ? isupper(text[i]) : islower(text[i])) << text;
    EXPECT_TRUE(task.IsGuid(text));
}
