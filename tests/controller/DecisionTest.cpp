#include <gtest/gtest.h>

#include <thread>

#include "ControllerTestSupport.h"
#include "controller/PackageFiles.h"
#include "controller/PackageJudge.h"
#include "controller/ReportSender.h"
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

// The judge with the parts it works with, logging to its own file.
struct Judge {
    ControllerFolders f;
    CLog log;
    ReportSender reports{log, kNoServer, "1"};
    PackageFiles files{log, f.program, "1"};
    PackageJudge judge;
    explicit Judge(const std::string& publisher, const VersionQuad& floor = VersionQuad())
        : judge(log, files, reports, publisher, Utf8ToWide(f.privateParent), floor)
    {
        EXPECT_TRUE(log.Open(f.root.File("judge.log")));
    }
    std::string LogText()
    {
        log.Close();
        return ReadFileBytes(f.root.File("judge.log"));
    }
};

}  // namespace

TEST(PackageDecision, VerdictsLogLinesAndDeletion)
{
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);  // 2.5.17.3
    const std::string md5 = Md5Of(signed25);
    struct Case {
        std::string file, newest, md5;
        int upStyle;
        bool updateRequested;
        Verdict verdict;
        const char* line;  // the log line, or none
    } cases[] = {
        {signed25, "2.5.17.3", Upper(md5), 1, 0, Verdict::Ready, nullptr},
        {signed25, "2.5.17.3", Upper(md5), 2, 0, Verdict::Ready, nullptr},
        {signed25, "2.5.17.3", md5, 2, 1, Verdict::UpdateRequested, nullptr},
        {signed25, "2.5.17.3", "0123", 1, 0, Verdict::Download, "ver same but md5 not"},
        {LocalServer::FixturePath(Fixture::Unsigned), "2.5.17.3", md5, 1, 0, Verdict::Download,
         "local file's trust is invalid"},
        {LocalServer::FixturePath(Fixture::Tampered), "2.5.17.3", md5, 1, 0, Verdict::Download,
         "local file's trust is invalid"},
        // Validly signed, but by another publisher than the pinned one.
        {LocalServer::FixturePath(Fixture::OtherSigner), "2.5.17.3",
         Md5Of(LocalServer::FixturePath(Fixture::OtherSigner)), 1, 0, Verdict::Download,
         "local file's trust is invalid"},
        {LocalServer::FixturePath(Fixture::Unversioned), "2.5.17.3", md5, 1, 0, Verdict::Download,
         "local file's version is wrong"},
        {Package("1.2.3.1"), "1.2.3.4", "x", 3, 0, Verdict::Ready, nullptr},
        {Package("1.2.2.9"), "1.2.3.4", "x", 3, 0, Verdict::Download, nullptr},
        {Package("1.2.3.9"), "1.2.3.4", "x", 3, 0, Verdict::Download, "new ver smaller than local ver"},
        {Package("2.5.17.2"), "2.5.17.3", md5, 2, 0, Verdict::OfferUpdate, nullptr},
        {Package("2.5.17.2"), "2.5.17.3", md5, 1, 0, Verdict::Download, nullptr},
        // Compared as text, 1.10.0.0 is the older one: offered, not rejected.
        {Package("1.10.0.0"), "1.9.0.0", "x", 2, 0, Verdict::OfferUpdate, nullptr},
        {Package("1.10.0.0"), "1.9.0.0", "x", 7, 0, Verdict::Download, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " against " + c.newest + " upStyle " + std::to_string(c.upStyle));
        Judge j(kFixtureSigner);
        const std::string package = j.files.PackagePath();
        ASSERT_TRUE(CopyFileTo(c.file, package));
        PrivateCopy copy;
        EXPECT_EQ(j.judge.BeNeedDown(MakeLobbyInfo(c.newest, c.md5, c.upStyle), c.updateRequested, &copy), c.verdict);
        EXPECT_EQ(FileExists(package), c.verdict != Verdict::Download);
        // A package that may be launched is a private copy, held; the
        // original may change as it likes.
        const bool usable = c.verdict == Verdict::Ready || c.verdict == Verdict::OfferUpdate;
        EXPECT_EQ(copy.Made(), usable);
        if (usable) {
            EXPECT_EQ(WideToUtf8(copy.Folder()).rfind(j.f.privateParent + "\\QuorvexSetup-", 0), 0u);
            ASSERT_TRUE(WriteFileBytes(package, "changed"));
            EXPECT_TRUE(ReadFileBytes(copy.File().Path()) == ReadFileBytes(c.file));
        }
        const std::string log = j.LogText();
        EXPECT_EQ(CountOf(log, "\tCDownloader::BeNeedDown\t"), c.line ? 1u : 0u);
        if (c.line) {
            EXPECT_EQ(CountOf(log, "\tCDownloader::BeNeedDown\t" + std::string(c.line) + "\r\n"), 1u);
        }
    }

    // Without a pinned publisher any trusted signature will do.
    const std::string other = LocalServer::FixturePath(Fixture::OtherSigner);
    Judge j("");
    ASSERT_TRUE(CopyFileTo(other, j.files.PackagePath()));
    PrivateCopy copy;
    EXPECT_EQ(j.judge.BeNeedDown(MakeLobbyInfo("2.5.17.3", Md5Of(other), 1), false, &copy), Verdict::Ready);
}

