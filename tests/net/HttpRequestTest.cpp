#include <gtest/gtest.h>
#include <windows.h>

#include "net/HttpConnection.h"
#include "net/HttpRequest.h"
#include "net/ServerEndpoints.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"

namespace {

std::string ConfigUrl(const std::string& key) { return LocalServer::BaseUrl() + ServerEndpoints::kConfigPath + key; }

// One exchange in string mode; the params are the caller's, so that what
// HttpRequest leaves in them can be checked.
bool Fetch(HttpRequestParams& params, const std::string& url, std::string* reply, bool post = false)
{
    params.replyMode = REPLY_STRING;
    params.replyTarget = reply;
    return HttpRequest(&params, nullptr, post, 0, url.c_str());
}

bool Fetch(const std::string& url, std::string* reply, const std::string& extraHeaders = "")
{
    HttpRequestParams params;
    params.extraHeaders = extraHeaders;
    return Fetch(params, url, reply);
}

struct CallbackLog {
    int calls = 0;
    uint32_t context = 0;
    uint32_t length = 99;
    void* userData = nullptr;
};

bool RecordCallback(uint32_t context, char* data, uint32_t length, void* userData, uint32_t reserved)
{
    auto* log = static_cast<CallbackLog*>(userData);
    ++log->calls;
    log->context = context;
    log->length = length;
    log->userData = userData;
    return data != nullptr && reserved == 0;
}

bool Callback(HttpRequestParams& params, const std::string& url, CallbackLog* log)
{
    params.replyMode = REPLY_CALLBACK;
    params.callback = RecordCallback;
    params.userData = log;
    return HttpRequest(&params, nullptr, false, 42, url.c_str());
}

bool IsReset(const HttpRequestParams& p)
{
    return p.extraHeaders.empty() && p.referrer.empty() && p.body.empty() && p.ReplyMode() == REPLY_NONE &&
           p.replyTarget == nullptr && p.replyLimit == 0 && p.callback == nullptr && p.userData == nullptr;
}

}  // namespace

TEST(HttpRequest, StringReplyArrivesWholeAndInOrderWithItsQuery)
{
    const std::string key = LocalServer::NewKey();
    const std::string body = PatternBytes(10000, 7);
    ASSERT_TRUE(LocalServer::SetConfigReply(key, body));

    HttpRequestParams params;
    std::string reply = "prefix:";
    ASSERT_TRUE(Fetch(params, ConfigUrl(key), &reply));
    EXPECT_TRUE(reply == "prefix:" + body) << reply.size();  // appended, not replaced
    EXPECT_TRUE(IsReset(params));

    // The record was reset: the same params send again, then fail unread.
    EXPECT_FALSE(HttpRequest(&params, nullptr, false, 5, ConfigUrl(key).c_str()));
    EXPECT_EQ(reply.size(), body.size() + 7);

    // A limit as long as the reply lets it through; one byte less fails it.
    for (size_t limit : {body.size(), body.size() - 1}) {
        std::string limited;
        params.replyLimit = limit;
        EXPECT_EQ(Fetch(params, ConfigUrl(key), &limited), limit == body.size()) << limit;
        EXPECT_TRUE(IsReset(params));
    }

    auto requests = LocalServer::Requests(key);
    ASSERT_EQ(requests.size(), 4u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.path, ServerEndpoints::kConfigPath + key);
    }
}

TEST(HttpRequest, EmptyBodiesAndErrorPagesAreReplies)
{
    const std::string key = LocalServer::NewKey();
    ASSERT_TRUE(LocalServer::SetConfigReply(key, ""));
    std::string reply = "unchanged";
    EXPECT_TRUE(Fetch(ConfigUrl(key), &reply));
    EXPECT_EQ(reply, "unchanged");

    ASSERT_TRUE(LocalServer::SetMode(key, "404", 1));
    reply.clear();
    EXPECT_TRUE(Fetch(ConfigUrl(key), &reply));
    EXPECT_NE(reply.find("404"), std::string::npos) << reply;

    // A POST carries its body only when it has one.
    const std::string url = LocalServer::BaseUrl() + ServerEndpoints::kSuccessReportPath;
    HttpRequestParams params;
    params.body = "agent_id=" + key + "&use_time=0&sizes=10485760";
    ASSERT_TRUE(Fetch(params, url, &reply, true));
    ASSERT_TRUE(Fetch(params, url + "?agent_id=" + key, &reply, true));
    auto requests = LocalServer::Requests(key);
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].method, "POST");
    EXPECT_EQ(requests[2].body, "agent_id=" + key + "&use_time=0&sizes=10485760");
    EXPECT_EQ(requests[3].body, "");
}

