// The configuration server's reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "controller/SiteConfigText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    LobbyVerInfo info;
    const bool parsed = ParseLobbyVerInfoText(text, &info);
    if (!parsed) {
        FUZZ_CHECK(info.url.empty() && info.md5.empty() && info.updateDesc.empty() && info.upStyle == 0);
        return 0;
    }
    // Texts come out of the reply, never from elsewhere.
    FUZZ_CHECK(info.url.size() <= size && info.md5.size() <= size && info.updateDesc.size() <= size);
    if (IsLobbyInfoUsable(info)) {
        FUZZ_CHECK(!info.url.empty() && !info.md5.empty());
        FUZZ_CHECK(info.upStyle >= 1 && info.upStyle <= 3);
    }
    // A second reply parses into what the first one left, as the retries do.
    LobbyVerInfo again = info;
    FUZZ_CHECK(ParseLobbyVerInfoText(text, &again));
    FUZZ_CHECK(again.url == info.url && again.md5 == info.md5 && again.newest == info.newest &&
               again.upStyle == info.upStyle && again.siteNumber == info.siteNumber);
    return 0;
}
