#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>

#include "platform/CLock.h"
#include "platform/UniqueHandle.h"

// States of a numbered task.
enum class TaskState : int32_t { New = 0, Running = 1, Cancelled = 2 };

// The numbered tasks of the installer's job and the worker thread that runs
// them: each Issue makes a new current task; the worker takes the current
// task once, when it is new, and runs it. Every method may be called on any
// thread; Stop never on the worker.
class TaskTable {
public:
    // `run` is called on the worker thread with the id of each task taken.
    explicit TaskTable(std::function<void(int32_t)> run);
    virtual ~TaskTable();
    TaskTable(const TaskTable&) = delete;
    TaskTable& operator=(const TaskTable&) = delete;

    // Starts the worker; false when its thread could not be made.
    [[nodiscard]] bool Start();
    // Cancels the current task and tells the worker to end; pauses on
    // AbortEvent end at once.
    void RequestStop();
    // RequestStop, then waits up to waitMs for the worker to end and empties
    // the table. True when the worker has ended (or never started).
    bool Stop(DWORD waitMs = INFINITE);

    // A new task, made current; its id (ids start at 1).
    int32_t Issue();
    // The last issued task, if it still has an entry.
    void CancelLatest();
    int32_t LatestId() const { return counter_; }
    bool IsCurrent(int32_t id) const { return id == current_; }
    [[nodiscard]] bool IsRunning(int32_t id);
    void Remove(int32_t id);
    // The state of a task; false when it has no entry.
    [[nodiscard]] bool StateOf(int32_t id, TaskState* state);
    size_t Count();

    // Set by Stop: waits between attempts end on it.
    HANDLE AbortEvent() const { return abortEvent_.Get(); }
    DWORD WorkerThreadId() const { return workerThreadId_; }

private:
    static DWORD WINAPI WorkerThreadProc(LPVOID param);
    void WorkerLoop();

    std::function<void(int32_t)> run_;
    std::map<int32_t, TaskState> tasks_;  // lock_
    CLock lock_;
    std::atomic<int32_t> current_{0};  // written under lock_, read without
    std::atomic<int32_t> counter_{0};
    UniqueHandle abortEvent_;
    UniqueHandle stopEvent_;
    UniqueHandle issuedEvent_;  // set by Issue: the worker looks for the new task
    UniqueHandle workerThread_;
    DWORD workerThreadId_ = 0;
};
