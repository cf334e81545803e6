#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "platform/TextConvert.h"

namespace {

// A package of a given product version, built once for all tests.
std::string Package(const std::string& version, const std::string& variant = "signed")
{
    std::string name = "ctl-" + variant + "-" + version;
    std::string rel = LocalServer::BuildPackage(name, version, "1.0.0.1", variant);
    EXPECT_FALSE(rel.empty()) << name;
    std::string path = LocalServer::WwwDir() + "\\" + rel;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

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
        probe.SetLobbyInfo(MakeLobbyInfo(c.newest, "http://unused/", c.md5, c.upStyle));
        probe.SetUpdateRequested(c.updateRequested);
        ASSERT_TRUE(CopyFileTo(c.file, d.GetPackagePath()));
        EXPECT_EQ(probe.BeNeedDown(), c.verdict);
        d.Exit(1);
        EXPECT_EQ(FileExists(d.GetPackagePath()), c.verdict != VERDICT_DOWNLOAD);
        std::string log = f.LogText();
        if (c.line) {
            EXPECT_EQ(CountOf(log, "\tCDownloader::BeNeedDown\t" + std::string(c.line) + "\r\n"), 1u) << log;
        } else {
            EXPECT_EQ(CountOf(log, "CDownloader::BeNeedDown"), 0u) << log;
        }
    }
}

namespace {

// A controller whose downloaded package is judged on this thread.
struct Finisher {
    ControllerFolders f;
    std::string key = LocalServer::NewKey();
    RecordingListener listener;
    std::unique_ptr<CDownloader> d;
    std::unique_ptr<CDownloaderProbe> probe;

    Finisher(const std::string& newest, const std::string& md5)
    {
        f.WriteSiteFile(key);
        d = std::make_unique<CDownloader>(f.Settings(LocalServer::BaseUrl()));
        probe = std::make_unique<CDownloaderProbe>(*d);
        d->RegisterListener(&listener);
        probe->SetLobbyInfo(MakeLobbyInfo(newest, "http://unused/", md5, 1));
        probe->AddRunningTask(1);
    }
    // The engine's download lands in the temporary package.
    void Downloaded(const std::string& file)
    {
        ASSERT_TRUE(CopyFileTo(file, d->GetTempPackagePath()));
        d->DownFinished(1);
    }
    std::vector<std::string> ReportTypes()
    {
        std::vector<std::string> types;
        for (auto& r : RequestsTo(key, "/download_device_error_stat.php")) {
            size_t at = r.body.find("&package_version=");
            size_t end = r.body.find("&submit_date=");
            types.push_back(r.body.substr(at + 17, end - at - 17));
        }
        return types;
    }
};

} // namespace

TEST(DownloadCompletion, RejectionsDeleteReportOnceAndFail)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Md5Of(signed25));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unsigned));
    fin.Downloaded(Package("2.6.0.0"));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));  // same fault again: no second report
    // The newest version with a wrong MD5, twice.
    fin.probe->SetLobbyInfo(MakeLobbyInfo("2.5.17.3", "http://unused/", "ffff", 1));
    fin.Downloaded(signed25);
    fin.Downloaded(signed25);
    fin.d->Exit(1);

    EXPECT_FALSE(FileExists(fin.d->GetPackagePath()));
    EXPECT_FALSE(FileExists(fin.d->GetTempPackagePath()));
    EXPECT_EQ(fin.listener.Count(EVENT_FAILED), 6u);
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 0u);
    std::string log = fin.f.LogText();
    const std::string at = "\tCDownloader::DownFinished\t";
    EXPECT_EQ(CountOf(log, at + "get local file's version faile\r\n"), 2u);
    EXPECT_EQ(CountOf(log, at + "local file's trust is invalid\r\n"), 1u);
    EXPECT_EQ(CountOf(log, at + "local ver bigger than newest\r\n"), 1u);
    EXPECT_EQ(CountOf(log, at + "local file's md5 not equal remote's\r\n"), 2u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::ReadDownFileVersion\tdowned file version is 2.6.0.0\r\n"), 1u);
    // Types 3 (newest version), 4, 5 and 7 (downloaded version), once each.
    std::vector<std::string> expected = {"2.5.17.3&error_type=3", "2.5.17.3&error_type=4", "2.6.0.0&error_type=5",
                                         "2.5.17.3&error_type=7"};
    EXPECT_EQ(fin.ReportTypes(), expected);
    EXPECT_TRUE(RequestsTo(fin.key, "/download_device_stat.php").empty());
}

