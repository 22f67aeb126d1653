#include "platform/clock.h"

#include <windows.h>

namespace platform {

std::uint64_t SystemTimeAsFileTime() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The same clock in whole seconds since 1970 (FILETIME counts 100 ns from 1601).
std::int64_t CurrentTimeSeconds() {
    constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;
    return (static_cast<std::int64_t>(SystemTimeAsFileTime()) - kUnixEpochAsFileTime) / 10000000;
}

}  // namespace platform
