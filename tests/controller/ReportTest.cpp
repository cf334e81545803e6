#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "ControllerTestSupport.h"
#include "controller/ReportSender.h"

TEST(Reports, BodiesAsReceivedAndLimitedTypesOncePerProcess)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    CLog log;
    ASSERT_TRUE(log.Open(f.root.File("reports.log")));
    ReportSender reports(log, LocalServer::BaseUrl(), key);
    EXPECT_TRUE(reports.Post_Right(0, 10485760));
    EXPECT_TRUE(reports.PostOnce(ErrorType::Md5Mismatch, "1.0.0.0"));
    EXPECT_FALSE(reports.PostOnce(ErrorType::Md5Mismatch, "1.0.0.0"));
    EXPECT_TRUE(reports.PostOnce(ErrorType::VersionLower, "1.0.0.0"));
    log.Close();
    {
        CDownloader d(f.Settings(LocalServer::BaseUrl()));
        d.Exit(2);
        d.Exit(2);  // the user's abort is reported every time
    }

    const std::string success = "agent_id=" + key + "&use_time=0&sizes=10485760";
    auto received = RequestsTo(key, "/download_device_stat.php");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, "POST");
    EXPECT_EQ(received[0].body, success);
    EXPECT_EQ(CountOf(ReadFileBytes(f.root.File("reports.log")),
                      "\tCDownloader::Post_Right\t[url]:" + LocalServer::BaseUrl() +
                          "/download_device_stat.php [post]:" + success + "\r\n"),
              1u);
    std::vector<std::string> errors;
    for (auto& r : RequestsTo(key, "/download_device_error_stat.php"))
        errors.push_back(r.body.substr(0, r.body.find("&submit_date=")));
    const std::string head = "agent_id=" + key + "&download_version=" QUORVEX_VERSION_TEXT "&package_version=";
    // The user's abort carries the newest version, still empty here.
    std::vector<std::string> expected = {head + "1.0.0.0&error_type=7", head + "1.0.0.0&error_type=10",
                                         head + "0.0.0.0&error_type=8", head + "0.0.0.0&error_type=8"};
    EXPECT_EQ(errors, expected);
}
