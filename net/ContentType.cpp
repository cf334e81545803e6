#include "net/ContentType.h"

#include <cctype>

bool IsHtmlContentType(const std::string& contentType)
{
    size_t begin = 0, end = contentType.find(';');
    if (end == std::string::npos) end = contentType.size();
    while (begin < end && (contentType[begin] == ' ' || contentType[begin] == '\t')) ++begin;
    while (end > begin && (contentType[end - 1] == ' ' || contentType[end - 1] == '\t')) --end;
    static const char html[] = "text/html";
    if (end - begin != sizeof html - 1) return false;
    for (size_t i = 0; i < sizeof html - 1; ++i)
        if (tolower(static_cast<unsigned char>(contentType[begin + i])) != html[i]) return false;
    return true;
}
