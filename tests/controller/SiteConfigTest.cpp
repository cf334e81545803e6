#include <gtest/gtest.h>

#include <ctime>

#include "ControllerTestSupport.h"
#include "platform/TextConvert.h"

namespace {

const char kConfigPath[] = "/get_download_device_xml.php?agent_id=";

std::string Reply(const std::string& siteAttributes)
{
    return "<TzLobbyVerInfo><Site " + siteAttributes + "/></TzLobbyVerInfo>";
}

} // namespace

TEST(SiteIdentity, BuiltInIdIsSentAndReportedWhenTheConfigurationFails)
{
    // The one test that works under the built-in site id.
    ControllerFolders f;
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    EXPECT_EQ(d.SiteId(), "4501648");
    size_t before = RequestsTo("4501648", "/").size();
    std::time_t start = std::time(nullptr);
    d.DownQuorvex();  // the server has no reply for this id: a 404 page, never usable
    ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == 1; }, 30000));
    d.Exit(1);

    auto requests = LocalServer::Requests("4501648");
    requests.erase(requests.begin(), requests.begin() + static_cast<long>(before));
    ASSERT_EQ(requests.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(requests[i].path, std::string(kConfigPath) + "4501648");
    EXPECT_EQ(requests[5].method, "POST");
    EXPECT_EQ(requests[5].path, "/download_device_error_stat.php");
    const std::string prefix = "agent_id=4501648&download_version=1.0.0.1&package_version=0.0.0.0&error_type=2&submit_date=";
    ASSERT_EQ(requests[5].body.compare(0, prefix.size(), prefix), 0) << requests[5].body;
    long long submitted = std::atoll(requests[5].body.c_str() + prefix.size());
    // Local time read as if no daylight saving were in effect.
    std::tm local = *std::localtime(&start);
    local.tm_isdst = 0;
    long long expected = static_cast<long long>(std::mktime(&local));
    EXPECT_GE(submitted, expected);
    EXPECT_LE(submitted, expected + 60);

    std::string log = f.LogText();
    EXPECT_EQ(CountOf(log, "parse config of site fail!"), 5u);
    EXPECT_EQ(CountOf(log, "get site config retry over"), 1u);
    EXPECT_EQ(CountOf(log, "[url]:" + LocalServer::BaseUrl() + "/download_device_error_stat.php [post]:" + prefix), 1u);
    EXPECT_EQ(CountOf(log, "site_id ="), 0u);
}

TEST(SiteIdentity, SiteFileNamesTheIdWhateverItsAttributeIsCalled)
{
    ControllerFolders f;
    ASSERT_TRUE(WriteFileBytes(f.program + "\\site.cfg", "<?xml version=\"1.0\"?>\n<Site>\n  <Name x=\"1\"/>\n"
                                                         "  <ID anything=\"123\" other=\"9\"/>\n</Site>\n"));
    LocalServer::SetConfigReply("123", ConfigReply("2.5.17.3", LocalServer::RefusedUrl(), "ab", 1));
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    EXPECT_EQ(d.SiteId(), "123");
    size_t before = RequestsTo("123", kConfigPath).size();
    d.DownQuorvex();
    CDownloaderProbe probe(d);
    ASSERT_TRUE(WaitFor([&] { return probe.LobbyInfoValid(); }));
    d.Exit(1);
    auto requests = RequestsTo("123", kConfigPath);
    ASSERT_GT(requests.size(), before);
    EXPECT_EQ(requests.back().path, std::string(kConfigPath) + "123");
    std::string log = f.LogText();
    EXPECT_NE(log.find("\tCDownloader::GetSiteID\tsite_id = 123\r\n"), std::string::npos) << log;
}

