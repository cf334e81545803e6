#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "engine/CThreadsManager.h"

// Nothing answers the configuration request here, so a running task stays in
// its configuration retries, which is all the flow needs.

TEST(TaskFlow, OnlyTheCurrentTaskRunsAndIsHeard)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    CDownloaderProbe probe(d);
    {
        ScopedLock hold(probe.TasksLock());  // the worker cannot take either task yet
        d.DownQuorvex();
        d.DownQuorvex();
    }
    probe.Notify(EVENT_READY, 1);  // task 1 is no longer current
    probe.Notify(EVENT_READY, 2);
    ASSERT_TRUE(WaitFor([&] { return probe.TaskState(2) == TASK_RUNNING; }));
    d.Cancel();
    d.DownQuorvex();
    EXPECT_TRUE(WaitFor([&] { return probe.TaskState(3) == TASK_RUNNING; }));
    EXPECT_EQ(probe.TaskState(1), TASK_NEW);
    EXPECT_EQ(probe.TaskState(2), TASK_CANCELLED);
    d.Exit(1);
    EXPECT_EQ(probe.TaskCount(), 0u);

    auto events = listener.Events();  // a cancelled task ends quietly
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], std::make_pair(int32_t{EVENT_READY}, probe.IdleProgress()));
    std::string log = f.LogText();
    for (const char* line : {"\tnew task---1\r\n\r\n", "\tnew task---2\r\n\r\n", "\tnew task---3\r\n\r\n",
                             "\tCDownloader::Cancel\tuser cancel---2\r\n\r\n"})
        EXPECT_EQ(CountOf(log, line), 1u) << line;
}

TEST(TaskFlow, UserAbortDuringARetryWaitThenEntryPointShutdown)
{
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(kNoServer));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "get lobby info faile") == 1; }));
    d.Exit(2);
    // What the entry point does after its message loop: lines after the exit are dropped.
    CThreadsManager::Instance()->Stop();
    d.Log("CDownloader::Exit", "user exit");
    d.Shutdown();
    d.Log("CDownloader::Exit", "good bye");
    d.CloseLog();

    std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Exit\tuser exit\r\n"), 1u);
    const std::string goodBye = "\tCDownloader::Exit\tgood bye\r\n";
    EXPECT_EQ(log.size() - log.find(goodBye), goodBye.size()) << "once, and last";
    // The type 8 report was asked for once; nothing took it.
    EXPECT_EQ(CountOf(log, "\tCDownloader::Post_Error\t[url]:" + std::string(kNoServer) +
                               "/download_device_error_stat.php [post]:agent_id=4501648&download_version=1.0.0.1"
                               "&package_version=0.0.0.0&error_type=8&submit_date="),
              1u);
    EXPECT_EQ(CountOf(log, " [ret-err]:[]\r\n"), 1u);
    // The retry wait ended at the shutdown: no attempt followed it.
    EXPECT_EQ(log.find("get lobby info faile", log.find("release listener")), std::string::npos) << log;
    EXPECT_EQ(CountOf(log, "retry over"), 0u);
    EXPECT_TRUE(listener.Events().empty());
}

TEST(TaskFlow, WorkerWaitsInsteadOfSpinning)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    auto cpuMs = [&] {
        FILETIME created, exited, kernel, user;
        if (!GetThreadTimes(probe.WorkerThread(), &created, &exited, &kernel, &user)) return -1.0;
        auto ms = [](const FILETIME& t) { return (t.dwHighDateTime * 4294967296.0 + t.dwLowDateTime) / 10000.0; };
        return ms(kernel) + ms(user);
    };
    double before = cpuMs();
    ASSERT_GE(before, 0.0);
    Sleep(1000);  // idle
    d.DownQuorvex();
    Sleep(1500);  // inside a task's retry waits
    double used = cpuMs() - before;
    EXPECT_LT(used, 150.0) << "the worker used " << used << " ms of CPU in 2.5 s";
    d.Exit(1);
}
