#pragma once
#include <cstdio>
#include <string>

// fopen with UTF-8 path and mode, through the runtime's wide-path open (so
// any Unicode path works whatever the ANSI code page). Null on failure.
[[nodiscard]] FILE* OpenFileUtf8(const std::string& path, const std::string& mode);
