#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "engine/CThreadsManager.h"

// In these tests nothing answers the configuration request, so a task that
// runs stays in its configuration retries, which is all the flow needs.

TEST(TaskFlow, IdsStartAtOneAndOnlyTheCurrentTaskRuns)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    {
        // Holding the task lock keeps the worker away from both tasks.
        ScopedLock hold(probe.TasksLock());
        d.DownQuorvex();
        d.DownQuorvex();
        EXPECT_EQ(probe.TaskState(1), TASK_NEW);
        EXPECT_EQ(probe.TaskState(2), TASK_NEW);
    }
    EXPECT_TRUE(WaitFor([&] { return probe.TaskState(2) == TASK_RUNNING; }));
    d.DownQuorvex();
    EXPECT_EQ(probe.TaskState(3), TASK_NEW);
    Sleep(300);
    // Task 1 was replaced before the worker saw it; task 3 waits while 2 runs.
    EXPECT_EQ(probe.TaskState(1), TASK_NEW);
    EXPECT_EQ(probe.TaskState(3), TASK_NEW);
    d.Exit(1);
    EXPECT_EQ(probe.TaskCount(), 0u);

    std::string log = f.LogText();
    EXPECT_NE(log.find("\tnew task---1\r\n\r\n"), std::string::npos);
    EXPECT_NE(log.find("\tnew task---2\r\n\r\n"), std::string::npos);
    EXPECT_NE(log.find("\tnew task---3\r\n\r\n"), std::string::npos);
}

TEST(TaskFlow, CancelThenNewTaskRunsTheNewTask)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    CDownloaderProbe probe(d);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return probe.TaskState(1) == TASK_RUNNING; }));
    d.Cancel();
    EXPECT_EQ(probe.TaskState(1), TASK_CANCELLED);
    d.DownQuorvex();
    // The cancelled task leaves its retries at the next check; then task 2 runs.
    EXPECT_TRUE(WaitFor([&] { return probe.TaskState(2) == TASK_RUNNING; }));
    EXPECT_EQ(probe.TaskState(1), TASK_CANCELLED);
    d.Exit(1);
    // A cancelled task ends quietly.
    EXPECT_EQ(listener.Count(EVENT_FAILED), 0u);
    std::string log = f.LogText();
    EXPECT_NE(log.find("\tuser cancel---1\r\n\r\n"), std::string::npos);
}

TEST(TaskFlow, EventsOfAReplacedTaskAreDropped)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    CDownloaderProbe probe(d);
    {
        ScopedLock hold(probe.TasksLock());
        d.DownQuorvex();
        d.DownQuorvex();
    }
    probe.Notify(EVENT_READY, 1);
    EXPECT_TRUE(listener.Events().empty());
    probe.Notify(EVENT_READY, 2);
    auto events = listener.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].first, EVENT_READY);
    EXPECT_EQ(events[0].second, probe.IdleProgress());

    // Once released, the listener hears nothing more.
    d.Shutdown();
    probe.Notify(EVENT_READY, 2);
    EXPECT_EQ(listener.Events().size(), 1u);
    d.Exit(1);
}

TEST(TaskFlow, UserAbortThenEntryPointShutdownLogsAndReportsOnce)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    d.Exit(2);
    // What the entry point does after its message loop.
    CThreadsManager::Instance()->Stop();
    d.Log("CDownloader::Exit", "user exit");
    d.Shutdown();
    d.Log("CDownloader::Exit", "good bye");
    d.CloseLog();

    std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Exit\tuser exit\r\n"), 1u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Exit\tgood bye\r\n"), 1u);
    EXPECT_EQ(CountOf(log, "error_type=8"), 1u);
    // "good bye" is the last line.
    EXPECT_EQ(log.size() - log.rfind("good bye\r\n"), 10u);
    EXPECT_TRUE(listener.Events().empty());
}

TEST(TaskFlow, ShutdownEndsARetryWaitAtOnce)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "get lobby info faile") >= 1; }));
    d.Shutdown();
    // Had the wait not been cut short, Shutdown would have waited for the
    // whole retry series and its closing line.
    std::string log = f.LogText();
    EXPECT_LT(CountOf(log, "get lobby info faile"), 5u);
    EXPECT_EQ(CountOf(log, "retry over"), 0u);
    EXPECT_EQ(CountOf(log, "error_type=2"), 0u);
    EXPECT_TRUE(listener.Events().empty());
    d.Exit(1);
}

TEST(TaskFlow, WorkerWaitsInsteadOfSpinning)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    auto cpuMs = [&] {
        FILETIME created, exited, kernel, user;
        if (!GetThreadTimes(probe.WorkerThread(), &created, &exited, &kernel, &user)) return -1.0;
        auto ms = [](const FILETIME& t) {
            return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10000.0;
        };
        return ms(kernel) + ms(user);
    };
    // Idle, then inside a task's retry waits.
    double before = cpuMs();
    ASSERT_GE(before, 0.0);
    Sleep(1000);
    d.DownQuorvex();
    Sleep(1500);
    double used = cpuMs() - before;
    EXPECT_LT(used, 150.0) << "the worker used " << used << " ms of CPU in 2.5 s";
    d.Exit(1);
}
