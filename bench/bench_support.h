// The frame of the benchmarks: a fresh simulated organisation with the administrator's mailbox and
// the profile the registry names, the portable platform reset, and the library initialised when
// asked. The benchmark programs time one export at a time against it.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "core/diagnostic_log.h"
#include "core/exports.h"
#include "core/wide_string_slot.h"
#include "platform/portable/portable_dialog.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"
#include "support/simulated_world.h"

namespace tav::bench {

using testing::AdminOrganisation;
using testing::kAdminDn;
using testing::kServerDn;
using testing::WideArg;

inline constexpr char16_t kRecipients[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";

// A fresh world, the library's session ended first; the simulator times its own work.
inline void ResetWorld() {
    Uninitialize();
    testing::ResetSimulatedWorld();
    sim::Simulator::Instance().TimeProvider(true);
}

// The wall time of one export, from its making on.
class Stopwatch {
  public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Stops the benchmark when an export that must succeed fails: a figure of a failing export would
// measure the wrong work.
inline bool Require(benchmark::State& state, bool ok, const char* what) {
    if (!ok) state.SkipWithError(what);
    return ok;
}

// MAPI calls the last export made, as the simulator counted them; with `prescribed` (the calls
// its steps make for this input, counted from the algorithm) also the ratio made / prescribed.
// From the export's wall time, the provider's own time for the same calls (provider_ms) and the
// library's time over the provider's (library_over_provider: the export's time outside the
// simulator divided by the time inside it).
inline void CountCalls(benchmark::State& state, double exportSeconds, double prescribed = 0) {
    const sim::Simulator& simulator = sim::Simulator::Instance();
    const auto made = static_cast<double>(simulator.CallCount());
    state.counters["mapi_calls"] = made;
    if (prescribed > 0) state.counters["calls_ratio"] = made / prescribed;
    const double provider = static_cast<double>(simulator.ProviderNanoseconds()) / 1e9;
    state.counters["provider_ms"] = provider * 1e3;
    if (provider > 0)
        state.counters["library_over_provider"] = (exportSeconds - provider) / provider;
}

// A number in decimal as UTF-16, for generated names.
inline std::u16string Number(std::uint64_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace tav::bench