TEST(HttpRequest, CallbackRunsOnceWithoutReadingAndOnlyWhenSent)
{
    const std::string key = LocalServer::NewKey();
    ASSERT_TRUE(LocalServer::SetConfigReply(key, PatternBytes(50000)));

    CallbackLog log;
    HttpRequestParams params;
    ASSERT_TRUE(Callback(params, ConfigUrl(key), &log));
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.context, 42u);
    EXPECT_EQ(log.length, 0u);
    EXPECT_EQ(log.userData, &log);
    EXPECT_TRUE(IsReset(params));

    CallbackLog refused;
    EXPECT_FALSE(Callback(params, LocalServer::RefusedUrl(), &refused));
    EXPECT_EQ(refused.calls, 0);
    EXPECT_TRUE(IsReset(params));

    params.replyMode = REPLY_CALLBACK;  // and no callback
    EXPECT_FALSE(HttpRequest(&params, nullptr, false, 42, ConfigUrl(key).c_str()));
    std::string reply;
    params.replyMode = REPLY_STRING;
    params.replyTarget = &reply;
    EXPECT_FALSE(HttpRequest(&params, nullptr, false, 0, nullptr));
    EXPECT_TRUE(IsReset(params));
}

TEST(HttpRequest, RefusedAndStalledExchangesFailWithinTheTimeouts)
{
    std::string reply;
    DWORD start = GetTickCount();
    EXPECT_FALSE(Fetch(LocalServer::RefusedUrl(), &reply));
    EXPECT_LT(GetTickCount() - start, 4000u);  // connect time-out 2 s, with room for a loaded machine

    // Half the body, then silence: the read gives up after 1 s. Whatever
    // was appended before stays (Wine hands over nothing of a piece that
    // timed out).
    const std::string key = LocalServer::NewKey();
    const std::string body = PatternBytes(2000, 3);
    ASSERT_TRUE(LocalServer::SetConfigReply(key, body));
    ASSERT_TRUE(LocalServer::SetMode(key, "stall", 1, 6000));
    start = GetTickCount();
    EXPECT_FALSE(Fetch(ConfigUrl(key), &reply));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_LE(reply.size(), 1000u);
    EXPECT_TRUE(reply == body.substr(0, reply.size()));
}

TEST(HttpRequest, RepliesCutShortOrNeverGivenFail)
{
    const std::string key = LocalServer::NewKey();
    ASSERT_TRUE(LocalServer::SetConfigReply(key, PatternBytes(3000, 5)));
    ASSERT_TRUE(LocalServer::SetMode(key, "close", 1));
    std::string reply;
    EXPECT_FALSE(Fetch(ConfigUrl(key), &reply)) << "shorter than its declared length";

    // Without a declared length, the end of the connection is the end of the reply.
    ASSERT_TRUE(LocalServer::SetMode(key, "nolength", 1));
    reply.clear();
    EXPECT_TRUE(Fetch(ConfigUrl(key), &reply));
    EXPECT_TRUE(reply == PatternBytes(3000, 5)) << reply.size();

    // A connection closed without any reply: Wine hands it over as a sent
    // request with an empty reply.
    for (const char* mode : {"hangup", "reset"}) {
        ASSERT_TRUE(LocalServer::SetMode(key, mode, 3));
        EXPECT_FALSE(Fetch(ConfigUrl(key), &reply)) << mode;
        CallbackLog log;
        HttpRequestParams params;
        EXPECT_FALSE(Callback(params, ConfigUrl(key), &log)) << mode;
        EXPECT_EQ(log.calls, 0) << mode;
        HttpClient client;
        uint64_t size = 1;
        EXPECT_FALSE(HttpQueryContentLength(&client, ConfigUrl(key).c_str(), &size)) << mode;
    }
    EXPECT_EQ(LocalServer::Requests(key).size(), 8u);
}

