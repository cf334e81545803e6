#include <gtest/gtest.h>

#include <winsock2.h>

#include <atomic>
#include <thread>

#include "ControllerTestSupport.h"
#include "DebugOutputCapture.h"
#include "controller/PackageFiles.h"
#include "engine/CThreadsManager.h"
#include "platform/UniqueHandle.h"

TEST(DownloadStart, FailedStartsGiveUpOnceReportOncePerProcessAndRemoveTheTask)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string packageKey = LocalServer::NewKey();
    LocalServer::SetMode(packageKey, "nolength");  // the package server never says how long the package is
    LocalServer::SetConfigReply(
        key, ConfigReply("2.5.17.3", LocalServer::PackageUrl(packageKey, LocalServer::FixtureRelPath(Fixture::Signed)),
                         "x", 1));
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    for (size_t task = 1; task <= 2; ++task) {
        d.DownQuorvex();
        ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == task; }, 60000));
    }
    d.Exit(1);
    EXPECT_EQ(RequestsTo(packageKey, "/_pkg/").size(), 10u);  // length queries only: no GET followed them
    auto reports = RequestsTo(key, "/download_device_error_stat.php");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].body.find("&package_version=2.5.17.3&error_type=1&"), std::string::npos);
    EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::GetQuorvex\tget quorvex retry over\r\n"), 2u);
}

namespace {

// A package server that answers every request with a length, running a hook
// before it answers the second one (the package's GET).
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
        for (SOCKET s; (s = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET; closesocket(s)) {
            char buffer[4096];
            std::string request;
            for (int got; request.find("\r\n\r\n") == std::string::npos; request.append(buffer, got)) {
                if ((got = recv(s, buffer, sizeof buffer, 0)) <= 0) break;
            }
            if (++requests_ == 2) whileHeld_();
            const char reply[] = "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n";
            send(s, reply, sizeof reply - 1, 0);
        }
    }

    std::function<void()> whileHeld_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A job whose package is offered by a HeldServer.
struct HeldJob {
    ControllerFolders f;
    std::string key = f.UseNewKey();
    RecordingListener listener;
    CDownloader d{f.Settings(LocalServer::BaseUrl())};
    HeldServer server;

    explicit HeldJob(std::function<void()> whileHeld) : server(std::move(whileHeld))
    {
        d.RegisterListener(&listener);
        LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", server.Url(), "ab", 1));
    }
};

}  // namespace

TEST(DownloadStart, CancelDuringThePackageGetStartsNoTransfer)
{
    CDownloader* controller = nullptr;
    HeldJob job([&controller] { controller->Cancel(); });
    controller = &job.d;
    CDownloader& d = job.d;
    DebugOutputCapture debug;
    ASSERT_TRUE(debug.Active());

    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return debug.Text().find("----getquorvex-user-cancel-1\r\n") != std::string::npos; }));
    Sleep(1000);
    d.Exit(1);
    EXPECT_EQ(job.server.Requests(), 2);  // no range request came: the engine was not started
    EXPECT_EQ(debug.Text(), "----getquorvex-user-cancel-1\r\n");
    EXPECT_TRUE(job.listener.Events().empty());
    EXPECT_EQ(CountOf(job.f.LogText(), "retry over"), 0u);
}

TEST(DownloadStart, AStartTheEngineDoesNotTakeIsAFailedAttempt)
{
    // The engine's threads end while the first package GET is under way:
    // nothing can take this download or the next attempts'.
    // Stopped from this thread, the engine's owner, while the server holds.
    UniqueHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle stopped(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HeldJob job([&] {
        SetEvent(held.Get());
        WaitForSingleObject(stopped.Get(), 30000);
    });
    job.d.DownQuorvex();
    ASSERT_EQ(WaitForSingleObject(held.Get(), 60000), WAIT_OBJECT_0);
    job.d.StopEngine();
    SetEvent(stopped.Get());
    ASSERT_TRUE(WaitFor([&] { return job.listener.Count(EVENT_FAILED) == 1; }, 60000));
    job.d.Exit(1);
    EXPECT_EQ(job.server.Requests(), 10);  // five attempts, each a length query and a GET
    EXPECT_EQ(RequestsTo(job.key, "/download_device_error_stat.php").size(), 1u);
}

TEST(DownloadStart, TemporaryFileIsKeptOnlyForAUsableResumeRecord)
{
    ControllerFolders f;
    CLog log;
    PackageFiles files(log, f.program, "1");
    const std::string temp = f.program + "\\TzGameSetup1.0.0.0.tmp";
    const std::string record = temp + ".cfg";
    auto prepare = [&](const char* file, const char* rec, uint64_t size) {
        DeleteFileW(Utf8ToWide(temp).c_str());
        DeleteFileW(Utf8ToWide(record).c_str());
        if (file) WriteFileBytes(temp, file);
        if (rec) WriteFileBytes(record, rec);
        return files.PrepareTempFile(size, Utf8ToWide(temp));
    };
    // A record beside a file of the download's size: the engine resumes into it.
    EXPECT_TRUE(prepare("0123456789", "rec", 10));
    EXPECT_EQ(ReadFileBytes(temp), "0123456789");
    EXPECT_EQ(ReadFileBytes(record), "rec");
    // No record: an old file is truncated and sized anew.
    EXPECT_TRUE(prepare("0123456789", nullptr, 4096));
    EXPECT_EQ(ReadFileBytes(temp), std::string(4096, '\0'));
    // A record whose file has another size, or none, could never be resumed into: it goes.
    for (const char* file : {"short", static_cast<const char*>(nullptr)}) {
        EXPECT_TRUE(prepare(file, "rec", 100));
        EXPECT_EQ(ReadFileBytes(temp), std::string(100, '\0'));
        EXPECT_FALSE(FileExists(record));
    }
    EXPECT_FALSE(files.PrepareTempFile(100, Utf8ToWide(f.program + "\\missing\\x.tmp")));
}