TEST(DownloadCompletion, OlderVersionIsAcceptedAsOperatorCacheWithoutMd5)
{
    Finisher fin("2.5.17.3", "not-compared");
    fin.Downloaded(Package("2.5.17.2"));
    fin.d->Exit(1);
    EXPECT_TRUE(FileExists(fin.d->GetPackagePath()));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 1u);
    std::string log = fin.f.LogText();
    size_t smaller = log.find("\tCDownloader::DownFinished\tlocal ver smaller than newest\r\n");
    size_t cache = log.find("\tCDownloader::DownFinished\tOperator cache\r\n");
    ASSERT_NE(smaller, std::string::npos);
    ASSERT_NE(cache, std::string::npos);
    EXPECT_LT(smaller, cache);
    std::vector<std::string> expected = {"2.5.17.2&error_type=10", "2.5.17.2&error_type=6"};
    EXPECT_EQ(fin.ReportTypes(), expected);
    EXPECT_EQ(RequestsTo(fin.key, "/download_device_stat.php").size(), 1u);
}

TEST(DownloadCompletion, AcceptanceMovesThePackageClearsTheRecordAndReports)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Upper(Md5Of(signed25)));
    // An older final package and a resume record are both replaced.
    ASSERT_TRUE(WriteFileBytes(fin.d->GetPackagePath(), "old package"));
    ASSERT_TRUE(WriteFileBytes(fin.d->GetTempPackagePath() + ".cfg", std::string(12, '\0')));
    fin.Downloaded(signed25);
    fin.d->Exit(1);

    EXPECT_EQ(ReadFileBytes(fin.d->GetPackagePath()), ReadFileBytes(signed25));
    EXPECT_FALSE(FileExists(fin.d->GetTempPackagePath()));
    EXPECT_FALSE(FileExists(fin.d->GetTempPackagePath() + ".cfg"));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 1u);
    EXPECT_EQ(fin.listener.Count(EVENT_FAILED), 0u);
    auto reports = RequestsTo(fin.key, "/download_device_stat.php");
    ASSERT_EQ(reports.size(), 1u);
    const std::string size = std::to_string(ReadFileBytes(signed25).size());
    EXPECT_EQ(reports[0].body.substr(0, reports[0].body.find("&use_time=")), "agent_id=" + fin.key);
    EXPECT_EQ(reports[0].body.substr(reports[0].body.find("&sizes=")), "&sizes=" + size);
    EXPECT_TRUE(fin.ReportTypes().empty());
    std::string log = fin.f.LogText();
    EXPECT_NE(log.find("\tCDownloader::Rename\tfile exists: " + Utf8ToAnsi(fin.d->GetTempPackagePath()) + "\r\n"),
              std::string::npos);
}

TEST(DownloadCompletion, RenameWithoutTemporaryFileLeavesTheFinalPackageAlone)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    Finisher fin("2.5.17.3", Md5Of(signed25));
    ASSERT_TRUE(CopyFileTo(signed25, fin.d->GetPackagePath()));
    fin.d->DownFinished(1);
    // An event of a task that is not current is dropped.
    fin.d->DownFinished(7);
    fin.d->Exit(1);
    EXPECT_EQ(ReadFileBytes(fin.d->GetPackagePath()), ReadFileBytes(signed25));
    EXPECT_EQ(fin.listener.Count(EVENT_READY), 1u);
    EXPECT_EQ(CountOf(fin.f.LogText(), "CDownloader::Rename"), 0u);
}

TEST(Install, DeclinedUpdateReportsTheLocalVersionAndLaunches)
{
    Finisher fin("2.6.0.0", "x");
    ASSERT_TRUE(CopyFileTo(LocalServer::FixturePath(Fixture::Signed), fin.d->GetPackagePath()));
    EXPECT_TRUE(fin.d->Install(2));
    EXPECT_TRUE(WaitForFile(fin.d->GetPackagePath() + ".ran", 30000));
    fin.d->Exit(1);
    std::vector<std::string> expected = {"2.5.17.3&error_type=9"};
    EXPECT_EQ(fin.ReportTypes(), expected);
    EXPECT_NE(fin.f.LogText().find("\tCDownloader::Install\tuser select model,no update,direct install\r\n"),
              std::string::npos);
}
