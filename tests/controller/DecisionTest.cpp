#include <gtest/gtest.h>

#include <thread>

#include "ControllerTestSupport.h"
#include "engine/CBreakpointCfg.h"

namespace {

// A signed package of another product version, built once for all tests.
std::string Package(const std::string& version)
{
    std::string rel = LocalServer::BuildPackage("ctl-signed-" + version, version);
    EXPECT_FALSE(rel.empty()) << version;
    return WwwPath(rel);
}

std::string Upper(std::string text)
{
    CharUpperA(text.data());
    return text;
}

}  // namespace

TEST(PackageDecision, VerdictsLogLinesAndDeletion)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);  // 2.5.17.3
    const std::string md5 = Md5Of(signed25);
    struct Case {
        std::string file, newest, md5;
        int upStyle, updateRequested;
        int32_t verdict;
        const char* line;  // the log line, or none
    } cases[] = {
        {signed25, "2.5.17.3", Upper(md5), 1, 0, VERDICT_READY, nullptr},
        {signed25, "2.5.17.3", Upper(md5), 2, 0, VERDICT_READY, nullptr},
        {signed25, "2.5.17.3", md5, 2, 1, VERDICT_UPDATE_REQUESTED, nullptr},
        {signed25, "2.5.17.3", "0123", 1, 0, VERDICT_DOWNLOAD, "ver same but md5 not"},
        {LocalServer::FixturePath(Fixture::Unsigned), "2.5.17.3", md5, 1, 0, VERDICT_DOWNLOAD,
         "local file's trust is invalid"},
        {LocalServer::FixturePath(Fixture::Tampered), "2.5.17.3", md5, 1, 0, VERDICT_DOWNLOAD,
         "local file's trust is invalid"},
        // Validly signed, but by another publisher than the pinned one.
        {LocalServer::FixturePath(Fixture::OtherSigner), "2.5.17.3",
         Md5Of(LocalServer::FixturePath(Fixture::OtherSigner)), 1, 0, VERDICT_DOWNLOAD,
         "local file's trust is invalid"},
        {LocalServer::FixturePath(Fixture::Unversioned), "2.5.17.3", md5, 1, 0, VERDICT_DOWNLOAD,
         "local file's version is wrong"},
        {Package("1.2.3.1"), "1.2.3.4", "x", 3, 0, VERDICT_READY, nullptr},
        {Package("1.2.2.9"), "1.2.3.4", "x", 3, 0, VERDICT_DOWNLOAD, nullptr},
        {Package("1.2.3.9"), "1.2.3.4", "x", 3, 0, VERDICT_DOWNLOAD, "new ver smaller than local ver"},
        {Package("2.5.17.2"), "2.5.17.3", md5, 2, 0, VERDICT_OFFER_UPDATE, nullptr},
        {Package("2.5.17.2"), "2.5.17.3", md5, 1, 0, VERDICT_DOWNLOAD, nullptr},
        // Compared as text, 1.10.0.0 is the older one: offered, not rejected.
        {Package("1.10.0.0"), "1.9.0.0", "x", 2, 0, VERDICT_OFFER_UPDATE, nullptr},
        {Package("1.10.0.0"), "1.9.0.0", "x", 7, 0, VERDICT_DOWNLOAD, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " against " + c.newest + " upStyle " + std::to_string(c.upStyle));
        ControllerFolders f;
        CDownloader d(f.Settings(kNoServer));
        CDownloaderProbe probe(d);
        probe.SetLobbyInfo(MakeLobbyInfo(c.newest, c.md5, c.upStyle));
        probe.SetUpdateRequested(c.updateRequested);
        ASSERT_TRUE(CopyFileTo(c.file, d.GetPackagePath()));
        EXPECT_EQ(probe.BeNeedDown(), c.verdict);
        d.Exit(1);
        EXPECT_EQ(FileExists(d.GetPackagePath()), c.verdict != VERDICT_DOWNLOAD);
        EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::BeNeedDown\t"), c.line ? 1u : 0u);
        if (c.line) {
            EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::BeNeedDown\t" + std::string(c.line) + "\r\n"), 1u);
        }
    }

    // Without a pinned publisher any trusted signature will do.
    const std::string other = LocalServer::FixturePath(Fixture::OtherSigner);
    ControllerFolders f;
    DownloaderSettings unpinned = f.Settings(kNoServer);
    unpinned.publisher.clear();
    CDownloader d(unpinned);
    CDownloaderProbe probe(d);
    probe.SetLobbyInfo(MakeLobbyInfo("2.5.17.3", Md5Of(other), 1));
    ASSERT_TRUE(CopyFileTo(other, d.GetPackagePath()));
    EXPECT_EQ(probe.BeNeedDown(), VERDICT_READY);
    d.Exit(1);
}

