#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "net/HttpConnection.h"
#include "net/HttpHandles.h"
#include "net/HttpProxyInfo.h"

// GETs of byte ranges of one file over HTTP/1.1. The Internet handle and the
// connection stay open from one request to the next, so that a range's next
// request can go over the kept-alive connection of the one before it; each
// request has a handle of its own. The reply is read as it comes: checking
// that it carries the bytes asked for is the caller's part.
//
// The session is asynchronous, and only the thread that uses the request
// ever closes a handle: it waits for each call on (its completion, `cancel`),
// an event another thread may set. On a cancel it closes the request, which
// ends the pending call, and fails; no call starts once `cancel` is set.
// Without an event the calls cannot be cancelled.
class HttpRangeRequest {
public:
    explicit HttpRangeRequest(HANDLE cancel = nullptr);
    ~HttpRangeRequest();
    HttpRangeRequest(const HttpRangeRequest&) = delete;
    HttpRangeRequest& operator=(const HttpRangeRequest&) = delete;

    // Sends "RANGE: bytes=first-last" (both inclusive) for url, and
    // "If-Range: ifRange" unless it is empty. False when the connection could
    // not be opened or the request not sent; everything is closed then, and
    // the next Send starts afresh.
    [[nodiscard]] bool Send(const HttpProxyInfo* proxy, const std::string& url, int64_t first, int64_t last,
                            const std::string& ifRange = std::string());

    // Of the reply to the last Send: the status (false when there is none),
    // the Content-Length (kUnknownLength when absent), the Content-Range
    // and Content-Type texts (empty when absent).
    [[nodiscard]] bool Status(DWORD& status) const;
    int64_t ContentLength() const;
    std::string ContentRange() const;
    std::string ContentType() const;
    // Its ETag and Last-Modified, as sent (empty when absent).
    std::string ETag() const;
    std::string LastModified() const;
    static constexpr int64_t kUnknownLength = -1;

    enum class Read {
        Data,      // got > 0 bytes
        Ended,     // the reply has no more bytes
        TimedOut,  // no data within the receive time-out
        Failed,    // an error, or cancelled
    };
    // Reads up to `want` (at most kMaxRead) bytes, each read no more than InternetQueryDataAvailable
    // reports: a synchronous read on Windows returns only once its buffer is
    // full or the reply has ended, so on a server that trickles a large read
    // would wait far longer than the receive time-out. Reads go on into the
    // same buffer for at most kGatherMs after the first bytes (Wine reports at
    // most its 8 KiB buffer, and chunks that small cost a third of the
    // speed); an end, stall or error met with bytes in hand is returned by
    // the next call.
    [[nodiscard]] Read ReadSome(void* buffer, DWORD want, DWORD& got);
    static constexpr DWORD kGatherMs = 50;
    static constexpr DWORD kMaxRead = 64 * 1024;
    // How long a closed request may take to report its end; one that has
    // not by then keeps its context (and buffer) for good. Windows reports at
    // once; Wine only once the socket call under way returns, which a server
    // that trickles may put off for minutes. Short, so a stop still ends in time.
    static constexpr DWORD kClosingWaitMs = 500;

    void Close();

private:
    struct Pending;
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info, DWORD length);
    bool Cancelled() const;
    // Ends a call started on the request: true when it succeeded, at once or
    // later; false with the call's error, or, cancelled, with the request
    // closed and ERROR_INTERNET_OPERATION_CANCELLED.
    bool Finish(BOOL started);
    // Waits until data has arrived; `available` then holds its count.
    bool QueryAvailable(DWORD& available);
    void DropRequest();
    Read ReadFailed();

    HANDLE cancel_;
    std::unique_ptr<Pending> pending_;  // of the open request; outlives its callbacks
    Read next_ = Read::Data;            // what ended the last read that returned bytes
    HttpHandles handles_;
    HttpTarget target_;
    std::string url_;  // of the open connection
};
