// Stands in for the browser in the journeys: the system's handler for http
// URLs while a journey runs. It appends the URL it was asked to open to the
// file named by QUORVEX_URL_LOG and fetches it, as a browser would.
#include <windows.h>
#include <wininet.h>
#include <string>

namespace {

std::string ToUtf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(size - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

bool Record(const wchar_t* url)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"QUORVEX_URL_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string line = ToUtf8(url) + "\n";
    DWORD written = 0;
    const bool ok =
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
    CloseHandle(file);
    return ok;
}

bool Fetch(const wchar_t* url)
{
    HINTERNET session = InternetOpenW(L"QuorvexUrlRecorder", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) return false;
    HINTERNET request =
        InternetOpenUrlW(session, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    bool ok = request != nullptr;
    if (request) {
        char buffer[4096];
        DWORD got = 0;
        while (InternetReadFile(request, buffer, sizeof(buffer), &got) && got > 0) {}
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return 2;
    const bool recorded = Record(argv[1]);
    const bool fetched = Fetch(argv[1]);
    return recorded && fetched ? 0 : 1;
}