namespace {

// A controller whose downloaded packages are judged on this thread.
struct Finisher {
    ControllerFolders f;
    std::string key = f.UseNewKey();
    RecordingListener listener;
    CDownloader d{f.Settings(LocalServer::BaseUrl())};
    CDownloaderProbe probe{d};

    Finisher(const std::string& newest, const std::string& md5)
    {
        d.RegisterListener(&listener);
        probe.SetLobbyInfo(MakeLobbyInfo(newest, md5, 1));
        probe.AddRunningTask(1);
    }
    // The engine's download has landed in the temporary package.
    void Downloaded(const std::string& file)
    {
        ASSERT_TRUE(CopyFileTo(file, d.GetTempPackagePath()));
        d.DownFinished(1);
    }
    std::vector<std::string> ErrorReports()  // "version&error_type=N"
    {
        std::vector<std::string> reports;
        for (auto& r : RequestsTo(key, "/download_device_error_stat.php")) {
            size_t at = r.body.find("&package_version=") + 17;
            reports.push_back(r.body.substr(at, r.body.find("&submit_date=") - at));
        }
        return reports;
    }
};

}  // namespace

TEST(DownloadCompletion, RejectionsDeleteReportOncePerTypeAndFail)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Md5Of(signed25));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unsigned));
    fin.Downloaded(LocalServer::FixturePath(Fixture::OtherSigner));
    fin.Downloaded(Package("2.6.0.0"));
    // Again unreadable: the earlier file's version must not stand in for it, and no second report.
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));
    fin.probe.SetLobbyInfo(MakeLobbyInfo("2.5.17.3", "ffff", 1));
    fin.Downloaded(signed25);
    fin.Downloaded(signed25);
    fin.d.Exit(1);

    EXPECT_FALSE(FileExists(fin.d.GetPackagePath()));
    EXPECT_FALSE(FileExists(fin.d.GetTempPackagePath()));
    EXPECT_EQ(fin.listener.Count(EVENT_FAILED), 7u);
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 0u);
    std::string log = fin.f.LogText();
    const std::string at = "\tCDownloader::DownFinished\t";
    EXPECT_EQ(CountOf(log, at + "get local file's version faile\r\n"), 2u);
    EXPECT_EQ(CountOf(log, at + "local file's trust is invalid\r\n"), 2u);
    EXPECT_EQ(CountOf(log, at + "local ver bigger than newest\r\n"), 1u);
    EXPECT_EQ(CountOf(log, at + "local file's md5 not equal remote's\r\n"), 2u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::ReadDownFileVersion\tdowned file version is 2.6.0.0\r\n"), 1u);
    // Type 3 carries the newest version, the others the downloaded file's.
    std::vector<std::string> expected = {"2.5.17.3&error_type=3", "2.5.17.3&error_type=4", "2.6.0.0&error_type=5",
                                         "2.5.17.3&error_type=7"};
    EXPECT_EQ(fin.ErrorReports(), expected);
    EXPECT_TRUE(RequestsTo(fin.key, "/download_device_stat.php").empty());
}

