// The conversions between the stored FILETIME of the folder-redirection times and the seconds
// since 1970 the console sees.
//
// Input: a FILETIME (low, then high 32 bits) and a number of seconds (32 bits signed).
//
// Properties: every 32-bit second count survives the trip through FILETIME exactly, and the
// simulator's calendar reads that FILETIME as the same moment; a FILETIME converts exactly when
// some 32-bit second count lies less than a second from it, to such a count, and otherwise leaves
// the target as it was.
#include <cstdint>
#include <limits>

#include "fuzz_input.h"
#include "sim/org_json.h"
#include "usercfg/folder_redirection_properties.h"

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;

__int128 Ticks(const mapi::FILETIME& time) {
    return static_cast<__int128>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 |
                                 time.dwLowDateTime);
}

__int128 Distance(__int128 a, __int128 b) { return a > b ? a - b : b - a; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tav::fuzz::Input in(data, size);
    mapi::FILETIME stored{};
    stored.dwLowDateTime = in.Word();
    stored.dwHighDateTime = in.Word();
    const auto seconds = static_cast<std::int32_t>(in.Word());

    // Seconds to FILETIME and back.
    const mapi::FILETIME written = tav::UnixTimeToFileTime(seconds);
    std::int32_t back = ~seconds;
    TAV_FUZZ_CHECK(tav::FileTimeToUnixTime(written, back));
    TAV_FUZZ_CHECK(back == seconds);
    const auto writtenTicks = static_cast<std::uint64_t>(Ticks(written));
    TAV_FUZZ_CHECK(writtenTicks % kTicksPerSecond == 0);
    TAV_FUZZ_CHECK(sim::FormatIsoTime(writtenTicks) == sim::FormatUnixTime(seconds));

    // Any FILETIME to seconds.
    const __int128 earliest = Ticks(tav::UnixTimeToFileTime(std::numeric_limits<std::int32_t>::min()));
    const __int128 latest = Ticks(tav::UnixTimeToFileTime(std::numeric_limits<std::int32_t>::max()));
    const __int128 ticks = Ticks(stored);
    const bool representable = ticks > earliest - kTicksPerSecond && ticks < latest + kTicksPerSecond;
    const std::int32_t untouched = seconds;
    std::int32_t target = untouched;
    const bool converted = tav::FileTimeToUnixTime(stored, target);
    TAV_FUZZ_CHECK(converted == representable);
    if (converted) {
        TAV_FUZZ_CHECK(Distance(Ticks(tav::UnixTimeToFileTime(target)), ticks) < kTicksPerSecond);
    } else {
        TAV_FUZZ_CHECK(target == untouched);
    }
    return 0;
}
