#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

// Base of the engine's tasks. Run is called by the thread that owns the task
// until it reports the task finished.
class ITask {
public:
    enum class Kind : int32_t { None = 0, Named = 4 };

    ITask() = default;
    virtual ~ITask() = default;
    ITask(const ITask&) = delete;
    ITask& operator=(const ITask&) = delete;

    // True: finished, the runner deletes the task. False: run it again.
    [[nodiscard]] virtual bool Run() = 0;

    // Names the instance with a fresh GUID; the third group is lower case.
    virtual void CreateGuid();
    virtual bool IsGuid(const std::string& text) const { return text == taskGuid_; }
    virtual std::string GetGuid() const { return taskGuid_; }
    virtual Kind GetKind() const { return kind_; }
    virtual int32_t GetTaskId() const { return taskId_; }
    virtual void SetNotifyThreadId(DWORD id) { notifyThreadId_ = id; }

    // "%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X"
    static std::string FormatGuid(const GUID& guid);

protected:
    explicit ITask(int32_t taskId) : taskId_(taskId) {}

    char taskGuid_[64] = {};
    Kind kind_ = Kind::None;
    int32_t taskId_ = 0;
    DWORD notifyThreadId_ = 0;
};
