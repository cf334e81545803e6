#include <gtest/gtest.h>

#include <cctype>

#include "EventWindow.h"
#include "engine/CIOTask.h"
#include "engine/CMessagePumpThread.h"
#include "engine/CNotifyThread.h"
#include "engine/CTaskResult.h"
#include "engine/CThreadsManager.h"
#include "engine/DownloadEvents.h"
#include "engine/EngineHost.h"
#include "engine/EngineLists.h"
#include "engine/ThreadMessages.h"

namespace {

using Names = std::vector<std::string>;

bool PostResult(CThreadsManager& m, int32_t taskId, int32_t bytes, int64_t totalSize)
{
    auto* r = new CTaskResult(taskId, bytes, totalSize, GetTickCount(), 0);
    if (PostThreadMessageW(m.PumpThreadId(), TM_TASK_RESULT, reinterpret_cast<WPARAM>(r), bytes)) return true;
    delete r;
    return false;
}

int64_t DoneOf(int32_t taskId)
{
    int64_t done = -1;
    ResultList().WithTaskId(taskId, [&](CTaskResult& r) { done = r.done.load(); });
    return done;
}

} // namespace

TEST(ThreadsManager, StartAddsOneNamedSetPerCallCappedAtEight)
{
    CThreadsManager four(4);
    four.Start();
    EXPECT_EQ(four.DownloadThreadNames(),
              (Names{"DownloadThread-0", "DownloadThread-1", "DownloadThread-2", "DownloadThread-3"}));
    ASSERT_NE(four.PumpThread(), nullptr);
    ASSERT_NE(four.NotifyThread(), nullptr);
    CMessagePumpThread* pump = four.PumpThread();
    four.Restart();
    Names names = four.DownloadThreadNames();
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names[4], "DownloadThread-0");
    EXPECT_EQ(names[7], "DownloadThread-3");
    EXPECT_EQ(four.PumpThread(), pump) << "the pump thread stays across a restart";
    four.Stop();
    EXPECT_TRUE(four.DownloadThreadNames().empty());
    EXPECT_EQ(four.PumpThread(), nullptr);
    EXPECT_EQ(four.PumpThreadId(), 0u);
    four.Stop();

    CThreadsManager sixteen(16);
    sixteen.Start();
    names = sixteen.DownloadThreadNames();
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names.back(), "DownloadThread-7");
    sixteen.Stop();

    CThreadsManager idle(2);
    idle.Stop(); // nothing started: nothing to do
    EXPECT_EQ(CThreadsManager::DownloadThreadsPerStart(0), 1u);
}

TEST(ThreadsManager, PumpAccumulatesResultsOfOneDownload)
{
    CThreadsManager m(2);
    m.Start();
    ASSERT_TRUE(PostResult(m, 41, 4096, 1000000));
    ASSERT_TRUE(PostResult(m, 41, 4096, 1000000));
    ASSERT_TRUE(PostResult(m, 42, 100, 1000000));
    const DWORD began = GetTickCount();
    while ((DoneOf(41) != 8192 || DoneOf(42) != 100) && GetTickCount() - began < 10000) Sleep(10);
    EXPECT_EQ(DoneOf(41), 8192);
    EXPECT_EQ(DoneOf(42), 100);
    EXPECT_EQ(ResultList().Count(), 2u);
    m.Restart();
    EXPECT_EQ(ResultList().Count(), 0u);
    m.Stop();
}

TEST(ThreadsManager, CompleteDownloadIsReportedOnceThenDropped)
{
    EventWindow window;
    CThreadsManager m(2);
    m.Start();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostResult(m, 7, 4096, 3 * 4096));
    ASSERT_TRUE(window.WaitFor([&] { return window.Count(EVENT_DOWNLOADED) > 0; }, 10000));
    window.Pump(500); // several more notifier rounds
    EXPECT_EQ(window.Count(EVENT_DOWNLOADED), 1);
    const EventWindow::Event* last = window.Last(EVENT_DOWNLOADED);
    ASSERT_TRUE(last->hasRecord);
    EXPECT_EQ(last->record.done, 3 * 4096);
    EXPECT_EQ(last->record.totalSize, 3 * 4096);
    EXPECT_DOUBLE_EQ(last->record.percent, 100.0);
    EXPECT_EQ(last->record.taskId, 7);
    EXPECT_FALSE(ResultList().Contains(7));
    for (const auto& e : window.Events()) {
        if (e.code == EVENT_PROGRESS) {
            EXPECT_LT(e.record.done, e.record.totalSize);
        }
    }
    m.Stop();
}

