// The clock and the keys.

#include "platform/win32/win32_platform.h"

namespace czuwajnik::win32 {

void Win32Platform::keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) {
    keybd_event(vk, scan, flags, extra);
}

float Win32Platform::timeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<float>(now.wHour * 3600 + now.wMinute * 60 + now.wSecond) +
           static_cast<float>(now.wMilliseconds) / 1000.0f;
}

// The interrupt time without the time the system slept, in units of 100 ns.
std::uint64_t Win32Platform::awakeMilliseconds() {
    ULONGLONG awake = 0;
    QueryUnbiasedInterruptTime(&awake);
    return awake / 10000;
}

std::int64_t Win32Platform::localTime() {
    SYSTEMTIME now;
    FILETIME local{};
    GetLocalTime(&now);
    SystemTimeToFileTime(&now, &local);
    return static_cast<std::int64_t>((ULONGLONG{local.dwHighDateTime} << 32 | local.dwLowDateTime) / 10000000);
}

}  // namespace czuwajnik::win32
