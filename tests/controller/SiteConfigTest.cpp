#include <gtest/gtest.h>

#include <ctime>
#include <utility>

#include "BuildConfig.h"
#include "ControllerTestSupport.h"
#include "controller/SiteConfigClient.h"

namespace {

const char kConfigPath[] = "/get_download_device_xml.php?agent_id=";

std::string Reply(const std::string& siteAttributes)
{
    return "<TzLobbyVerInfo><Site " + siteAttributes + "/></TzLobbyVerInfo>";
}

}  // namespace

TEST(SiteConfig, BuiltInIdFailingSeriesEachEndInOneFailureAndReport)
{
    // The one test that works under the built-in site id.
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    const size_t before = LocalServer::Requests("4501648").size();
    std::time_t start = std::time(nullptr);
    // First unreachable (connections dropped for the five requests only, so
    // the report arrives), then answered with a 404 page, which is unusable.
    for (size_t series = 1; series <= 2; ++series) {
        if (series == 1) LocalServer::SetMode("4501648", "reset", 5);
        DWORD began = GetTickCount();
        d.DownQuorvex();
        ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == series; }, 30000));
        EXPECT_GE(GetTickCount() - began, 4900u) << "every failed attempt is followed by a 1 s wait";
        ASSERT_TRUE(WaitFor([&] { return RequestsTo("4501648", "/download_device_error_stat.php").size() >= series; }));
    }
    d.Exit(1);

    auto requests = LocalServer::Requests("4501648");
    requests.erase(requests.begin(), requests.begin() + static_cast<long>(before));
    ASSERT_EQ(requests.size(), 12u);
    const std::string prefix =
        "agent_id=4501648&download_version=" QUORVEX_VERSION_TEXT "&package_version=0.0.0.0&error_type=2&submit_date=";
    for (size_t i = 0; i < requests.size(); ++i) {
        if (i % 6 < 5) {
            EXPECT_EQ(requests[i].path, kConfigPath + std::string("4501648"));
            continue;
        }
        EXPECT_EQ(requests[i].method + " " + requests[i].path, "POST /download_device_error_stat.php");
        ASSERT_EQ(requests[i].body.compare(0, prefix.size(), prefix), 0) << requests[i].body;
        // Local time read as if no daylight saving were in effect.
        std::tm local = *std::localtime(&start);
        local.tm_isdst = 0;
        long long expected = static_cast<long long>(std::mktime(&local));
        long long submitted = std::atoll(requests[i].body.c_str() + prefix.size());
        EXPECT_GE(submitted, expected);
        EXPECT_LE(submitted, expected + 90);
    }
    std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget lobby info faile\r\n") +
                  CountOf(log, "\tCDownloader::Get_Site_Config\tparse config of site fail!\r\n"),
              10u);  // a dropped connection fails the GET, or reads as an empty reply
    EXPECT_GE(CountOf(log, "\tCDownloader::Get_Site_Config\tconfig of site is : <"), 5u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget site config retry over\r\n"), 2u);
    EXPECT_EQ(CountOf(log, "[url]:" + LocalServer::BaseUrl() + "/download_device_error_stat.php [post]:" + prefix), 2u);
    EXPECT_EQ(CountOf(log, "site_id ="), 0u);
}