TEST(DownloadCompletion, AcceptanceOperatorCacheAndDeclinedUpdate)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Upper(Md5Of(signed25)));
    const std::string record = fin.d.GetTempPackagePath() + ".cfg";
    // An older final package and a resume record are both replaced.
    ASSERT_TRUE(WriteFileBytes(fin.d.GetPackagePath(), "old package"));
    ASSERT_TRUE(WriteFileBytes(record, std::string(12, '\0')));
    fin.Downloaded(signed25);
    EXPECT_EQ(ReadFileBytes(fin.d.GetPackagePath()), ReadFileBytes(signed25));
    EXPECT_FALSE(FileExists(fin.d.GetTempPackagePath()));
    EXPECT_FALSE(FileExists(record));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 1u);
    EXPECT_EQ(CountOf(fin.f.LogText(),
                      "\tCDownloader::Rename\tfile exists: " + Utf8ToAnsi(fin.d.GetTempPackagePath()) + "\r\n"),
              1u);

    // No temporary file: the final package stays as it is for the checks. An
    // outcome of a task that is not current is not heard.
    fin.d.DownFinished(1);
    fin.d.DownFinished(7);
    EXPECT_EQ(ReadFileBytes(fin.d.GetPackagePath()), ReadFileBytes(signed25));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 2u);
    EXPECT_EQ(CountOf(fin.f.LogText(), "CDownloader::Rename"), 1u);

    // An older version is an operator's cache: accepted without the MD5.
    fin.Downloaded(Package("2.5.17.2"));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 3u);
    std::string log = fin.f.LogText();
    size_t smaller = log.find("\tCDownloader::DownFinished\tlocal ver smaller than newest\r\n");
    ASSERT_NE(smaller, std::string::npos);
    EXPECT_NE(log.find("\tCDownloader::DownFinished\tOperator cache\r\n", smaller), std::string::npos);

    // The user keeps the package on disk instead of the newer version.
    EXPECT_TRUE(fin.d.Install(2));
    EXPECT_TRUE(WaitForFile(fin.d.GetPackagePath() + ".ran", 30000));
    fin.d.Exit(1);
    EXPECT_EQ(CountOf(fin.f.LogText(), "\tCDownloader::Install\tuser select model,no update,direct install\r\n"), 1u);
    std::vector<std::string> expected = {"2.5.17.2&error_type=10", "2.5.17.2&error_type=6", "2.5.17.2&error_type=9"};
    EXPECT_EQ(fin.ErrorReports(), expected);
    auto successes = RequestsTo(fin.key, "/download_device_stat.php");
    ASSERT_EQ(successes.size(), 4u);
    const std::string size = std::to_string(ReadFileBytes(signed25).size());
    EXPECT_EQ(successes[0].body.substr(0, successes[0].body.find("&use_time=")), "agent_id=" + fin.key);
    EXPECT_EQ(successes[0].body.substr(successes[0].body.find("&sizes=")), "&sizes=" + size);
}

TEST(DownloadCompletion, ATemporaryPackageHeldOpenIsRenamedLaterOrKeptForResuming)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Md5Of(signed25));
    const std::string temp = fin.d.GetTempPackagePath();
    auto hold = [&] {
        return UniqueHandle(CreateFileW(Utf8ToWide(temp).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    };

    // Closed a moment after the download completed: the rename waits for it.
    ASSERT_TRUE(CopyFileTo(signed25, temp));
    UniqueHandle brief = hold();
    ASSERT_TRUE(brief);
    std::thread closer([&] {
        Sleep(300);
        brief.Reset();
    });
    fin.d.DownFinished(1);
    closer.join();
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 1u);
    EXPECT_FALSE(FileExists(temp));

    // Held throughout: nothing is judged or reported, and the bytes stay
    // with a record that resumes with nothing left to fetch.
    ASSERT_TRUE(CopyFileTo(signed25, temp));
    {
        UniqueHandle held = hold();
        ASSERT_TRUE(held);
        fin.d.DownFinished(1);
    }
    EXPECT_EQ(fin.listener.Count(EVENT_FAILED), 1u);
    EXPECT_EQ(ReadFileBytes(temp), ReadFileBytes(signed25));
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(temp + ".cfg", data));
    EXPECT_TRUE(data.Fits(fin.probe.LobbyInfo().url, temp, static_cast<int64_t>(ReadFileBytes(signed25).size())));
    EXPECT_EQ(data.RemainingBytes(), 0);
    EXPECT_TRUE(fin.ErrorReports().empty());
    CBreakpointCfg::Instance()->ClearSegments();
    fin.d.Exit(1);
}
