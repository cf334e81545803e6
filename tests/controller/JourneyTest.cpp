#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>

#include "BuildConfig.h"
#include "ControllerTestSupport.h"
#include "engine/CBreakpointCfg.h"
#include "engine/CThreadsManager.h"
#include "engine/ResumeSegment.h"
#include "support/PostingObserver.h"

namespace {

// Stands in for the main window: receives the engine's events and the
// listener's, and calls DownFinished as the main window does.
class JourneyWindow : public IListener {
public:
    explicit JourneyWindow(CDownloader& d) : d_(d)
    {
        hwnd_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        observer_ = std::make_unique<PostingObserver>(hwnd_);
        d_.RegisterListener(this);
    }
    ~JourneyWindow()
    {
        observer_.reset();
        DestroyWindow(hwnd_);
    }
    void OnNotify(int32_t code, void* param) override
    {
        lastNotified = code;
        PostMessageW(hwnd_, WM_DOWNLOAD_EVENT, static_cast<WPARAM>(code), reinterpret_cast<LPARAM>(param));
    }

    // Handles the window's events until the controller's word is in (or time runs out).
    int32_t RunUntilOutcome()
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < 60000;) {
            MSG msg;
            if (!PeekMessageW(&msg, hwnd_, WM_DOWNLOAD_EVENT, WM_DOWNLOAD_EVENT, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
                continue;
            }
            auto* record = reinterpret_cast<ProgressRecord*>(msg.lParam);
            switch (static_cast<int32_t>(msg.wParam)) {
            case EVENT_PROGRESS: delete record; break;
            case EVENT_DOWNLOADED:
                ++downloadedEvents;
                d_.DownFinished(record->taskId);
                delete record;
                break;
            case EVENT_FAILED: CThreadsManager::Instance()->Stop(); return EVENT_FAILED;
            case EVENT_NEWER_VERSION:
            case EVENT_READY: return static_cast<int32_t>(msg.wParam);
            }
        }
        return -1;
    }
    int downloadedEvents = 0;
    std::atomic<int32_t> lastNotified{-1};  // set on the worker thread

private:
    CDownloader& d_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<PostingObserver> observer_;
};

// What the entry point does once its loop has ended.
void EndRun(CDownloader& d, JourneyWindow& window)
{
    if (window.lastNotified == EVENT_READY) {
        EXPECT_TRUE(d.Install(1));
    }
    d.Exit(1);
}

}  // namespace

TEST(Journey, DownloadInstallReuseAndUpdate)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string firstRel = LocalServer::FixtureRelPath(Fixture::Large);  // 2.5.17.3, about 3 MiB
    const std::string first = WwwPath(firstRel);
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::NginxFileUrl(firstRel), Md5Of(first), 2));
    std::string package, temp, newer;

    {  // An empty folder: configuration, parallel download, acceptance, launch.
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EXPECT_EQ(window.downloadedEvents, 1);
        package = d.GetPackagePath();
        temp = d.GetTempPackagePath();
        EndRun(d, window);
        EXPECT_TRUE(f.WaitForLaunchedCopy());
    }
    EXPECT_EQ(ReadFileBytes(package), ReadFileBytes(first));
    EXPECT_FALSE(FileExists(temp));
    EXPECT_FALSE(FileExists(temp + ".cfg"));
    auto successes = RequestsTo(key, "/download_device_stat.php");
    ASSERT_EQ(successes.size(), 1u);
    const std::string size = std::to_string(ReadFileBytes(first).size());
    EXPECT_EQ(successes[0].body.substr(successes[0].body.find("&sizes=")), "&sizes=" + size);
    EXPECT_TRUE(RequestsTo(key, "/download_device_error_stat.php").empty());

    {  // A second run installs what is on disk without downloading.
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EXPECT_EQ(window.downloadedEvents, 0);
        EXPECT_FALSE(FileExists(temp));
        EndRun(d, window);
        EXPECT_TRUE(f.WaitForLaunchedCopy());
    }
    EXPECT_EQ(RequestsTo(key, "/download_device_stat.php").size(), 1u);

    {  // A newer version with upStyle 2: the user asks for the update.
        std::string newerRel = LocalServer::BuildPackage("ctl-journey-2.6.0.0", "2.6.0.0");
        ASSERT_FALSE(newerRel.empty());
        newer = WwwPath(newerRel);
        LocalServer::SetConfigReply(key, ConfigReply("2.6.0.0", LocalServer::NginxFileUrl(newerRel), Md5Of(newer), 2));
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_NEWER_VERSION);
        EXPECT_TRUE(FileExists(package));
        d.DiscardLocalPackage();
        d.Cancel();
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EXPECT_EQ(window.downloadedEvents, 1);
        EXPECT_EQ(ReadFileBytes(package), ReadFileBytes(newer));
        d.Exit(1);
    }
    EXPECT_EQ(RequestsTo(key, "/download_device_stat.php").size(), 2u);
    EXPECT_TRUE(RequestsTo(key, "/download_device_error_stat.php").empty());
    EXPECT_EQ(RequestsTo(key, "/get_download_device_xml.php").size(), 3u);
    EXPECT_EQ(ReadFileBytes(f.appData + "\\Quorvex\\Downloader\\hi.cfg"),
              "<?xml version='1.0' encoding='utf-8' ?>\n<HistoryInfo>\n"
              "\t<Item ver=\"2.5.17.3\" md5=\"" +
                  Md5Of(first) +
                  "\"/>\n"
                  "\t<Item ver=\"2.6.0.0\" md5=\"" +
                  Md5Of(newer) + "\"/>\n</HistoryInfo>\n\n");
}