TEST(ThreadsManager, FailureIsPostedOncePerPumpAndNeverWhileABoxIsOpen)
{
    EventWindow window;
    CThreadsManager m(1);
    m.Start();
    const DWORD pump = m.PumpThreadId();

    EngineHost::SetMessageBoxOpen(true);
    PostThreadMessageW(pump, TM_TASK_FAILED, 0, 0);
    window.Pump(400);
    EXPECT_EQ(window.Count(EVENT_FAILED), 0);
    EXPECT_FALSE(m.PumpThread()->ErrorNotified());

    EngineHost::SetMessageBoxOpen(false);
    PostThreadMessageW(pump, TM_TASK_FAILED, 0, 0);
    PostThreadMessageW(pump, TM_TASK_FAILED, 0, 0);
    ASSERT_TRUE(window.WaitFor([&] { return window.Count(EVENT_FAILED) > 0; }, 10000));
    window.Pump(300);
    EXPECT_EQ(window.Count(EVENT_FAILED), 1);
    EXPECT_TRUE(m.PumpThread()->ErrorNotified());

    // A new pump thread may tell the window again.
    m.Stop();
    m.Start();
    PostThreadMessageW(m.PumpThreadId(), TM_TASK_FAILED, 0, 0);
    EXPECT_TRUE(window.WaitFor([&] { return window.Count(EVENT_FAILED) == 2; }, 10000));
    m.Stop();
}

TEST(NotifyThread, ProgressPercentElapsedAndSpeed)
{
    const DWORD start = 0xFFFFF000u; // the tick count wraps during the download
    CTaskResult r(3, 250000, 1000000, start, 50000);
    std::unique_ptr<ProgressRecord> p(CNotifyThread::BuildProgress(r, start + 4000));
    EXPECT_DOUBLE_EQ(p->percent, 25.0);
    EXPECT_EQ(p->elapsedSeconds, 4);
    EXPECT_DOUBLE_EQ(p->bytesPerSecond, 50000.0);
    EXPECT_EQ(p->taskId, 3);
    EXPECT_EQ(p->done, 250000);
    EXPECT_EQ(p->totalSize, 1000000);

    p.reset(CNotifyThread::BuildProgress(r, start + 500));
    EXPECT_EQ(p->elapsedSeconds, 1);
    EXPECT_DOUBLE_EQ(p->bytesPerSecond, 200000.0);

    // Past the total nothing is posted; without a window nothing is posted either.
    CTaskResult over(3, 1000001, 1000000, start, 0);
    EXPECT_FALSE(CNotifyThread::PostProgress(over));
    EngineHost::SetMainWindow(nullptr);
    EXPECT_FALSE(CNotifyThread::PostProgress(r));
}

TEST(Task, GuidTextHasFiveGroupsWithTheThirdInLowerCase)
{
    const GUID g = {0xABCDEF01, 0xABCD, 0xABCD, {0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89}};
    EXPECT_EQ(ITask::FormatGuid(g), "ABCDEF01-ABCD-abcd-ABCD-EF0123456789");

    CIOTask a(nullptr, nullptr, 0, 0, 1, 0, "", 0, 0), b(nullptr, nullptr, 0, 0, 1, 0, "", 0, 0);
    EXPECT_EQ(a.GetKind(), 0);
    ASSERT_TRUE(a.CreateGuid());
    b.CreateGuid();
    EXPECT_EQ(a.GetKind(), 4);
    const std::string text = a.GetGuid();
    ASSERT_EQ(text.size(), 36u);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(c, '-');
            continue;
        }
        EXPECT_TRUE(isxdigit(static_cast<unsigned char>(c))) << text;
        if (isalpha(static_cast<unsigned char>(c))) {
            if (i > 13 && i < 18) EXPECT_TRUE(islower(static_cast<unsigned char>(c))) << text;
            else EXPECT_TRUE(isupper(static_cast<unsigned char>(c))) << text;
        }
    }
    EXPECT_TRUE(a.IsGuid(text));
    EXPECT_FALSE(b.IsGuid(text));
}

TEST(TaskList, TakesInInsertionOrderAndSignalsWhileNotEmpty)
{
    dblinklst::DbLinkLst<CTaskResult, 'T'> list;
    EXPECT_EQ(WaitForSingleObject(list.NotEmptyEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (int id = 1; id <= 3; ++id) list.InsertHead(new CTaskResult(id, 0, 1, 0, 0));
    EXPECT_EQ(WaitForSingleObject(list.NotEmptyEvent(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(list.Remove(2));
    EXPECT_FALSE(list.Remove(2));
    std::unique_ptr<CTaskResult> first(list.TakeTail()), second(list.TakeTail());
    EXPECT_EQ(first->taskId, 1);
    EXPECT_EQ(second->taskId, 3);
    EXPECT_EQ(list.TakeTail(), nullptr);
    EXPECT_EQ(WaitForSingleObject(list.NotEmptyEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(ThreadsManager, IdleThreadsWaitInsteadOfSpinning)
{
    CThreadsManager m(8);
    m.Start();
    m.Restart(); // a retry adds a second set
    auto cpu = [] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        auto value = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        return static_cast<double>(value(kernel) + value(user)) / 1e7;
    };
    const double before = cpu();
    Sleep(1500);
    const double spent = cpu() - before;
    // Eighteen polling threads would keep every core busy for the whole time.
    EXPECT_LT(spent, 0.5) << "CPU seconds used by an idle engine in 1.5 s";
    m.Stop();
}
