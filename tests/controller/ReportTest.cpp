#include <gtest/gtest.h>

#include "ControllerTestSupport.h"

TEST(Reports, BodiesAsReceivedAndLimitedTypesOncePerProcess)
{
    ControllerFolders f;
    const std::string key = f.UseNewKey();
    CDownloader d(f.Settings(LocalServer::BaseUrl()));
    CDownloaderProbe probe(d);
    probe.SetPackageSize(10485760);
    EXPECT_TRUE(probe.PostRight());
    EXPECT_TRUE(probe.PostOnce(ERROR_MD5_MISMATCH, "1.0.0.0"));
    EXPECT_FALSE(probe.PostOnce(ERROR_MD5_MISMATCH, "1.0.0.0"));
    EXPECT_TRUE(probe.PostOnce(ERROR_VERSION_LOWER, "1.0.0.0"));
    d.Exit(2);
    d.Exit(2);  // the user's abort is reported every time

    const std::string success = "agent_id=" + key + "&use_time=0&sizes=10485760";
    auto reports = RequestsTo(key, "/download_device_stat.php");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].method, "POST");
    EXPECT_EQ(reports[0].body, success);
    EXPECT_EQ(CountOf(f.LogText(), "\tCDownloader::Post_Right\t[url]:" + LocalServer::BaseUrl() +
                                       "/download_device_stat.php [post]:" + success + "\r\n"),
              1u);
    std::vector<std::string> errors;
    for (auto& r : RequestsTo(key, "/download_device_error_stat.php"))
        errors.push_back(r.body.substr(0, r.body.find("&submit_date=")));
    const std::string head = "agent_id=" + key + "&download_version=1.0.0.1&package_version=";
    // The user's abort carries the newest version, still empty here.
    std::vector<std::string> expected = {head + "1.0.0.0&error_type=7", head + "1.0.0.0&error_type=10",
                                         head + "0.0.0.0&error_type=8", head + "0.0.0.0&error_type=8"};
    EXPECT_EQ(errors, expected);
}