TEST(Journey, HttpsConfigurationHostGivesTheReplyAndTakesTheReports)
{
    ASSERT_TRUE(LocalServer::HasTlsCertificates()) << "no TLS test certificates: run scripts/bootstrap";
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Signed);
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::NginxFileUrl(rel), Md5Of(WwwPath(rel)), 1));
    {
        CDownloader d(f.Settings(LocalServer::TlsUrl()));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EndRun(d, window);
        EXPECT_TRUE(f.WaitForLaunchedCopy());
    }
    CDownloader(f.Settings(LocalServer::TlsUrl())).Exit(2);  // an error report too

    // The TLS port speaks nothing else: what it recorded came over TLS.
    EXPECT_EQ(RequestsTo(key, "/get_download_device_xml.php").size(), 1u);
    EXPECT_EQ(RequestsTo(key, "/download_device_stat.php").size(), 1u);
    EXPECT_EQ(RequestsTo(key, "/download_device_error_stat.php").size(), 1u);
    EXPECT_EQ(CountOf(f.LogText(), "[url]:" + LocalServer::TlsUrl() + "/download_device_stat.php [post]:"), 1u);
}

TEST(Journey, PlantedHardLinksAreNeitherWrittenNorDeleted)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Signed);  // 2.5.17.3
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::NginxFileUrl(rel), Md5Of(WwwPath(rel)), 1));
    TempDir elsewhere;  // a file only an administrator may change, in life
    const std::string victim = elsewhere.File("victim.dll");
    const std::string victimBytes = PatternBytes(5000, 3);
    ASSERT_TRUE(WriteFileBytes(victim, victimBytes));
    const std::string temp = f.program + "\\TzGameSetup2.5.17.3.tmp";
    const std::string package = f.program + "\\TzGameSetup_" + key + ".exe";
    const std::string refused = "\tCDownloader::LinkedFile\ta link, left alone: ";

    // At the temporary file: refused before anything is truncated; the download fails.
    ASSERT_TRUE(CreateHardLinkW(Utf8ToWide(temp).c_str(), Utf8ToWide(victim).c_str(), nullptr));
    {
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        EXPECT_EQ(window.RunUntilOutcome(), EVENT_FAILED);
        d.Exit(1);
    }
    EXPECT_EQ(ReadFileBytes(victim), victimBytes);
    EXPECT_EQ(ReadFileBytes(temp), victimBytes);
    EXPECT_FALSE(FileExists(package));
    EXPECT_GE(CountOf(f.LogText(), refused + temp + "\r\n"), 1u);

    // At the resume record's name: the download completes under the proper
    // name, and the record is neither read into the file, written nor deleted.
    ASSERT_TRUE(DeleteFileW(Utf8ToWide(temp).c_str()));
    ASSERT_TRUE(CreateHardLinkW(Utf8ToWide(temp + ".cfg").c_str(), Utf8ToWide(victim).c_str(), nullptr));
    {
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        EXPECT_EQ(window.RunUntilOutcome(), EVENT_READY);
        d.Exit(1);
    }
    EXPECT_EQ(ReadFileBytes(victim), victimBytes);
    EXPECT_EQ(ReadFileBytes(temp + ".cfg"), victimBytes);
    EXPECT_EQ(ReadFileBytes(package), ReadFileBytes(WwwPath(rel)));
    EXPECT_GE(CountOf(f.LogText(), refused + temp + ".cfg\r\n"), 1u);
}

