#include "support/LocalServer.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "BuildConfig.h"
#include "net/HttpHandles.h"
#include "platform/TextConvert.h"
#include "support/TestFiles.h"

namespace {

std::string HostPort()
{
    std::string url = QUORVEX_SERVER;
    size_t scheme = url.find("://");
    if (scheme != std::string::npos) url = url.substr(scheme + 3);
    size_t slash = url.find('/');
    if (slash != std::string::npos) url.resize(slash);
    return url;
}

std::string Host()
{
    std::string hp = HostPort();
    return hp.substr(0, hp.rfind(':'));
}

int Port()
{
    std::string hp = HostPort();
    size_t colon = hp.rfind(':');
    return colon == std::string::npos ? 80 : std::atoi(hp.c_str() + colon + 1);
}

// One direct request to the local server; the status, or 0 when no reply.
int Call(const char* verb, const std::string& pathAndQuery, const std::string& body, std::string* reply)
{
    UniqueInternetHandle internet(InternetOpenA("QuorvexTests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet.Get()) return 0;
    DWORD connectMs = 10000, receiveMs = 180000;  // fixture builds take a while
    InternetSetOptionA(internet.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
    InternetSetOptionA(internet.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof(receiveMs));
    UniqueInternetHandle connection(InternetConnectA(internet.Get(), Host().c_str(), static_cast<INTERNET_PORT>(Port()),
                                                     nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.Get()) return 0;
    UniqueInternetHandle request(HttpOpenRequestA(connection.Get(), verb, pathAndQuery.c_str(), "HTTP/1.0", nullptr,
                                                  nullptr, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request.Get()) return 0;
    if (!HttpSendRequestA(request.Get(), nullptr, 0, body.empty() ? nullptr : const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()))) {
        return 0;
    }
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        return 0;
    }
    char buffer[16384];
    DWORD got = 0;
    while (InternetReadFile(request.Get(), buffer, sizeof(buffer), &got) && got > 0) {
        if (reply) reply->append(buffer, got);
    }
    return static_cast<int>(status);
}

std::string UrlEncode(const std::string& text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char c = text[++i];
        if (c == 't')
            out += '\t';
        else if (c == 'n')
            out += '\n';
        else if (c == 'r')
            out += '\r';
        else if (c == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

std::string ToWindowsPath(const std::string& unixPath)
{
    typedef WCHAR*(CDECL * DosName)(const char*);
    auto convert = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (convert) {
        if (WCHAR* dos = convert(unixPath.c_str())) {
            std::string path = WideToUtf8(dos);
            HeapFree(GetProcessHeap(), 0, dos);
            return path;
        }
    }
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

}  // namespace

std::string LocalServer::BaseUrl()
{
    std::string url = QUORVEX_SERVER;
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

std::string LocalServer::NginxUrl() { return "http://" + Host() + ":" + std::to_string(Port() + 1); }

std::string LocalServer::TlsUrl() { return "https://" + Host() + ":" + std::to_string(Port() + 2); }

std::string LocalServer::TlsOtherNameUrl() { return "https://" + Host() + ":" + std::to_string(Port() + 3); }

bool LocalServer::HasTlsCertificates()
{
    return GetFileAttributesW(Utf8ToWide(BinaryDir() + "\\tls-ca\\good.crt").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string LocalServer::NewKey()
{
    static std::atomic<unsigned> counter{0};
    std::string name = "none";
    if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
        name = std::string(info->test_suite_name()) + "." + info->name();
    }
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    // Wine reuses process ids quickly, so the start time tells runs apart.
    static const unsigned run = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return static_cast<unsigned>((now.dwLowDateTime / 10000 + GetCurrentProcessId()) % 1000000);
    }();
    char key[32];
    std::snprintf(key, sizeof(key), "%u%06u%02u", 100000u + hash % 900000u, run, counter++ % 100);
    return key;
}

bool LocalServer::SetConfigReply(const std::string& agentId, const std::string& body)
{
    return Call("POST", "/_control/config?agent_id=" + UrlEncode(agentId), body, nullptr) == 200;
}

bool LocalServer::SetMode(const std::string& key, const std::string& mode, int times, int ms)
{
    std::string query = "/_control/mode?key=" + UrlEncode(key) + "&mode=" + UrlEncode(mode);
    if (times >= 0) query += "&times=" + std::to_string(times);
    if (ms > 0) query += "&ms=" + std::to_string(ms);
    return Call("POST", query, "", nullptr) == 200;
}

std::vector<RecordedRequest> LocalServer::Requests(const std::string& key)
{
    std::string text;
    std::vector<RecordedRequest> requests;
    if (Call("GET", "/_control/requests?key=" + UrlEncode(key) + "&if_range=1", "", &text) != 200) return requests;
    for (const std::string& line : Split(text, '\n')) {
        std::vector<std::string> fields = Split(line, '\t');
        if (fields.size() != 7) continue;
        RecordedRequest r;
        r.id = std::atoll(fields[0].c_str());
        r.time = std::atof(fields[1].c_str());
        r.method = fields[2];
        r.path = Unescape(fields[3]);
        r.range = Unescape(fields[4]);
        r.body = Unescape(fields[5]);
        r.ifRange = Unescape(fields[6]);
        requests.push_back(r);
    }
    return requests;
}

std::string LocalServer::PackageUrl(const std::string& key, const std::string& relPath)
{
    return BaseUrl() + "/_pkg/" + key + "/" + relPath;
}

std::string LocalServer::NginxFileUrl(const std::string& relPath) { return NginxUrl() + "/" + relPath; }

std::string LocalServer::RefusedUrl()
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return "http://127.0.0.1:1/";
    // A port the system just handed out and nobody listens on.
    int port = 1;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        closesocket(s);
    }
    WSACleanup();
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

std::string LocalServer::BinaryDir() { return ToWindowsPath(QUORVEX_TEST_BINARY_DIR); }

std::string LocalServer::WwwDir() { return BinaryDir() + "\\www"; }

std::string LocalServer::PublishFile(const std::string& relPath, const std::string& bytes)
{
    std::string path = WwwDir();
    for (const std::string& part : Split(relPath, '/')) {
        CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr);
        path += "\\" + part;
    }
    return WriteFileBytes(path, bytes) ? path : std::string();
}

std::string LocalServer::FixtureRelPath(Fixture fixture)
{
    switch (fixture) {
    case Fixture::Signed: return "fixtures/signed.exe";
    case Fixture::Unsigned: return "fixtures/unsigned.exe";
    case Fixture::Tampered: return "fixtures/tampered.exe";
    case Fixture::Unversioned: return "fixtures/unversioned.exe";
    case Fixture::OtherSigner: return "fixtures/other-signer.exe";
    case Fixture::Large: return "fixtures/large.exe";
    }
    return {};
}

std::string LocalServer::FixturePath(Fixture fixture)
{
    std::string path = WwwDir() + "\\" + FixtureRelPath(fixture);
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string LocalServer::BuildPackage(const std::string& name, const std::string& productVersion,
                                      const std::string& fileVersion, const std::string& variant, uint32_t padBytes)
{
    std::string reply;
    std::string query = "/_control/fixture?name=" + UrlEncode(name) + "&product=" + UrlEncode(productVersion) +
                        "&file=" + UrlEncode(fileVersion) + "&variant=" + UrlEncode(variant) +
                        "&pad=" + std::to_string(padBytes);
    if (Call("POST", query, "", &reply) != 200) return {};
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
    return reply;
}