TEST(HttpQueryContentLength, ReadsTheHeaderWithoutTheBody)
{
    const std::string key = LocalServer::NewKey();
    const std::string rel = "net/" + key + "/package.bin";
    ASSERT_FALSE(LocalServer::PublishFile(rel, PatternBytes(123457)).empty());

    HttpClient client;
    uint64_t size = 99;
    ASSERT_TRUE(HttpQueryContentLength(&client, LocalServer::NginxFileUrl(rel).c_str(), &size));
    EXPECT_EQ(size, 123457u);
    // A 206 gives the size of the whole, not of its part.
    HttpClient ranged;
    ranged.params.extraHeaders = "Range: bytes=5-9\r\n";
    ASSERT_TRUE(HttpQueryContentLength(&ranged, LocalServer::NginxFileUrl(rel).c_str(), &size));
    EXPECT_EQ(size, 123457u);

    // No length, or the length of an error page, is no size of the package.
    for (const char* mode : {"nolength", "404", "500", "503"}) {
        ASSERT_TRUE(LocalServer::SetMode(key, mode, 1));
        size = 99;
        EXPECT_FALSE(HttpQueryContentLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size)) << mode;
        EXPECT_EQ(size, 0u) << mode;
    }
    size = 99;
    EXPECT_FALSE(HttpQueryContentLength(&client, LocalServer::RefusedUrl().c_str(), &size));
    EXPECT_EQ(size, 0u);
}

TEST(HttpQueryRangedLength, OnlyARangedReplyGivesTheSize)
{
    const std::string key = LocalServer::NewKey();
    const std::string rel = "net/" + key + "/package.bin";
    ASSERT_FALSE(LocalServer::PublishFile(rel, PatternBytes(123457)).empty());
    HttpClient client;
    uint64_t size = 99;
    ASSERT_TRUE(HttpQueryRangedLength(&client, LocalServer::NginxFileUrl(rel).c_str(), &size));
    EXPECT_EQ(size, 123457u);
    ASSERT_TRUE(HttpQueryRangedLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size));
    EXPECT_EQ(size, 123457u);
    EXPECT_EQ(LocalServer::Requests(key).back().range, "bytes=0-0");

    // A page that answers every request: an HTML one gives no size at all,
    // one that does not say it is HTML a size only to the plain query.
    ASSERT_TRUE(LocalServer::SetMode(key, "portal"));
    EXPECT_FALSE(HttpQueryContentLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size));
    EXPECT_FALSE(HttpQueryRangedLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size));
    ASSERT_TRUE(LocalServer::SetMode(key, "portal_plain"));
    EXPECT_TRUE(HttpQueryContentLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size));
    EXPECT_FALSE(HttpQueryRangedLength(&client, LocalServer::PackageUrl(key, rel).c_str(), &size));
    EXPECT_EQ(size, 0u);
}

TEST(HttpConnection, HttpsGetsTheSecureFlagsAndCertificateErrorsWidenThem)
{
    EXPECT_EQ(HttpRequestFlags(INTERNET_SCHEME_HTTPS),
              static_cast<DWORD>(INTERNET_FLAG_RELOAD | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                 INTERNET_FLAG_IGNORE_CERT_CN_INVALID));
    EXPECT_EQ(HttpRequestFlags(INTERNET_SCHEME_HTTP), static_cast<DWORD>(INTERNET_FLAG_RELOAD));

    HttpHandles handles;
    HttpTarget target;
    EXPECT_FALSE(HttpOpenConnection(nullptr, &handles, "not a url", &target));
    EXPECT_FALSE(handles.internet);
    EXPECT_FALSE(HttpCloseHandles(&handles)) << "nothing open";

    // An https request handle can be opened without a server: nothing is sent.
    ASSERT_TRUE(HttpOpenConnection(nullptr, &handles, "https://127.0.0.1:1/package.exe", &target));
    EXPECT_EQ(target.flags, HttpRequestFlags(INTERNET_SCHEME_HTTPS));
    handles.request.Reset(HttpOpenRequestA(handles.connection.Get(), "GET", target.path.c_str(), "HTTP/1.0", "",
                                           nullptr, target.flags, 0));
    ASSERT_TRUE(handles.request);
    auto flags = [&] {
        DWORD value = 0, size = sizeof(value);
        EXPECT_TRUE(InternetQueryOptionA(handles.request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, &size));
        return value;
    };
    const DWORD widened = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;
    HttpWidenSecurityFlags(handles.request.Get(), ERROR_INTERNET_TIMEOUT);
    EXPECT_NE(flags() & widened, widened);
    HttpWidenSecurityFlags(handles.request.Get(), ERROR_INTERNET_INVALID_CA);
    EXPECT_EQ(flags() & widened, widened);
    EXPECT_TRUE(HttpCloseHandles(&handles));
    EXPECT_FALSE(handles.request);
}