TEST(Journey, ErrorAndPortalPagesWhereTheSizeIsAskedLeaveAPartialDownloadToResume)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string pkg = LocalServer::NewKey();  // the package's requests and faults
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Large);
    const std::string whole = ReadFileBytes(WwwPath(rel));
    LocalServer::SetConfigReply(key,
                                ConfigReply("2.5.17.3", LocalServer::PackageUrl(pkg, rel), Md5Of(WwwPath(rel)), 1));
    std::string temp, partial, record;
    {  // Every range stalls halfway, and the user leaves.
        ASSERT_TRUE(LocalServer::SetMode(pkg, "stall_mid", -1, 30000));
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_TRUE(WaitFor([&] { return RequestsTo(pkg, "/_pkg/").size() >= 3; }, 30000));
        Sleep(1500);
        temp = d.GetTempPackagePath();
        d.Exit(1);
    }
    partial = ReadFileBytes(temp);
    record = ReadFileBytes(temp + ".cfg");
    ASSERT_EQ(partial.size(), whole.size());
    ASSERT_FALSE(record.empty());

    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    JourneyWindow window(d);
    // The size is asked for and answered by error pages, or by a captive
    // portal's sign-in page, each with a length of its own. A portal page
    // that does not say it is HTML gets a ranged question as well.
    for (const char* page : {"503", "portal", "portal_plain"}) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(LocalServer::SetMode(pkg, page));
        const size_t before = RequestsTo(pkg, "/_pkg/").size();
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_FAILED);
        // Five failed starts, no GET of the package among them.
        EXPECT_EQ(RequestsTo(pkg, "/_pkg/").size() - before, std::string(page) == "portal_plain" ? 10u : 5u);
        EXPECT_TRUE(ReadFileBytes(temp) == partial) << "the partial download was overwritten";
        EXPECT_TRUE(ReadFileBytes(temp + ".cfg") == record) << "the resume record was changed or deleted";
    }
    EXPECT_EQ(CountOf(f.LogText(), "not confirmed, record of "), 5u);

    // The next start resumes: only the missing bytes are asked for.
    ASSERT_TRUE(LocalServer::SetMode(pkg, "normal"));
    const int64_t since = LocalServer::Requests(pkg).back().id;
    d.DownQuorvex();
    ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
    d.Exit(1);
    EXPECT_EQ(ReadFileBytes(d.GetPackagePath()), whole);
    int64_t asked = 0;
    for (const RecordedRequest& r : LocalServer::Requests(pkg)) {
        long long first = 0, last = -1;
        if (r.id > since && std::sscanf(r.range.c_str(), "bytes=%lld-%lld", &first, &last) == 2) {
            asked += last - first + 1;
            EXPECT_NE(first, 0) << "byte 0 was asked for again: " << r.range;
        }
    }
    EXPECT_GT(asked, 0);
    EXPECT_LT(asked, static_cast<int64_t>(whole.size()));
}

