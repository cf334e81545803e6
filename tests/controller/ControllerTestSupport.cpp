#include "ControllerTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/Md5OfFile.h"

size_t CountOf(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
    return n;
}

ControllerFolders::ControllerFolders()
    : program(root.File("program")), appData(root.File("appdata")), privateParent(root.File("private"))
{
    for (const std::string* folder : {&program, &appData, &privateParent})
        CreateDirectoryW(Utf8ToWide(*folder).c_str(), nullptr);
}

DownloaderSettings ControllerFolders::Settings(const std::string& serverBase) const
{
    // Pinned to the fixtures' publisher, as the test build's program is.
    return DownloaderSettings{program, appData, serverBase, kFixtureSigner, Utf8ToWide(privateParent)};
}

std::string ControllerFolders::UseNewKey() const
{
    std::string key = LocalServer::NewKey();
    WriteFileBytes(program + "\\site.cfg", "<Site><ID value=\"" + key + "\"/></Site>");
    return key;
}

std::string ControllerFolders::LogText() const
{
    std::string folder = appData + "\\Quorvex\\log";
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Utf8ToWide(folder + "\\*.log").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    FindClose(find);
    return ReadFileBytes(folder + "\\" + WideToUtf8(data.cFileName));
}

bool ControllerFolders::WaitForLaunchedCopy(DWORD timeoutMs) const
{
    auto ranInACopy = [&] {
        WIN32_FIND_DATAW folder;
        HANDLE folders = FindFirstFileW(Utf8ToWide(privateParent + "\\QuorvexSetup-*").c_str(), &folder);
        if (folders == INVALID_HANDLE_VALUE) return false;
        bool ran = false;
        do {
            const std::string setup = privateParent + "\\" + WideToUtf8(folder.cFileName) + "\\TzGameSetup_";
            WIN32_FIND_DATAW proof;
            HANDLE found = FindFirstFileW(Utf8ToWide(setup + "*.exe.ran").c_str(), &proof);
            if (found != INVALID_HANDLE_VALUE) FindClose(found);
            ran = found != INVALID_HANDLE_VALUE;
        } while (!ran && FindNextFileW(folders, &folder));
        FindClose(folders);
        return ran;
    };
    WIN32_FIND_DATAW beside;
    HANDLE original = FindFirstFileW(Utf8ToWide(program + "\\*.ran").c_str(), &beside);
    if (original != INVALID_HANDLE_VALUE) FindClose(original);
    return WaitFor(ranInACopy, timeoutMs) && original == INVALID_HANDLE_VALUE;
}

std::vector<RecordedRequest> RequestsTo(const std::string& key, const std::string& pathPrefix)
{
    std::vector<RecordedRequest> matching;
    for (auto& r : LocalServer::Requests(key)) {
        if (r.path.compare(0, pathPrefix.size(), pathPrefix) == 0) matching.push_back(r);
    }
    return matching;
}

std::string ConfigReply(const std::string& version, const std::string& url, const std::string& md5, int upStyle)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TzLobbyVerInfo><Site ID=\"7\" ver=\"" + version +
           "\" updatetime=\"1700000000\" upStyle=\"" + std::to_string(upStyle) + "\" url=\"" + url + "\" md5=\"" + md5 +
           "\" update_desc=\"\xE6\x96\xB0\"/></TzLobbyVerInfo>";
}

LobbyVerInfo MakeLobbyInfo(const std::string& version, const std::string& md5, int upStyle, const std::string& url)
{
    LobbyVerInfo info;
    std::sscanf(version.c_str(), "%d.%d.%d.%d", &info.newest.major, &info.newest.minor, &info.newest.build,
                &info.newest.revision);
    info.url = url;
    info.md5 = md5;
    info.upStyle = upStyle;
    return info;
}

std::string Md5Of(const std::string& path)
{
    std::string md5;
    EXPECT_EQ(Md5OfFile(path, &md5), 0) << path;
    return md5;
}

std::string DeeplyNested(const std::string& inner)
{
    std::string open, close;
    for (int i = 0; i < 100000; ++i) open += "<a>", close += "</a>";
    return open + inner + close;
}

std::string WwwPath(const std::string& relPath)
{
    std::string path = LocalServer::WwwDir() + "\\" + relPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}
