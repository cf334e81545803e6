#include "platform/XmlInput.h"

namespace {

constexpr int kMaxDepth = 64;

const char* SkipPast(const char* p, const char* close)
{
    const char* found = std::strstr(p, close);
    return found ? found + std::strlen(close) : p + std::strlen(p);
}

// Follows tags, quoted values, comments, CDATA and declarations as the parser
// reads them, so the depth found here is the depth it would recurse to (or
// more). Where the two could part, the parser throws first.
bool NestingWithin(const char* p, int limit)
{
    int depth = 0;
    while ((p = std::strchr(p, '<')) != nullptr) {
        if (std::strncmp(p, "<!--", 4) == 0) {
            p = SkipPast(p + 4, "-->");
        } else if (std::strncmp(p, "<![CDATA[", 9) == 0) {
            p = SkipPast(p + 9, "]]>");
        } else if (p[1] == '?') {
            p = SkipPast(p + 2, "?>");
        } else if (p[1] == '!') {
            p = SkipPast(p + 2, ">");
        } else if (p[1] == '/') {
            if (--depth < 0) return true;  // the parser rejects a stray end tag
            p = SkipPast(p + 2, ">");
        } else {
            if (++depth > limit) return false;
            char quote = 0;
            for (++p; *p && (quote || *p != '>'); ++p) {
                if (quote) {
                    if (*p == quote) quote = 0;
                } else if (*p == '"' || *p == '\'') {
                    quote = *p;
                }
            }
            if (*p == '>' && p[-1] == '/') --depth;  // an empty element opens no level
            if (*p) ++p;
        }
    }
    return true;
}

}  // namespace

bool ParseXmlInput(rapidxml::xml_document<>& doc, char* text)
{
    if (!NestingWithin(text, kMaxDepth)) return false;
    try {
        doc.parse<0>(text);
    } catch (const rapidxml::parse_error&) {
        return false;
    }
    return true;
}