// A trust check may wait a long time for certificate retrieval: closing
// returns while the worker is still inside it, nothing of the log is lost, and
// the controller is kept until the worker is out.
TEST(Journey, ClosingNeverWaitsForAWorkerInsideACheck)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Large);
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::NginxFileUrl(rel), Md5Of(WwwPath(rel)), 2));
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<bool> checking{false};
    DownloaderSettings settings = f.Settings(LocalServer::BaseUrl());
    settings.warmUpChecks = [&] {
        checking = true;
        WaitForSingleObject(release.Get(), 60000);
    };
    auto d = std::make_unique<CDownloader>(settings);
    CThreadsManager::Instance()->Start();
    d->DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return checking.load(); }, 60000));

    d->Exit(2);
    EXPECT_FALSE(d->WorkerEnded()) << "Exit waited for the check";
    const std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Shutdown\tworker still busy after 1000 ms: left to the process's end\r\n"),
              1u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Exit\tgood bye\r\n"), 1u);
    EXPECT_EQ(RequestsTo(key, "/download_device_error_stat.php").size(), 1u) << "the user's leaving is reported";

    SetEvent(release.Get());
    EXPECT_TRUE(WaitFor([&] {
        d->Shutdown();
        return d->WorkerEnded();
    }));
    d.reset();
    EXPECT_EQ(CountOf(f.LogText(), "worker still busy"), 1u);
}

TEST(Journey, APackageWhoseSizeChangedIsFetchedAfreshOnceARangedReplyConfirmsIt)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string pkg = LocalServer::NewKey();
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Signed);
    const std::string whole = ReadFileBytes(WwwPath(rel));
    const std::string url = LocalServer::PackageUrl(pkg, rel);
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", url, Md5Of(WwwPath(rel)), 1));
    // Half of a larger earlier package, with its record.
    const std::string temp = f.program + "\\TzGameSetup2.5.17.3.tmp";
    const uint32_t before = static_cast<uint32_t>(whole.size()) + 5000;
    WriteFileBytes(temp, std::string(before, 'Z'));
    std::unique_ptr<ResumeSegment> rest(ResumeSegment::Make(before / 2, before - 1, url, temp));
    ASSERT_TRUE(CBreakpointCfg::WriteRecordFile(temp + ".cfg", before, {*rest}));

    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    JourneyWindow window(d);
    d.DownQuorvex();
    ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
    d.Exit(1);
    EXPECT_EQ(ReadFileBytes(d.GetPackagePath()), whole);
    EXPECT_FALSE(FileExists(temp + ".cfg"));
    bool confirmed = false, fromZero = false;
    for (const RecordedRequest& r : LocalServer::Requests(pkg)) {
        long long first = -1, last = -1;
        if (std::sscanf(r.range.c_str(), "bytes=%lld-%lld", &first, &last) != 2) continue;
        if (first == 0 && last == 0) confirmed = true;
        if (first == 0 && last > 0) fromZero = confirmed;
    }
    EXPECT_TRUE(confirmed) << "no ranged question confirmed the new size";
    EXPECT_TRUE(fromZero) << "the new package was not fetched from its start";
}

// ---- against the reference deployment (deploy/quorvex.conf.in) -------------
// nginx alone answers there: the reply files, the packages and the report log.
namespace {

// The deployment listens on 127.0.0.2 at the test servers' ports: + 1 plain, + 2 TLS.
std::string DeployBase(int offset, bool tls)
{
    const std::string nginx = LocalServer::NginxUrl();  // port + 1
    const int port = std::stoi(nginx.substr(nginx.rfind(':') + 1)) - 1;
    return std::string(tls ? "https://127.0.0.2:" : "http://127.0.0.2:") + std::to_string(port + offset);
}

std::string DeployPath(const std::string& rel) { return LocalServer::BinaryDir() + "\\deploy-www\\" + rel; }

// Publishes a copy of the fixture under packages/<key>.exe and the site's reply.
std::string PublishOnDeploy(const std::string& key, const std::string& md5Override = "")
{
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Signed);  // 2.5.17.3
    EXPECT_TRUE(CopyFileW(Utf8ToWide(WwwPath(rel)).c_str(), Utf8ToWide(DeployPath("packages\\" + key + ".exe")).c_str(),
                          FALSE));
    const std::string url = DeployBase(1, false) + "/packages/" + key + ".exe";
    const std::string md5 = md5Override.empty() ? Md5Of(WwwPath(rel)) : md5Override;
    EXPECT_TRUE(WriteFileBytes(DeployPath("replies\\" + key + ".xml"), ConfigReply("2.5.17.3", url, md5, 1)));
    return WwwPath(rel);
}

