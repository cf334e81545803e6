#include "app/FormatSpeed.h"
#include <cwchar>

void FormatSpeed(double speed, wchar_t (&text)[kSpeedTextSize])
{
    static const wchar_t* const units[] = {L" B/s", L" KB/s", L" MB/s", L" GB/s"};
    // A broken record (negative or not a number) reads as standing still.
    if (!(speed >= 0)) speed = 0;
    // Keeps the widest text far inside the buffer.
    if (speed > 1e30) speed = 1e30;
    int unit = 0;
    while (speed >= 1024 && unit < 3) {
        speed /= 1024;
        ++unit;
    }
    if (unit < 2)
        swprintf(text, kSpeedTextSize, L"%d%ls", static_cast<int>(speed), units[unit]);
    else
        swprintf(text, kSpeedTextSize, L"%.2f%ls", speed, units[unit]);
}