TEST(SiteConfig, SiteFileNamesTheIdByItsIdElementsFirstAttribute)
{
    // Site files without an id: the built-in one, silently.
    const std::string absent[] = {
        "<Site><ID value=\"55\"",              // not well-formed
        "<Site><ID/></Site>",                  // no attribute
        "<Site><Other value=\"55\"/></Site>",  // no ID element
        "<Other><ID value=\"55\"/></Other>",   // no Site element
        "<site><ID value=\"55\"/></site>",     // names are case-sensitive
        "",
        DeeplyNested("<Site><ID v=\"5\"/></Site>"),
    };
    // Ids that cannot name the package file or stand in a query: the built-in
    // one, and the refused text in the log, escaped onto one line.
    const std::pair<std::string, std::string> refused[] = {
        {"..\\..\\evil", "..\\\\..\\\\evil"},      // would name a file outside the program folder
        {"1&amp;error_type=9", "1&error_type=9"},  // would add a field to every report
        {"7&#13;&#10;[x]\t\xE7\xAB\x99", "7\\x0D\\x0A[x]\\x09\\xE7\\xAB\\x99"},  // would forge a log line
        {std::string(240, '9'), std::string(240, '9')},                          // too long for a file name
    };
    auto run = [](const std::string& text) {
        ControllerFolders f;
        EXPECT_TRUE(WriteFileBytes(f.program + "\\site.cfg", text));
        CDownloader d(f.Settings(kNoServer));
        EXPECT_EQ(d.SiteId(), "4501648") << text.substr(0, 60);
        d.Exit(1);
        return f.LogText();
    };
    for (const std::string& text : absent) EXPECT_EQ(CountOf(run(text), "site_id"), 0u);
    for (const auto& [id, logged] : refused) {
        EXPECT_EQ(CountOf(run("<Site><ID value=\"" + id + "\"/></Site>"),
                          "\tCDownloader::GetSiteID\tsite_id refused, built-in id kept: " + logged + "\r\n"),
                  1u)
            << logged;
    }

    // Whatever a name and a query can hold is taken, '=' and '.' too.
    ControllerFolders f;
    ASSERT_TRUE(WriteFileBytes(f.program + "\\site.cfg", "<Site><ID value=\"a=b.c\"/></Site>"));
    CDownloader other(f.Settings(kNoServer));
    EXPECT_EQ(other.SiteId(), "a=b.c");
    other.Exit(1);

    ASSERT_TRUE(WriteFileBytes(f.program + "\\site.cfg", "<?xml version=\"1.0\"?>\n<Site>\n  <Name x=\"1\"/>\n"
                                                         "  <ID anything=\"123\" other=\"9\"/>\n</Site>\n"));
    LocalServer::SetConfigReply("123", ConfigReply("2.5.17.3", LocalServer::RefusedUrl(), "ab", 1));
    const size_t before = RequestsTo("123", kConfigPath).size();
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    EXPECT_EQ(d.SiteId(), "123");
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return RequestsTo("123", kConfigPath).size() > before; }));
    d.Exit(1);
    auto requests = RequestsTo("123", kConfigPath);
    EXPECT_EQ(requests.back().path, kConfigPath + std::string("123"));
    EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::GetSiteID\tsite_id = 123\r\n"), 1u);
}

TEST(SiteConfig, ReplyAttributesMatchByPrefixAndLaterSitesOverwrite)
{
    CLog log;
    SiteConfigClient config(log, kNoServer);
    EXPECT_TRUE(config.Parse(Reply("ver=\"2.5\" url=\"u\" md5=\"m\" upStyle=\"1\"")));
    EXPECT_EQ(FormatVersion(config.Info().newest), "2.5.0.0");
    EXPECT_TRUE(config.Parse(Reply("IDX=\" 42z\" version=\"1.2.3.4\" upStyleX=\"2\" urls=\"http://h/p.exe\" "
                                   "md5sum=\"ABCD\" updatetime=\"-5\" update_descr=\"a&amp;b\" ignored=\"1\"")));
    LobbyVerInfo li = config.Info();
    EXPECT_EQ(li.siteNumber, 42);
    EXPECT_EQ(FormatVersion(li.newest), "1.2.3.4");
    EXPECT_EQ(li.upStyle, 2);
    EXPECT_EQ(li.url, "http://h/p.exe");
    EXPECT_EQ(li.md5, "ABCD");
    EXPECT_EQ(li.updateTime, -5);
    EXPECT_EQ(li.updateDesc, "a&b");
    // "2.5" replaces only the first two parts; the following sibling, whatever
    // its name, overwrites what the first Site gave.
    EXPECT_TRUE(config.Parse("<TzLobbyVerInfo><Site ver=\"2.5\" url=\"first\"/><Other url=\"second\" upStyle=\"3\"/>"
                             "</TzLobbyVerInfo>"));
    li = config.Info();
    EXPECT_EQ(FormatVersion(li.newest), "2.5.3.4");
    EXPECT_EQ(li.url, "second");
    EXPECT_EQ(li.upStyle, 3);
    EXPECT_TRUE(config.Valid());
}

TEST(SiteConfig, UnusableOrMalformedRepliesAreRejected)
{
    const std::string good = "ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"1\"";
    const std::string replies[] = {
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"4\""),
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"0\""),
        Reply("ver=\"1.2.3.4\" url=\"\" md5=\"m\" upStyle=\"1\""),
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"\" upStyle=\"1\""),
        Reply("ver=\"0.0.0.7\" url=\"u\" md5=\"m\" upStyle=\"1\""),
        Reply("ver=\"1.2.99999999999.4\" url=\"u\" md5=\"m\" upStyle=\"1\""),  // too large for its part: all refused
        "<TzLobbyVerInfo><Other " + good + "/></TzLobbyVerInfo>",
        "<Site " + good + "/>",
        "<TzLobbyVerInfo><Site " + good,  // malformed
        "\x01\x02<<",
        "",
        "<TzLobbyVerInfo><Site " + good + ">" + DeeplyNested("") + "</Site></TzLobbyVerInfo>",  // nested past any stack
    };
    for (const std::string& reply : replies) {
        CLog log;
        SiteConfigClient config(log, kNoServer);
        EXPECT_FALSE(config.Parse(reply)) << reply.substr(0, 80);
        EXPECT_FALSE(config.Valid());
    }
}

