#include "platform/LaunchAsDesktopUser.h"

#include <userenv.h>

#include "platform/UniqueHandle.h"

namespace {

// Owns an environment block from CreateEnvironmentBlock.
class EnvironmentBlock {
public:
    explicit EnvironmentBlock(HANDLE token)
    {
        if (!CreateEnvironmentBlock(&block_, token, FALSE)) block_ = nullptr;
    }
    ~EnvironmentBlock()
    {
        if (block_) DestroyEnvironmentBlock(block_);
    }
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;

    void* Get() const { return block_; }

private:
    void* block_ = nullptr;
};

}  // namespace

HANDLE CreateMediumToken(uint32_t integrityRid)
{
    HANDLE processToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &processToken)) return nullptr;
    UniqueHandle own(processToken);

    HANDLE newToken = nullptr;
    if (!DuplicateTokenEx(own.Get(), MAXIMUM_ALLOWED, nullptr, SecurityAnonymous, TokenPrimary, &newToken)) {
        return nullptr;
    }

    SID_IDENTIFIER_AUTHORITY labelAuthority = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID sid = nullptr;
    if (AllocateAndInitializeSid(&labelAuthority, 1, integrityRid, 0, 0, 0, 0, 0, 0, 0, &sid)) {
        TOKEN_MANDATORY_LABEL label = {};
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        label.Label.Sid = sid;
        // Lowering fails only where integrity levels do not exist; the
        // token is then the user's own, which is what we want anyway.
        SetTokenInformation(newToken, TokenIntegrityLevel, &label, sizeof(TOKEN_MANDATORY_LABEL) + GetLengthSid(sid));
        FreeSid(sid);
    }
    return newToken;
}

bool LaunchAsDesktopUser(const std::wstring& path)
{
    UniqueHandle token(CreateMediumToken(SECURITY_MANDATORY_MEDIUM_RID));
    if (!token) return false;

    EnvironmentBlock environment(token.Get());
    if (!environment.Get()) return false;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessAsUserW(token.Get(), path.c_str(), nullptr, nullptr, nullptr, FALSE,
                                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT,
                                        environment.Get(), nullptr, &startup, &process);
    // The setup runs on its own; nothing here waits for it.
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    return created != FALSE;
}
