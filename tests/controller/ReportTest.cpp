#include <gtest/gtest.h>

#include "ControllerTestSupport.h"

TEST(Reports, SuccessBodyAndLogLine)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    CDownloaderProbe probe(d);
    probe.SetPackageSize(10485760);
    probe.SetUseTime(12);
    EXPECT_TRUE(probe.PostRight());
    d.Exit(1);
    auto reports = RequestsTo(key, "/download_device_stat.php");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].method, "POST");
    EXPECT_EQ(reports[0].body, "agent_id=" + key + "&use_time=12&sizes=10485760");
    EXPECT_NE(f.LogText().find("\tCDownloader::Post_Right\t[url]:" + LocalServer::BaseUrl() +
                               "/download_device_stat.php [post]:agent_id=" + key + "&use_time=12&sizes=10485760\r\n"),
              std::string::npos);
}

TEST(Reports, UndeliveredReportIsLoggedWithItsError)
{
    ControllerFolders f;
    std::string refused = LocalServer::RefusedUrl();
    refused.resize(refused.find('/', 7));
    CDownloader d(f.Settings(refused));
    CDownloaderProbe probe(d);
    EXPECT_FALSE(probe.PostError(ERROR_INSTALL_OLD, "1.2.3.4"));
    d.Exit(1);
    std::string expected = "\tCDownloader::Post_Error\t[url]:" + refused +
                           "/download_device_error_stat.php [post]:agent_id=4501648&download_version=1.0.0.1"
                           "&package_version=1.2.3.4&error_type=9&submit_date=";
    std::string log = f.LogText();
    size_t at = log.find(expected);
    ASSERT_NE(at, std::string::npos) << log;
    size_t end = log.find("\r\n", at);
    const std::string tail = " [ret-err]:[]";
    EXPECT_EQ(log.substr(end - tail.size(), tail.size()), tail) << log.substr(at, end - at);
}

TEST(Reports, LimitedReportsAreSentOncePerTypeAndUserAbortEveryTime)
{
    ControllerFolders f;
    const std::string key = LocalServer::NewKey();
    f.WriteSiteFile(key);
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    CDownloaderProbe probe(d);
    EXPECT_TRUE(probe.PostOnce(ERROR_MD5_MISMATCH, "1.0.0.0"));
    EXPECT_FALSE(probe.PostOnce(ERROR_MD5_MISMATCH, "1.0.0.0"));
    EXPECT_TRUE(probe.PostOnce(ERROR_VERSION_LOWER, "1.0.0.0"));
    d.Exit(2);
    auto reports = RequestsTo(key, "/download_device_error_stat.php");
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_NE(reports[0].body.find("&package_version=1.0.0.0&error_type=7&"), std::string::npos);
    EXPECT_NE(reports[1].body.find("&error_type=10&"), std::string::npos);
    // The user's abort carries the newest version, still empty here.
    EXPECT_NE(reports[2].body.find("&package_version=0.0.0.0&error_type=8&"), std::string::npos);
}