TEST(SiteConfig, ReplyLongerThanOneMiBIsAFailedAttempt)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    // Usable but for its length: a comment pads it to 2 MiB.
    std::string reply = ConfigReply("3.1.0.0", LocalServer::RefusedUrl(), "cd", 1);
    reply += "<!--" + std::string((2 << 20) - reply.size() - 7, 'x') + "-->";
    ASSERT_TRUE(LocalServer::SetConfigReply(key, reply));
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == 1; }, 60000));
    d.Exit(1);
    std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget lobby info faile\r\n"), 5u);
    EXPECT_EQ(CountOf(log, "config of site is"), 0u);  // nothing of it reaches the log
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 5u);
    EXPECT_EQ(RequestsTo(key, "/download_device_error_stat.php").size(), 1u);
}

TEST(SiteConfig, UsableReplyAfterCancelIsKeptButTheTaskStops)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    LocalServer::SetConfigReply(key, ConfigReply("3.1.0.0", LocalServer::RefusedUrl(), "cd", 4));
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    // During the wait after the first, unusable reply: the reply turns usable and the task is cancelled.
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "\tparse config of site fail!\r\n") == 1; }));
    LocalServer::SetConfigReply(key, ConfigReply("3.1.0.0", LocalServer::RefusedUrl(), "cd", 1));
    d.Cancel();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "\tconfig of site is : ") == 2; }));
    Sleep(300);
    EXPECT_EQ(CountOf(f.LogText(), "ver is"), 0u);
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 2u);

    // The next task skips the request and records the offered version.
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "\tCDownloader::Save_App_Ver\tver is 3.1.0.0\r\n") == 1; }));
    d.Exit(1);
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 2u);
    EXPECT_EQ(listener.Count(EVENT_FAILED), 0u);
    EXPECT_NE(ReadFileBytes(f.appData + "\\Quorvex\\Downloader\\hi.cfg").find("<Item ver=\"3.1.0.0\" md5=\"cd\"/>"),
              std::string::npos);
}

TEST(SiteConfig, HttpsHostWhoseCertificateNamesAnotherHostIsAFailedAttempt)
{
    ASSERT_TRUE(LocalServer::HasTlsCertificates()) << "no TLS test certificates: run scripts/bootstrap";
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::RefusedUrl(), "ab", 1));
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::TlsOtherNameUrl()));
    d.RegisterListener(&listener);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == 1; }, 30000));
    d.Exit(1);

    EXPECT_TRUE(LocalServer::Requests(key).empty()) << "nothing is sent to a host that fails its certificate";
    const std::string log = f.LogText();
    const std::string refused = "server certificate refused: 12038 ERROR_INTERNET_SEC_CERT_CN_INVALID (";
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\t" + refused), 5u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget lobby info faile\r\n"), 5u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget site config retry over\r\n"), 1u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Post_Error\t" + refused), 1u);
    EXPECT_EQ(CountOf(log, "[ret-err]"), 1u);
}

TEST(SiteConfig, ReplyOfferingAPackageBelowTheFloorFailsAndNothingIsFetchedOrLaunched)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    const std::string rel = LocalServer::FixtureRelPath(Fixture::Signed);  // 2.5.17.3
    LocalServer::SetConfigReply(key,
                                ConfigReply("2.5.17.3", LocalServer::PackageUrl(key, rel), Md5Of(WwwPath(rel)), 1));
    DownloaderSettings settings = f.Settings(LocalServer::BaseUrl());
    settings.minPackageVersion = VersionQuad{2, 6, 0, 0};
    RecordingListener listener;
    CDownloader d(settings);
    d.RegisterListener(&listener);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == 1; }, 30000));
    ASSERT_TRUE(WaitFor([&] { return RequestsTo(key, "/download_device_error_stat.php").size() == 1; }));
    EXPECT_FALSE(d.Install(1));
    d.Exit(1);

    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 5u);
    EXPECT_TRUE(RequestsTo(key, "/_pkg/").empty());
    EXPECT_EQ(listener.Count(EVENT_READY), 0u);
    EXPECT_FALSE(FileExists(d.GetPackagePath()));
    const std::string report = RequestsTo(key, "/download_device_error_stat.php")[0].body;
    EXPECT_NE(report.find("&package_version=2.5.17.3&error_type=2&"), std::string::npos) << report;
    const std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\toffered ver 2.5.17.3 is below the minimum package "
                           "version 2.6.0.0: refused\r\n"),
              5u);
    EXPECT_EQ(CountOf(log, "\tCDownloader::Save_App_Ver\t"), 0u);
}
