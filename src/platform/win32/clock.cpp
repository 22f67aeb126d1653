#include "platform/clock.h"

#include <windows.h>

#include <ctime>

namespace platform {

std::uint64_t SystemTimeAsFileTime() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::int64_t CurrentTimeSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace platform