// The report log's lines of one site: "endpoint\tform fields".
std::vector<std::string> DeployLines(const std::string& key)
{
    std::vector<std::string> lines;
    const std::string text = ReadFileBytes(LocalServer::BinaryDir() + "\\test-servers\\quorvex-reports.log");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1), t3 = line.find('\t', t2 + 1);
        if (t3 == std::string::npos || line.find("agent_id=" + key) == std::string::npos) continue;
        if (line.substr(t2 + 1, t3 - t2 - 1).rfind("127.", 0) != 0) continue;  // the client's address
        lines.push_back(line.substr(t1 + 1, t2 - t1 - 1) + "\t" + line.substr(t3 + 1));
    }
    return lines;
}

size_t DeployCount(const std::string& key, const std::string& prefix)
{
    const auto lines = DeployLines(key);
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

}  // namespace

TEST(Deploy, FreshInstallFromTheSiteFileTakesRangesAndLogsItsReport)
{
    ASSERT_TRUE(LocalServer::HasTlsCertificates()) << "no TLS test certificates: run scripts/bootstrap";
    ControllerFolders f;
    const std::string key = f.UseNewKey();  // the site id comes from site.cfg
    const std::string package = PublishOnDeploy(key);
    {
        CDownloader d(f.Settings(DeployBase(1, false)));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EndRun(d, window);
        EXPECT_TRUE(f.WaitForLaunchedCopy());
    }
    EXPECT_EQ(Md5Of(f.program + "\\TzGameSetup_" + key + ".exe"), Md5Of(package));
    const std::string size = std::to_string(ReadFileBytes(package).size());
    EXPECT_TRUE(WaitFor([&] { return DeployCount(key, "/download_device_stat.php\t") == 1; }));
    EXPECT_EQ(DeployCount(key, "/get_download_device_xml.php\tagent_id=" + key), 1u);
    const auto lines = DeployLines(key);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.rfind("/download_device_stat.php\tagent_id=" + key + "&use_time=", 0) == 0 && l.size() > size.size() &&
               l.compare(l.size() - size.size() - 7, std::string::npos, "&sizes=" + size) == 0;
    }));
    EXPECT_EQ(DeployCount(key, "/download_device_error_stat.php\t"), 0u);
}

TEST(Deploy, WrongMd5IsRefusedAndItsReportLogged)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    PublishOnDeploy(key, "00000000000000000000000000000000");
    {
        CDownloader d(f.Settings(DeployBase(1, false)));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        EXPECT_EQ(window.RunUntilOutcome(), EVENT_FAILED);
        d.Exit(1);
    }
    EXPECT_TRUE(WaitFor([&] { return DeployCount(key, "/download_device_error_stat.php\t") >= 1; }));
    EXPECT_EQ(DeployCount(key, "/download_device_error_stat.php\tagent_id=" + key +
                                   "&download_version=" QUORVEX_VERSION_TEXT "&package_version=2.5.17.3&error_type=7&"),
              1u);
    EXPECT_EQ(DeployCount(key, "/download_device_stat.php\t"), 0u);
}

TEST(Deploy, HttpsHostWithFullChecksGivesTheReplyAndTakesTheReports)
{
    ASSERT_TRUE(LocalServer::HasTlsCertificates()) << "no TLS test certificates: run scripts/bootstrap";
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    PublishOnDeploy(key);
    const std::string https = DeployBase(2, true);
    {
        CDownloader d(f.Settings(https));
        CThreadsManager::Instance()->Start();
        JourneyWindow window(d);
        d.DownQuorvex();
        ASSERT_EQ(window.RunUntilOutcome(), EVENT_READY);
        EndRun(d, window);
        EXPECT_TRUE(f.WaitForLaunchedCopy());
    }
    CDownloader(f.Settings(https)).Exit(2);  // the user left: report 8
    EXPECT_TRUE(WaitFor([&] { return DeployCount(key, "/download_device_error_stat.php\t") == 1; }));
    EXPECT_EQ(DeployCount(key, "/download_device_stat.php\t"), 1u);
    EXPECT_EQ(CountOf(f.LogText(), "[url]:" + https + "/download_device_stat.php [post]:"), 1u);
    EXPECT_EQ(CountOf(f.LogText(), "server certificate refused"), 0u);
}
