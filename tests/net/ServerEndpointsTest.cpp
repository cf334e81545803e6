#include <gtest/gtest.h>

#include "BuildConfig.h"
#include "net/ServerEndpoints.h"

TEST(ServerEndpoints, BuildsTheRequestsOfTheBuildsServer)
{
    const std::string base = QUORVEX_SERVER;
    EXPECT_EQ(ServerEndpoints::DownloadPageUrl(), ServerEndpoints::ServerBase() + "/download/download_lobby.html");
    // A base given with trailing slashes still joins its paths with one.
    for (const std::string& given : {base, base + "/", base + "//"}) {
        EXPECT_EQ(ServerEndpoints::ConfigUrl(given, "4501648"),
                  ServerEndpoints::ServerBase() + "/get_download_device_xml.php?agent_id=4501648");
        EXPECT_EQ(ServerEndpoints::SuccessReportUrl(given),
                  ServerEndpoints::ServerBase() + "/download_device_stat.php");
        EXPECT_EQ(ServerEndpoints::ErrorReportUrl(given),
                  ServerEndpoints::ServerBase() + "/download_device_error_stat.php");
    }
    EXPECT_EQ(ServerEndpoints::NormaliseBase("http://h:1//"), "http://h:1");
}

TEST(ServerEndpoints, FormsAndRangeHeader)
{
    EXPECT_EQ(ServerEndpoints::SuccessReportBody("4501648", 0, 10485760), "agent_id=4501648&use_time=0&sizes=10485760");
    EXPECT_EQ(ServerEndpoints::ErrorReportBody("4501648", "1.0.0.1", "", 2, 1700000000),
              "agent_id=4501648&download_version=1.0.0.1&package_version=0.0.0.0&error_type=2"
              "&submit_date=1700000000");
    EXPECT_EQ(ServerEndpoints::RangeHeader(4096, 8191), "RANGE: bytes=4096-8191\r\n");
    EXPECT_EQ(ServerEndpoints::RangeHeader(0, 5000000000LL), "RANGE: bytes=0-5000000000\r\n");
}