TEST(HttpRequest, FullCertificateChecksRefuseAnotherHostsCertificateWhichLenientOnesTake)
{
    ASSERT_TRUE(LocalServer::HasTlsCertificates()) << "no TLS test certificates: run scripts/bootstrap";
    const std::string key = LocalServer::NewKey();
    ASSERT_TRUE(LocalServer::SetConfigReply(key, "over tls"));
    auto fetch = [&](const std::string& base, CertificateChecks checks, uint32_t* error) {
        HttpRequestParams params;
        params.certificateChecks = checks;
        params.sendError = error;
        std::string reply;
        const bool ok = Fetch(params, base + ServerEndpoints::kConfigPath + key, &reply);
        EXPECT_TRUE(IsReset(params) && params.certificateChecks == CertificateChecks::Lenient);
        return ok ? reply : "failed";
    };
    uint32_t error = 0;
    EXPECT_EQ(fetch(LocalServer::TlsUrl(), CertificateChecks::Full, &error), "over tls");
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(fetch(LocalServer::TlsOtherNameUrl(), CertificateChecks::Full, &error), "failed");
    EXPECT_EQ(error, static_cast<uint32_t>(ERROR_INTERNET_SEC_CERT_CN_INVALID));
    // The package host's leniency: a name error is ignored.
    EXPECT_EQ(fetch(LocalServer::TlsOtherNameUrl(), CertificateChecks::Lenient, nullptr), "over tls");
    EXPECT_EQ(LocalServer::Requests(key).size(), 2u) << "the refused request was never sent";
}

TEST(HttpConnection, PerServerConnectionLimitsAreRaisedProcessWide)
{
    HttpHandles handles;
    HttpTarget target;
    ASSERT_TRUE(HttpOpenConnection(nullptr, &handles, "http://127.0.0.1:1/package.exe", &target));
    HttpCloseHandles(&handles);
    EXPECT_TRUE(HttpRaiseConnectionLimits());
    for (DWORD option : {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD value = 0, size = sizeof(value);
        EXPECT_TRUE(InternetQueryOptionA(nullptr, option, &value, &size)) << option;
        EXPECT_EQ(value, kHttpMaxConnectionsPerServer) << option;
    }
}

// The engine's tests of oversized replies mean something only if the
// package mode really sends more than the range.
TEST(TestServers, PackageModeSendsMoreThanTheRangeWhenAsked)
{
    const std::string key = LocalServer::NewKey();
    const std::string rel = "net/" + key + "/extra.bin";
    const std::string data = PatternBytes(50000, 12);
    ASSERT_FALSE(LocalServer::PublishFile(rel, data).empty());
    ASSERT_TRUE(LocalServer::SetMode(key, "extra", 1));
    std::string reply;
    ASSERT_TRUE(Fetch(LocalServer::PackageUrl(key, rel), &reply, ServerEndpoints::RangeHeader(8192, 12287)));
    EXPECT_GT(reply.size(), 4096u);
    EXPECT_TRUE(reply.substr(0, 4096) == data.substr(8192, 4096));
    ASSERT_EQ(LocalServer::Requests(key).size(), 1u);
    EXPECT_EQ(LocalServer::Requests(key)[0].range, "bytes=8192-12287");
}