TEST(SiteIdentity, DamagedIncompleteOrUnsafeSiteFilesKeepTheBuiltInId)
{
    const char* files[] = {
        "<Site><ID value=\"55\"",               // not well-formed
        "<Site><ID/></Site>",                   // no attribute
        "<Site><Other value=\"55\"/></Site>",   // no ID element
        "<Other><ID value=\"55\"/></Other>",    // no Site element
        "<site><ID value=\"55\"/></site>",      // names are case-sensitive
        "",
        "<Site><ID value=\"..\\..\\evil\"/></Site>",  // would name a file outside the program folder
        "<Site><ID value=\"1&amp;error_type=9\"/></Site>",  // would add a field to every report
    };
    for (const char* text : files) {
        ControllerFolders f;
        ASSERT_TRUE(WriteFileBytes(f.program + "\\site.cfg", text));
        CDownloader d(f.Settings(kNoServer));
        EXPECT_EQ(d.SiteId(), "4501648") << text;
        d.Exit(1);
        EXPECT_EQ(CountOf(f.LogText(), "site_id"), 0u) << text;
    }
}

TEST(LobbyReply, AttributesMatchByPrefixAndLaterSitesOverwrite)
{
    ControllerFolders f;
    CDownloader d(f.Settings(kNoServer));
    CDownloaderProbe probe(d);
    EXPECT_TRUE(probe.Parse(Reply("IDX=\" 42z\" version=\"1.2.3.4\" upStyleX=\"2\" urls=\"http://h/p.exe\" "
                                  "md5sum=\"ABCD\" updatetime=\"-5\" update_descr=\"a&amp;b\" ignored=\"1\"")));
    LobbyVerInfo& li = probe.LobbyInfo();
    EXPECT_EQ(li.siteNumber, 42);
    EXPECT_EQ(FormatVersion(li.newest), "1.2.3.4");
    EXPECT_EQ(li.upStyle, 2);
    EXPECT_EQ(li.url, "http://h/p.exe");
    EXPECT_EQ(li.md5, "ABCD");
    EXPECT_EQ(li.updateTime, -5);
    EXPECT_EQ(li.updateDesc, "a&b");
    EXPECT_TRUE(probe.LobbyInfoValid());

    // "2.5" replaces only the first two parts; the following sibling, whatever
    // its name, overwrites what the first Site gave.
    EXPECT_TRUE(probe.Parse("<TzLobbyVerInfo><Site ver=\"2.5\" url=\"first\"/><Other url=\"second\" upStyle=\"3\"/>"
                            "</TzLobbyVerInfo>"));
    EXPECT_EQ(FormatVersion(li.newest), "2.5.3.4");
    EXPECT_EQ(li.url, "second");
    EXPECT_EQ(li.upStyle, 3);
    d.Exit(1);

    ControllerFolders g;
    CDownloader fresh(g.Settings(kNoServer));
    CDownloaderProbe freshProbe(fresh);
    EXPECT_TRUE(freshProbe.Parse(Reply("ver=\"2.5\" url=\"u\" md5=\"m\" upStyle=\"1\"")));
    EXPECT_EQ(FormatVersion(freshProbe.LobbyInfo().newest), "2.5.0.0");
    fresh.Exit(1);
}

TEST(LobbyReply, UnusableOrMalformedRepliesAreRejected)
{
    const std::string good = "ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"1\"";
    const std::string replies[] = {
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"4\""),
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"m\" upStyle=\"0\""),
        Reply("ver=\"1.2.3.4\" url=\"\" md5=\"m\" upStyle=\"1\""),
        Reply("ver=\"1.2.3.4\" url=\"u\" md5=\"\" upStyle=\"1\""),
        Reply("ver=\"0.0.0.7\" url=\"u\" md5=\"m\" upStyle=\"1\""),
        "<TzLobbyVerInfo><Other " + good + "/></TzLobbyVerInfo>",
        "<Site " + good + "/>",
        "<TzLobbyVerInfo><Site " + good,            // malformed: the parser's error is caught
        "<TzLobbyVerInfo><Site ver='1' a=\"&bogus;\"/></TzLobbyVerInfo>",
        "\x01\x02<<",
        "",
    };
    for (const std::string& reply : replies) {
        ControllerFolders f;
        CDownloader d(f.Settings(kNoServer));
        CDownloaderProbe probe(d);
        EXPECT_FALSE(probe.Parse(reply)) << reply;
        EXPECT_FALSE(probe.LobbyInfoValid()) << reply;
        d.Exit(1);
    }
}

