#pragma once
#include <string>

#include "controller/LobbyVerInfo.h"

// The site file and the configuration reply, read from their text alone:
// fetching them is the controller's business, what they say is decided here.

// The site id of a site file: the first attribute of the first "ID" element
// in the top-level "Site" element. False when there is none, when the text
// is not well-formed, or when the id cannot stand in the package's file name
// or in a URL query (the configuration request, the report forms); such an
// id goes to *refused, if given. The parser writes into `text`.
[[nodiscard]] bool ParseSiteFileText(char* text, std::string* siteId, std::string* refused = nullptr);

// Text from outside made fit for one log line: a backslash is doubled, and
// control bytes and bytes above 0x7E are written as \xHH.
std::string EscapedForLog(const std::string& text);

// Fills `info` from a configuration reply, attribute by attribute; fields
// whose attribute is absent keep their values. False when the text is not
// well-formed or has no "Site" element in "TzLobbyVerInfo".
[[nodiscard]] bool ParseLobbyVerInfoText(std::string text, LobbyVerInfo* info);

// A reply the download can go ahead with: URL and MD5 given, a version that
// is not 0.0.0.x and an upStyle of 1 to 3.
[[nodiscard]] bool IsLobbyInfoUsable(const LobbyVerInfo& info);
