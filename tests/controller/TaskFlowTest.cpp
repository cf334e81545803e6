#include <gtest/gtest.h>

#include <atomic>

#include "BuildConfig.h"
#include "ControllerTestSupport.h"
#include "controller/RetryWithPause.h"
#include "controller/TaskTable.h"
#include "engine/CThreadsManager.h"

namespace {

TaskState StateOf(TaskTable& table, int32_t id)
{
    TaskState state = TaskState::New;
    EXPECT_TRUE(table.StateOf(id, &state)) << id;
    return state;
}

}  // namespace

TEST(TaskFlow, OnlyTheCurrentTaskRunsAndOnlyOnce)
{
    std::mutex mutex;
    std::vector<int32_t> ran;
    TaskTable table([&](int32_t id) {
        std::lock_guard<std::mutex> guard(mutex);
        ran.push_back(id);
    });
    EXPECT_EQ(table.Issue(), 1);
    EXPECT_EQ(table.Issue(), 2);  // before the worker looks: task 1 is never taken
    ASSERT_TRUE(table.Start());
    ASSERT_TRUE(WaitFor([&] { return StateOf(table, 2) == TaskState::Running; }));
    table.CancelLatest();
    EXPECT_EQ(table.Issue(), 3);
    ASSERT_TRUE(WaitFor([&] { return StateOf(table, 3) == TaskState::Running; }));
    Sleep(300);  // a task that has run stays running and is not taken again
    EXPECT_EQ(StateOf(table, 1), TaskState::New);
    EXPECT_EQ(StateOf(table, 2), TaskState::Cancelled);
    EXPECT_TRUE(table.IsCurrent(3));
    EXPECT_FALSE(table.IsCurrent(2));
    table.Remove(2);
    TaskState state;
    EXPECT_FALSE(table.StateOf(2, &state));
    table.Stop();
    EXPECT_EQ(table.Count(), 0u);
    std::lock_guard<std::mutex> guard(mutex);
    EXPECT_EQ(ran, (std::vector<int32_t>{2, 3}));
}

// The worker sleeps until a task is issued: one issued while it runs the
// one before must not be lost, and is taken as soon as that one returns.
TEST(TaskFlow, ATaskIssuedWhileAnotherRunsIsTakenWhenThatOneEnds)
{
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int32_t> last{0};
    TaskTable table([&](int32_t id) {
        last = id;
        if (id == 1) WaitForSingleObject(release.Get(), INFINITE);
    });
    ASSERT_TRUE(table.Start());
    EXPECT_EQ(table.Issue(), 1);
    ASSERT_TRUE(WaitFor([&] { return last == 1; }));
    EXPECT_EQ(table.Issue(), 2);
    EXPECT_EQ(StateOf(table, 2), TaskState::New) << "the worker is still in task 1";
    SetEvent(release.Get());
    ASSERT_TRUE(WaitFor([&] { return last == 2; }));
    EXPECT_EQ(StateOf(table, 2), TaskState::Running);
    table.Stop();
}

TEST(TaskFlow, ControllerLogsItsTasksAndCancels)
{
    ControllerFolders f;
    {
        CDownloader d(f.Settings(kNoServer));
        for (int i = 0; i < 2; ++i) d.DownQuorvex();
        d.Cancel();
        d.DownQuorvex();
        d.Cancel();
    }  // destroyed without Exit: it shuts down itself
    std::string log = f.LogText();
    for (const char* line :
         {"\tnew task---1\r\n\r\n", "\tnew task---2\r\n\r\n", "\tnew task---3\r\n\r\n",
          "\tCDownloader::Cancel\tuser cancel---2\r\n\r\n", "\tCDownloader::Cancel\tuser cancel---3\r\n\r\n"})
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
    EXPECT_EQ(
        CountOf(log,
                "\tCDownloader::Post_Error\t[url]:" + std::string(kNoServer) +
                    "/download_device_error_stat.php [post]:agent_id=4501648&download_version=" QUORVEX_VERSION_TEXT
                    "&package_version=0.0.0.0&error_type=8&submit_date="),
        1u);
    EXPECT_EQ(CountOf(log, " [ret-err]:[]\r\n"), 1u);
    // The retry wait ended at the shutdown: no attempt followed it.
    EXPECT_EQ(log.find("get lobby info faile", log.find("release listener")), std::string::npos) << log;
    EXPECT_EQ(CountOf(log, "retry over"), 0u);
    EXPECT_TRUE(listener.Events().empty());
}

TEST(TaskFlow, WorkerAndRetryPausesWaitInsteadOfSpinning)
{
    std::atomic<int> attempts{0};
    TaskTable* self = nullptr;
    TaskTable table([&](int32_t) {
        RetryWithPause(self->AbortEvent(), [&] {
            ++attempts;
            return Attempt::Failed;
        });
    });
    self = &table;
    ASSERT_TRUE(table.Start());
    UniqueHandle worker(OpenThread(THREAD_QUERY_INFORMATION, FALSE, table.WorkerThreadId()));
    ASSERT_TRUE(worker);
    auto cpuMs = [&] {
        FILETIME created, exited, kernel, user;
        if (!GetThreadTimes(worker.Get(), &created, &exited, &kernel, &user)) return -1.0;
        auto ms = [](const FILETIME& t) { return (t.dwHighDateTime * 4294967296.0 + t.dwLowDateTime) / 10000.0; };
        return ms(kernel) + ms(user);
    };
    double before = cpuMs();
    ASSERT_GE(before, 0.0);
    Sleep(1000);  // idle
    table.Issue();
    ASSERT_TRUE(WaitFor([&] { return attempts >= 1; }));
    Sleep(1500);  // inside the retry pauses
    double used = cpuMs() - before;
    EXPECT_LT(used, 150.0) << "the worker used " << used << " ms of CPU in 2.5 s";

    // The stop ends the pause under way, and with it the series.
    table.Stop();
    const int made = attempts;
    Sleep(1200);
    EXPECT_EQ(attempts, made);
    EXPECT_LT(made, 5);
}

TEST(TaskFlow, RetriesEndAtSuccessOrStop)
{
    UniqueHandle abort(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    int calls = 0;
    EXPECT_EQ(RetryWithPause(abort.Get(), [&] { return ++calls == 2 ? Attempt::Succeeded : Attempt::Failed; }),
              Attempt::Succeeded);
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_EQ(RetryWithPause(abort.Get(), [&] { return ++calls, Attempt::Stopped; }), Attempt::Stopped);
    EXPECT_EQ(calls, 1);
    SetEvent(abort.Get());  // shutdown: the first pause ends the series
    calls = 0;
    EXPECT_EQ(RetryWithPause(abort.Get(), [&] { return ++calls, Attempt::Failed; }), Attempt::Stopped);
    EXPECT_EQ(calls, 1);
}
