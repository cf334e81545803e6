#include "engine/CDownloadTask.h"

#include <wininet.h>
#include <urlmon.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/CIOTask.h"
#include "engine/IBaseThread.h"
#include "engine/RangeReply.h"
#include "engine/ResumeSegment.h"
#include "engine/ThreadMessages.h"
#include "platform/TextConvert.h"

namespace {

// Closes one WinINet handle.
class NetHandle {
public:
    NetHandle() = default;
    ~NetHandle() { Reset(); }
    NetHandle(const NetHandle&) = delete;
    NetHandle& operator=(const NetHandle&) = delete;
    void Reset(HINTERNET h = nullptr)
    {
        if (h_ != nullptr) InternetCloseHandle(h_);
        h_ = h;
    }
    HINTERNET Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

private:
    HINTERNET h_ = nullptr;
};

std::string UserAgent()
{
    char agent[1024] = {};
    DWORD length = 0;
    if (FAILED(UrlMkGetSessionOption(URLMON_OPTION_USERAGENT, agent, sizeof(agent) - 1, &length, 0))) return "";
    return agent;
}

bool QueryNumber(HINTERNET request, DWORD what, DWORD& value)
{
    // A 4-byte buffer: Wine rejects a larger one for numeric queries.
    DWORD length = sizeof(value), index = 0;
    return HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &length, &index) != FALSE;
}

std::string QueryText(HINTERNET request, DWORD what)
{
    char text[256] = {};
    DWORD length = sizeof(text) - 1, index = 0;
    if (!HttpQueryInfoA(request, what, text, &length, &index)) return "";
    return std::string(text, strnlen(text, sizeof(text)));
}

} // namespace

CDownloadTask::CDownloadTask(const std::string& url, const std::string& path, const HttpProxyInfo* proxy,
                             int64_t first, int64_t last, int64_t totalSize, int32_t taskId, DWORD startTick,
                             int64_t baseBytes)
    : ITask(taskId), url_(url), path_(path), proxy_(proxy), position_(first), rangeEnd_(last),
      totalSize_(totalSize), startTick_(startTick), baseBytes_(baseBytes)
{
}

CDownloadTask::~CDownloadTask() { CloseFile(); }

void CDownloadTask::CloseFile()
{
    if (file_ != nullptr && file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = nullptr;
}

void CDownloadTask::PostFailed() const { PostThreadMessageW(notifyThreadId_, TM_TASK_FAILED, 0, 0); }

ResumeSegment* CDownloadTask::MakeRemainderSegment() const
{
    return ResumeSegment::Make(static_cast<uint32_t>(position_), static_cast<uint32_t>(rangeEnd_), url_, path_);
}

void CDownloadTask::PostRemainder()
{
    ResumeSegment* segment = MakeRemainderSegment();
    if (segment == nullptr) return;
    if (!PostThreadMessageW(notifyThreadId_, TM_SAVE_SEGMENT, reinterpret_cast<WPARAM>(segment), 0)) delete segment;
}

bool CDownloadTask::CheckStop()
{
    if (ownerThread_ == nullptr || !ownerThread_->IsStopping()) return false;
    PostRemainder();
    return true;
}

bool CDownloadTask::Run()
{
    const std::wstring widePath = Utf8ToWide(path_);
    file_ = widePath.empty() ? INVALID_HANDLE_VALUE
                             : CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        file_ = nullptr;
        // Without a notice a missing target would be retried unseen for ever.
        PostFailed();
        return false;
    }
    // A range already complete (a stop right after its last chunk) needs no request.
    if (position_ > rangeEnd_) {
        CloseFile();
        return true;
    }

    auto fail = [this] {
        CloseFile();
        PostFailed();
        return false;
    };
    if (url_.empty()) return fail();

    NetHandle internet, connection, request;
    const std::string agent = UserAgent();
    internet.Reset(InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) return fail();
    DWORD connectTimeout = kConnectTimeoutMs, receiveTimeout = kReceiveTimeoutMs;
    if (!InternetSetOptionA(internet.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout, sizeof(DWORD)) ||
        !InternetSetOptionA(internet.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout, sizeof(DWORD)))
        return fail();

    std::vector<char> host(url_.size() + 1), object(url_.size() + 1);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = object.data();
    parts.dwUrlPathLength = static_cast<DWORD>(object.size());
    if (!InternetCrackUrlA(url_.c_str(), static_cast<DWORD>(url_.size()), ICU_DECODE, &parts)) return fail();
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

    connection.Reset(InternetConnectA(internet.Get(), host.data(), parts.nPort, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, flags, 0));
    if (!connection) return fail();
    DWORD maxConnections = 80;
    InternetSetOptionA(connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_SERVER, &maxConnections, sizeof(DWORD));
    InternetSetOptionA(connection.Get(), INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &maxConnections, sizeof(DWORD));

    request.Reset(HttpOpenRequestA(connection.Get(), "GET", object.data(), "HTTP/1.0", nullptr, nullptr, flags, 0));
    if (!request) return fail();
    if (position_ >= 0 && rangeEnd_ >= 0 && position_ <= rangeEnd_) {
        char header[128];
        snprintf(header, sizeof(header), "RANGE: bytes=%lld-%lld\r\n", static_cast<long long>(position_),
                 static_cast<long long>(rangeEnd_));
        HttpAddRequestHeadersA(request.Get(), header, static_cast<DWORD>(-1),
                               HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }
    if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) {
        DWORD error = GetLastError();
        if (error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_REV_FAILED) {
            DWORD security = 0, length = sizeof(security);
            if (InternetQueryOptionA(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &length)) {
                security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;
                InternetSetOptionA(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
            }
        }
        return fail();
    }

    // Bytes of any other range, or of a different file, must never be written.
    DWORD status = 0, contentLength = 0;
    int64_t length = QueryNumber(request.Get(), HTTP_QUERY_CONTENT_LENGTH, contentLength)
                         ? static_cast<int64_t>(contentLength) : RangeReply::kUnknown;
    if (!QueryNumber(request.Get(), HTTP_QUERY_STATUS_CODE, status) ||
        !RangeReply::Acceptable(status, QueryText(request.Get(), HTTP_QUERY_CONTENT_RANGE), length, position_,
                                totalSize_))
        return fail();

    char buffer[kReadSize];
    for (;;) {
        // Never read past the range: a longer reply must not reach the file.
        const int64_t owed = rangeEnd_ + 1 - position_;
        const DWORD want = owed < static_cast<int64_t>(kReadSize) ? static_cast<DWORD>(owed) : kReadSize;
        DWORD got = 0;
        if (!InternetReadFile(request.Get(), buffer, want, &got)) {
            // A stall: reconnect at once from `position`, without a notice.
            if (GetLastError() == ERROR_INTERNET_TIMEOUT) {
                CloseFile();
                return false;
            }
            return fail();
        }
        if (got == 0) return fail(); // the reply ended before the range did

        CIOTask write(file_, buffer, got, static_cast<uint32_t>(position_), taskId_, totalSize_, path_, startTick_,
                      baseBytes_);
        write.SetNotifyThreadId(notifyThreadId_);
        // A chunk that cannot be written ends the run at `position`, so the
        // next run fetches it again and no hole is left behind.
        if (!write.Run()) return fail();
        position_ += got;

        if (CheckStop()) break;
        if (position_ > rangeEnd_) break;
    }
    CloseFile();
    return true;
}
