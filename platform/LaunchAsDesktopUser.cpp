#include "platform/LaunchAsDesktopUser.h"

#include <userenv.h>

#include "platform/HeldFile.h"

namespace {

// An environment block from CreateEnvironmentBlock.
struct EnvironmentBlockTraits : NullHandleTraits<void*> {
    static void Close(void* block) { DestroyEnvironmentBlock(block); }
};
using UniqueEnvironmentBlock = UniqueAny<EnvironmentBlockTraits>;

// The path the held file has now, from its handle rather than from the name
// it was opened by; "\\?\" is dropped where the rest is a plain path.
std::wstring FinalPath(HANDLE file)
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, &path[0], MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= MAX_PATH) {
        path.resize(n);
        n = GetFinalPathNameByHandleW(file, &path[0], n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0 && n - 6 < MAX_PATH) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0 && n - 4 < MAX_PATH) return path.substr(4);
    return path;
}

}  // namespace

UniqueHandle CreateMediumToken(uint32_t integrityRid)
{
    // Out parameters are taken over only on success: a failed call may leave anything there.
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &raw)) return UniqueHandle();
    const UniqueHandle processToken(raw);

    if (!DuplicateTokenEx(processToken.Get(), MAXIMUM_ALLOWED, nullptr, SecurityAnonymous, TokenPrimary, &raw)) {
        return UniqueHandle();
    }
    UniqueHandle newToken(raw);

    SID_IDENTIFIER_AUTHORITY labelAuthority = SECURITY_MANDATORY_LABEL_AUTHORITY;
    PSID sid = nullptr;
    if (AllocateAndInitializeSid(&labelAuthority, 1, integrityRid, 0, 0, 0, 0, 0, 0, 0, &sid)) {
        TOKEN_MANDATORY_LABEL label = {};
        label.Label.Attributes = SE_GROUP_INTEGRITY;
        label.Label.Sid = sid;
        // Lowering fails only where integrity levels do not exist; the
        // token is then the user's own, which is what we want anyway.
        SetTokenInformation(newToken.Get(), TokenIntegrityLevel, &label,
                            sizeof(TOKEN_MANDATORY_LABEL) + GetLengthSid(sid));
        FreeSid(sid);
    }
    return newToken;
}

bool LaunchAsDesktopUser(const HeldFile& program)
{
    if (!program.Held()) return false;
    const std::wstring path = FinalPath(program.Handle());
    if (path.empty()) return false;
    const UniqueHandle token = CreateMediumToken(SECURITY_MANDATORY_MEDIUM_RID);
    if (!token) return false;

    void* block = nullptr;
    if (!CreateEnvironmentBlock(&block, token.Get(), FALSE)) return false;
    const UniqueEnvironmentBlock environment(block);

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
