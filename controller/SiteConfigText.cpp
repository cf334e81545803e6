#include "controller/SiteConfigText.h"

#include <cstdlib>
#include <cstring>

#include <rapidxml.hpp>

#include "platform/VersionQuad.h"
#include "platform/XmlInput.h"

namespace {

// "TzGameSetup_" + id + ".exe" is one name, and a name holds at most 255 characters.
constexpr size_t kMaxSiteIdLength = 255 - 16;

// The site id names the package file and goes unescaped into the query of
// the configuration request and into the report forms. Refused: what a file
// name cannot hold (\ / : * ? " < > | and control characters), what a URL
// cannot carry unescaped (space, non-ASCII, " # % < > \ ^ ` { | }), and what
// would change a query's fields (& +).
bool IsSafeSiteId(const std::string& id)
{
    if (id.size() > kMaxSiteIdLength) return false;
    for (unsigned char c : id) {
        if (c <= ' ' || c >= 0x7F || std::strchr("\\/:*?\"<>|#%^`{}&+", c)) return false;
    }
    return true;
}

int32_t ToInt32(const char* text) { return static_cast<int32_t>(std::strtol(text, nullptr, 10)); }

}  // namespace

bool ParseSiteFileText(char* text, std::string* siteId, std::string* refused)
{
    rapidxml::xml_document<> doc;
    if (!text || !ParseXmlInput(doc, text)) return false;
    rapidxml::xml_node<>* site = doc.first_node("Site");
    rapidxml::xml_node<>* idNode = site ? site->first_node("ID") : nullptr;
    rapidxml::xml_attribute<>* attribute = idNode ? idNode->first_attribute() : nullptr;
    if (!attribute) return false;
    std::string id(attribute->value(), attribute->value_size());
    if (!IsSafeSiteId(id)) {
        if (refused) *refused = id;
        return false;
    }
    *siteId = id;
    return true;
}

std::string EscapedForLog(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < ' ' || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool ParseLobbyVerInfoText(std::string text, LobbyVerInfo* info)
{
    rapidxml::xml_document<> doc;
    if (text.empty() || !ParseXmlInput(doc, &text[0])) return false;
    rapidxml::xml_node<>* root = doc.first_node("TzLobbyVerInfo");
    rapidxml::xml_node<>* site = root ? root->first_node("Site") : nullptr;
    if (!site) return false;
    LobbyVerInfo& li = *info;
    for (rapidxml::xml_node<>* node = site; node; node = node->next_sibling()) {
        for (auto* a = node->first_attribute(); a; a = a->next_attribute()) {
            const char* value = a->value();
            if (AttributeNameStarts(a, "ID")) {
                li.siteNumber = ToInt32(value);
            } else if (AttributeNameStarts(a, "ver")) {
                int32_t* parts[] = {&li.newest.major, &li.newest.minor, &li.newest.build, &li.newest.revision};
                int32_t v[4];
                // A part too large for its type refuses the whole version.
                int n = ScanVersion(value, v);
                for (int i = 0; i < n; ++i) *parts[i] = v[i];
            } else if (AttributeNameStarts(a, "url")) {
                li.url.assign(value, a->value_size());
            } else if (AttributeNameStarts(a, "md5")) {
                li.md5.assign(value, a->value_size());
            } else if (AttributeNameStarts(a, "updatetime")) {
                li.updateTime = ToInt32(value);
            } else if (AttributeNameStarts(a, "update_desc")) {
                li.updateDesc.assign(value, a->value_size());
            } else if (AttributeNameStarts(a, "upStyle")) {
                li.upStyle = ToInt32(value);
            }
        }
    }
    return true;
}

bool IsLobbyInfoUsable(const LobbyVerInfo& li)
{
    return !li.url.empty() && !li.md5.empty() &&
           !(li.newest.major == 0 && li.newest.minor == 0 && li.newest.build == 0) && li.upStyle >= 1 &&
           li.upStyle <= 3;
}
