#include <gtest/gtest.h>
#include <windows.h>

#include "net/HttpConnection.h"
#include "net/HttpRequest.h"
#include "net/ServerEndpoints.h"
#include "platform/GetFileVersionQuad.h"
#include "platform/IsFileTrusted.h"
#include "support/LocalServer.h"
#include "support/TestFiles.h"

// The package servers that the download tests rely on: nginx's real ranges,
// and the faults of the local server's package mode.

namespace {

struct RangeReply {
    bool sent = false;
    bool readFailed = false;
    std::string body;
};

RangeReply GetRange(const std::string& url, int64_t first, int64_t last)
{
    RangeReply reply;
    HttpRequestParams params;
    params.extraHeaders = ServerEndpoints::RangeHeader(first, last);
    HttpHandles handles;
    reply.sent = HttpSend(&params, nullptr, &handles, url.c_str(), false);
    if (!reply.sent) return reply;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(handles.request, buffer, sizeof(buffer), &got)) {
            reply.readFailed = true;
            break;
        }
        if (got == 0) break;
        reply.body.append(buffer, got);
    }
    return reply;
}

} // namespace

TEST(TestServers, NginxAndThePackageModeServeExactRanges)
{
    const std::string key = LocalServer::NewKey();
    const std::string rel = "net/" + key + "/ranges.bin";
    const std::string data = PatternBytes(100000, 11);
    ASSERT_FALSE(LocalServer::PublishFile(rel, data).empty());

    for (const std::string& url : {LocalServer::NginxFileUrl(rel), LocalServer::PackageUrl(key, rel)}) {
        RangeReply r = GetRange(url, 4096, 8191);
        ASSERT_TRUE(r.sent) << url;
        EXPECT_FALSE(r.readFailed);
        EXPECT_TRUE(r.body == data.substr(4096, 4096)) << url << " " << r.body.size();
        r = GetRange(url, 99990, 99999);
        EXPECT_TRUE(r.body == data.substr(99990)) << url << " " << r.body.size();
    }
    auto requests = LocalServer::Requests(key);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].range, "bytes=4096-8191");
}

TEST(TestServers, PackageModeBendsRangesOnRequest)
{
    const std::string key = LocalServer::NewKey();
    const std::string rel = "net/" + key + "/faults.bin";
    const std::string data = PatternBytes(50000, 12);
    ASSERT_FALSE(LocalServer::PublishFile(rel, data).empty());
    const std::string url = LocalServer::PackageUrl(key, rel);

    ASSERT_TRUE(LocalServer::SetMode(key, "norange", 1));
    EXPECT_TRUE(GetRange(url, 8192, 12287).body == data);

    ASSERT_TRUE(LocalServer::SetMode(key, "extra", 1));
    RangeReply r = GetRange(url, 8192, 12287);
    EXPECT_GT(r.body.size(), 4096u);
    EXPECT_TRUE(r.body.substr(0, 4096) == data.substr(8192, 4096));

    ASSERT_TRUE(LocalServer::SetMode(key, "short", 1));
    r = GetRange(url, 8192, 12287);
    EXPECT_EQ(r.body.size(), 2048u);
    EXPECT_TRUE(r.body == data.substr(8192, 2048));

    // A stall of more than a second in mid-range: the read gives up.
    ASSERT_TRUE(LocalServer::SetMode(key, "stall_mid", 1, 2500));
    r = GetRange(url, 8192, 12287);
    EXPECT_TRUE(r.readFailed);

    // Each mode was used up by one request: the next range is exact again.
    r = GetRange(url, 8192, 12287);
    EXPECT_TRUE(r.body == data.substr(8192, 4096));
    EXPECT_EQ(LocalServer::Requests(key).size(), 5u);
}

TEST(TestServers, ServesTheDownloadPageAndRejectsUnknownAgents)
{
    HttpRequestParams params;
    std::string page;
    params.replyMode = REPLY_STRING;
    params.replyTarget = &page;
    ASSERT_TRUE(HttpRequest(&params, nullptr, false, 0, ServerEndpoints::DownloadPageUrl().c_str()));
    EXPECT_NE(page.find("<html"), std::string::npos);

    const std::string key = LocalServer::NewKey();
    std::string reply;
    params.replyMode = REPLY_STRING;
    params.replyTarget = &reply;
    ASSERT_TRUE(HttpRequest(&params, nullptr, false, 0, ServerEndpoints::ConfigUrl(key).c_str()));
    EXPECT_NE(reply.find("404"), std::string::npos);
    ASSERT_TRUE(LocalServer::SetConfigReply(key, "x"));
    ASSERT_TRUE(LocalServer::SetMode(key, "malformed", 1));
    reply.clear();
    params.replyMode = REPLY_STRING;
    params.replyTarget = &reply;
    ASSERT_TRUE(HttpRequest(&params, nullptr, false, 0, ServerEndpoints::ConfigUrl(key).c_str()));
    EXPECT_EQ(reply.compare(0, 5, "<?xml"), 0);
}

TEST(HttpConnection, CertificateErrorsWidenTheSecurityFlags)
{
    // An https request handle can be opened without a server: nothing is sent.
    HttpHandles handles;
    HttpTarget target;
    ASSERT_TRUE(HttpOpenConnection(nullptr, &handles, "https://127.0.0.1:1/package.exe", &target));
    handles.request = HttpOpenRequestA(handles.connection, "GET", target.path.c_str(), "HTTP/1.0", "", nullptr,
                                       target.flags, 0);
    ASSERT_NE(handles.request, nullptr);

    auto flags = [&] {
        DWORD value = 0, size = sizeof(value);
        EXPECT_TRUE(InternetQueryOptionA(handles.request, INTERNET_OPTION_SECURITY_FLAGS, &value, &size));
        return value;
    };
    const DWORD widened = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;
    HttpWidenSecurityFlags(handles.request, ERROR_INTERNET_TIMEOUT);
    EXPECT_NE(flags() & widened, widened);
    HttpWidenSecurityFlags(handles.request, ERROR_INTERNET_INVALID_CA);
    EXPECT_EQ(flags() & widened, widened);
    EXPECT_TRUE(HttpCloseHandles(&handles));
    EXPECT_EQ(handles.request, nullptr);
}

TEST(TestServers, BuildsPackagesOfOtherVersionsOnRequest)
{
    const std::string rel = LocalServer::BuildPackage("net-1_10_0_0", "1.10.0.0", "3.0.0.0", "signed", 5000);
    ASSERT_EQ(rel, "fixtures/gen/net-1_10_0_0.exe");
    const std::string path = LocalServer::WwwDir() + "\\fixtures\\gen\\net-1_10_0_0.exe";
    int32_t major = 0, minor = 0, build = 0, revision = 0;
    ASSERT_TRUE(GetFileVersionQuad(path, &major, &minor, &build, &revision));
    EXPECT_EQ(minor, 10);
    EXPECT_TRUE(IsFileTrusted(path));
    EXPECT_GT(ReadFileBytes(path).size(), 5000u);

    EXPECT_EQ(LocalServer::BuildPackage("bad name!", "1.0.0.0"), "");
}