TEST(SiteConfig, UnusableRepliesAreRetriedUntilOneIsUsable)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::RefusedUrl(), "ab", 4));
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    CDownloaderProbe probe(d);
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "parse config of site fail!") >= 1; }));
    LocalServer::SetMode(key, "malformed", 1);
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "parse config of site fail!") >= 2; }));
    LocalServer::SetConfigReply(key, ConfigReply("2.5.17.3", LocalServer::RefusedUrl(), "ab", 2));
    ASSERT_TRUE(WaitFor([&] { return probe.LobbyInfoValid(); }));
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "ver is 2.5.17.3") == 1; }));
    d.Exit(1);
    EXPECT_GE(RequestsTo(key, kConfigPath).size(), 3u);
    std::string log = f.LogText();
    EXPECT_NE(log.find("\tCDownloader::Get_Site_Config\tconfig of site is : <?xml"), std::string::npos);
    EXPECT_EQ(CountOf(log, "get site config retry over"), 0u);
    // The offered version went into the history.
    EXPECT_NE(ReadFileBytes(f.appData + "\\Quorvex\\Downloader\\hi.cfg").find("<Item ver=\"2.5.17.3\" md5=\"ab\"/>"),
              std::string::npos);
}

TEST(SiteConfig, FiveFailedAttemptsThenOneFailureAndANewTaskStartsAFreshSeries)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    for (int series = 1; series <= 2; ++series) {
        // Connections are dropped for the five configuration requests only,
        // so the closing report still arrives.
        LocalServer::SetMode(key, "reset", 5);
        DWORD start = GetTickCount();
        d.DownQuorvex();
        ASSERT_TRUE(WaitFor([&] { return listener.Count(EVENT_FAILED) == static_cast<size_t>(series); }, 30000));
        // Every failed attempt, the fifth included, is followed by a 1 s wait.
        EXPECT_GE(GetTickCount() - start, 4900u);
        ASSERT_TRUE(WaitFor([&] { return RequestsTo(key, "/download_device_error_stat.php").size() ==
                                         static_cast<size_t>(series); }));
    }
    Sleep(300);
    d.Exit(1);
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 10u);
    auto reports = RequestsTo(key, "/download_device_error_stat.php");
    ASSERT_EQ(reports.size(), 2u);
    for (auto& r : reports) EXPECT_NE(r.body.find("&error_type=2&"), std::string::npos);
    EXPECT_EQ(listener.Count(EVENT_FAILED), 2u);
    std::string log = f.LogText();
    // A dropped connection fails the GET, or reads as an empty reply.
    EXPECT_EQ(CountOf(log, "\tCDownloader::Get_Site_Config\tget lobby info faile\r\n") +
                  CountOf(log, "\tCDownloader::Get_Site_Config\tparse config of site fail!\r\n"),
              10u);
    EXPECT_EQ(CountOf(log, "get site config retry over"), 2u);
}

TEST(SiteConfig, UsableReplyAfterCancelIsKeptButTheTaskStops)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    LocalServer::SetConfigReply(key, ConfigReply("3.1.0.0", LocalServer::RefusedUrl(), "cd", 1));
    LocalServer::SetMode(key, "reset", 1);
    RecordingListener listener;
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    d.RegisterListener(&listener);
    CDownloaderProbe probe(d);
    d.DownQuorvex();
    // Cancelled during the wait after the first, failed attempt.
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "get lobby info faile") == 1; }));
    d.Cancel();
    ASSERT_TRUE(WaitFor([&] { return probe.LobbyInfoValid(); }));
    Sleep(300);
    EXPECT_EQ(CountOf(f.LogText(), "ver is"), 0u);
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 2u);

    // The next task skips the request and goes straight to its work.
    d.DownQuorvex();
    ASSERT_TRUE(WaitFor([&] { return CountOf(f.LogText(), "ver is 3.1.0.0") == 1; }));
    d.Exit(1);
    EXPECT_EQ(RequestsTo(key, kConfigPath).size(), 2u);
    EXPECT_EQ(listener.Count(EVENT_FAILED), 0u);
}
