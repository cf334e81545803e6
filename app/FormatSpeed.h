#pragma once
#include <cstddef>

constexpr size_t kSpeedTextSize = 260;

// "512 B/s", "500 KB/s", "1.50 MB/s", "5120.00 GB/s": whole bytes and
// kilobytes, two decimals from megabytes on; GB/s is the largest unit.
void FormatSpeed(double bytesPerSecond, wchar_t (&text)[kSpeedTextSize]);
