#include <gtest/gtest.h>

#include <winsock2.h>

#include <atomic>
#include <thread>

#include "ControllerTestSupport.h"
#include "DebugOutputCapture.h"
#include "engine/CThreadsManager.h"

TEST(DownloadStart, FailedStartsGiveUpOnceReportOncePerProcessAndRemoveTheTask)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    // The package server never says how long the package is.
    LocalServer::SetMode(key, "nolength");
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    CDownloaderProbe probe(d);
    const std::string url = LocalServer::PackageUrl(key, LocalServer::FixtureRelPath(Fixture::Signed));
    probe.SetLobbyInfo(MakeLobbyInfo("2.5.17.3", url, "x", 1));

    for (int32_t task = 1; task <= 2; ++task) {
        probe.AddRunningTask(task);
        EXPECT_FALSE(probe.GetQuorvex(task));
        EXPECT_EQ(probe.TaskState(task), -1);
        EXPECT_EQ(listener.Count(EVENT_FAILED), static_cast<size_t>(task));
    }
    LocalServer::SetMode(key, "normal");
    d.Exit(1);

    auto fetches = RequestsTo(key, "/_pkg/");
    EXPECT_EQ(fetches.size(), 10u);  // content-length queries only: no GET was ever sent after them
    auto reports = RequestsTo(key, "/download_device_error_stat.php");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].body.find("&package_version=2.5.17.3&error_type=1&"), std::string::npos);
    EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::GetQuorvex\tget quorvex retry over\r\n"), 2u);
}

namespace {

// A package server of one file that lets the test act while the package's
// GET waits for its reply, and counts the requests it gets.
class HeldServer {
public:
    explicit HeldServer(std::function<void()> whileHeld) : whileHeld_(std::move(whileHeld))
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 8);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HeldServer()
    {
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/pkg.exe"; }
    int Requests() const { return requests_; }

private:
    void Serve()
    {
        for (;;) {
            SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) return;
            char buffer[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                int got = recv(s, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, got);
            }
            // The first request asks for the length; the second is the GET
            // whose reply starts the engine.
            if (++requests_ == 2) whileHeld_();
            const char reply[] = "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n";
            send(s, reply, sizeof reply - 1, 0);
            closesocket(s);
        }
    }

    std::function<void()> whileHeld_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

} // namespace

TEST(DownloadStart, CancelDuringThePackageGetStartsNoTransfer)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    HeldServer server([&d] { d.Cancel(); });
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", server.Url(), "ab", 1));
    DebugOutputCapture debug;
    ASSERT_TRUE(debug.Active());

    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return debug.Text().find("----getquorvex-user-cancel-1\r\n") != std::string::npos; }));
    Sleep(1000);
    d.Exit(1);
    // No range request ever came: the engine was not started.
    EXPECT_EQ(server.Requests(), 2);
    EXPECT_EQ(debug.Text(), "----getquorvex-user-cancel-1\r\n");
    EXPECT_TRUE(listener.Events().empty());
    EXPECT_EQ(CountOf(f.LogText(), "retry over"), 0u);
}

TEST(DownloadStart, TemporaryFileIsKeptOnlyForAUsableResumeRecord)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    const std::string temp = f.program + "\\TzGameSetup1.0.0.0.tmp";
    const std::string record = temp + ".cfg";

    // A record beside a file of the right size: the engine resumes into it.
    ASSERT_TRUE(WriteFileBytes(temp, "0123456789"));
    ASSERT_TRUE(WriteFileBytes(record, "rec"));
    EXPECT_TRUE(probe.PrepareTempFile(10, temp));
    EXPECT_EQ(ReadFileBytes(temp), "0123456789");
    EXPECT_EQ(ReadFileBytes(record), "rec");

    // No record: the old file is truncated and sized anew.
    ASSERT_TRUE(DeleteFileW(Utf8ToWide(record).c_str()));
    EXPECT_TRUE(probe.PrepareTempFile(4096, temp));
    EXPECT_EQ(ReadFileBytes(temp), std::string(4096, '\0'));

    // A record whose file has another size, or none: no range could ever be
    // written into it, so the record goes and the file is prepared afresh.
    ASSERT_TRUE(WriteFileBytes(temp, "short"));
    ASSERT_TRUE(WriteFileBytes(record, "rec"));
    EXPECT_TRUE(probe.PrepareTempFile(100, temp));
    EXPECT_EQ(ReadFileBytes(temp), std::string(100, '\0'));
    EXPECT_FALSE(FileExists(record));

    ASSERT_TRUE(DeleteFileW(Utf8ToWide(temp).c_str()));
    ASSERT_TRUE(WriteFileBytes(record, "rec"));
    EXPECT_TRUE(probe.PrepareTempFile(100, temp));
    EXPECT_EQ(ReadFileBytes(temp).size(), 100u);
    EXPECT_FALSE(FileExists(record));

    // A file that cannot be made fails.
    EXPECT_FALSE(probe.PrepareTempFile(100, f.program + "\\missing\\x.tmp"));
    d.Exit(1);
}
