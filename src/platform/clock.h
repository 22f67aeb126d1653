// Clock seam.
#pragma once

#include <cstdint>

namespace platform {

// GetSystemTimeAsFileTime: 100-nanosecond intervals since 1601-01-01 UTC.
std::uint64_t SystemTimeAsFileTime();
// Current time in whole seconds since 1970-01-01 UTC.
std::int64_t CurrentTimeSeconds();

}  // namespace platform
