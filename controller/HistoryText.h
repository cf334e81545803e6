#pragma once
#include <map>
#include <string>
#include <utility>

// The text of the history file, apart from where it is kept.

// Version text -> (version text, MD5 text), in byte order of the version.
using HistoryItems = std::map<std::string, std::pair<std::string, std::string>>;

// Adds the entries of a history file's text to `items`; an entry whose
// version is there already is dropped, so the first occurrence wins. False
// when the text is not well-formed or has no "HistoryInfo". The parser writes
// into `text`.
[[nodiscard]] bool ParseHistoryText(char* text, HistoryItems* items);

// The file's text for a set of entries.
std::string PrintHistoryText(const HistoryItems& items);
