#pragma once
#include <string>

// UTF-8 is the system's 8-bit text; UTF-16 is what file-system and window
// calls take. A missing input or a failed conversion gives empty text.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

// UTF-8 to the system ANSI code page (through UTF-16); when a step fails the
// input comes back unchanged.
std::string Utf8ToAnsi(const std::string& utf8);
