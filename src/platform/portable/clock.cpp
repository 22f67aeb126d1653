#include "platform/clock.h"

#include <chrono>
#include <optional>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

std::optional<std::uint64_t>& Fixed() {
    static std::optional<std::uint64_t> fixed;
    return fixed;
}

}  // namespace

std::uint64_t SystemTimeAsFileTime() {
    if (Fixed()) return *Fixed();
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(ticks);
}

std::int64_t CurrentTimeSeconds() {
    std::uint64_t fileTime = SystemTimeAsFileTime();
    return (static_cast<std::int64_t>(fileTime) - static_cast<std::int64_t>(kUnixEpochAsFileTime)) /
           10000000;
}

namespace portable {
void FixSystemTime(std::optional<std::uint64_t> fileTime) { Fixed() = fileTime; }
}  // namespace portable

}  // namespace platform