TEST(PackageDecision, NothingBelowTheVersionFloorIsKeptOrAccepted)
{
    // 2.5.17.3 against a floor of 2.5.17.10: below it as numbers, above it as text.
    const std::string signed25 = LocalServer::FixturePath(Fixture::Signed);
    const VersionQuad floor{2, 5, 17, 10};
    {  // upStyle 2 would offer it to the user, who could launch it.
        Judge j(kFixtureSigner, floor);
        ASSERT_TRUE(CopyFileTo(signed25, j.files.PackagePath()));
        PrivateCopy copy;
        EXPECT_EQ(j.judge.BeNeedDown(MakeLobbyInfo("2.5.17.11", "x", 2), false, &copy), Verdict::Download);
        EXPECT_FALSE(copy.Made());
        EXPECT_FALSE(FileExists(j.files.PackagePath()));
        EXPECT_EQ(CountOf(j.LogText(), "\tCDownloader::BeNeedDown\tlocal ver below the minimum package version\r\n"),
                  1u);
    }
    {  // Downloaded, it would pass as another build of the offer.
        Judge j(kFixtureSigner, floor);
        ASSERT_TRUE(CopyFileTo(signed25, j.files.PackagePath()));
        HeldFile held = j.files.HoldPackage("test");
        ASSERT_TRUE(held.Held());
        VersionQuad down;
        PrivateCopy copy;
        EXPECT_FALSE(j.judge.Accept(MakeLobbyInfo("2.5.17.11", Md5Of(signed25), 1), held, &copy, &down));
        EXPECT_FALSE(copy.Made());
        EXPECT_FALSE(held.Held());
        EXPECT_FALSE(FileExists(j.files.PackagePath()));
        const std::string log = j.LogText();
        EXPECT_EQ(CountOf(log, "\tCDownloader::DownFinished\tlocal ver below the minimum package version\r\n"), 1u);
        EXPECT_EQ(CountOf(log, "&package_version=2.5.17.3&error_type=10&"), 1u);
        EXPECT_EQ(CountOf(log, "Operator cache"), 0u);
    }
    // At the floor it is an ordinary package.
    Judge j(kFixtureSigner, VersionQuad{2, 5, 17, 3});
    ASSERT_TRUE(CopyFileTo(signed25, j.files.PackagePath()));
    PrivateCopy copy;
    EXPECT_EQ(j.judge.BeNeedDown(MakeLobbyInfo("2.5.17.3", Md5Of(signed25), 1), false, &copy), Verdict::Ready);
}

namespace {

// A controller whose downloaded packages are judged on this thread. It is
// set up as a run leaves it that offered the newest version over an older
// package on disk: the reply held, task 1 current; then the package goes.
struct Finisher {
    ControllerFolders f;
    std::string key = f.UseNewKey();
    std::string url = LocalServer::RefusedUrl();
    RecordingListener listener;
    CDownloader d{f.Settings(LocalServer::BaseUrl())};

    Finisher(const std::string& newest, const std::string& md5)
    {
        LocalServer::SetConfigReply(key, ConfigReply(newest, url, md5, 2));
        EXPECT_TRUE(CopyFileTo(Package("2.5.17.2"), d.GetPackagePath()));
        d.RegisterListener(&listener);
        d.DownQuorvex();
        EXPECT_TRUE(WaitFor([&] { return listener.Count(EVENT_NEWER_VERSION) == 1; }, 60000));
        d.DiscardLocalPackage();
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
    Finisher fin("2.5.17.3", "ffff");
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unsigned));
    fin.Downloaded(LocalServer::FixturePath(Fixture::OtherSigner));
    fin.Downloaded(Package("2.6.0.0"));
    // Again unreadable: the earlier file's version must not stand in for it, and no second report.
    fin.Downloaded(LocalServer::FixturePath(Fixture::Unversioned));
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
    EXPECT_TRUE(fin.f.WaitForLaunchedCopy());
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
    EXPECT_TRUE(data.Fits(temp, static_cast<int64_t>(ReadFileBytes(signed25).size())));
    EXPECT_EQ(data.RemainingBytes(), 0);
    EXPECT_TRUE(fin.ErrorReports().empty());
    CBreakpointCfg::Instance()->ClearSegments();
    fin.d.Exit(1);
}
