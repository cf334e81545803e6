#pragma once
#include <string>

// Small file helpers for tests; paths are UTF-8 Windows paths.

// A fresh empty folder under %TEMP%, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "\\" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Empty when the file cannot be read.
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);
// Polls until the file exists or timeoutMs pass.
bool WaitForFile(const std::string& path, unsigned timeoutMs);
// Deterministic pseudo-random bytes.
std::string PatternBytes(size_t size, unsigned pattern = 1);
