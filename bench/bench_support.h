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
#include "sim/call_tape.h"
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

// Before a timed run: the simulator's records cleared and its calls only counted (recording is
// the simulator's own cost), and the objects that earlier runs released freed, as a provider
// frees them. Kept as zombies until the next reset, they piled up run after run, and every run
// found its allocations in a heap more scattered than the run before: at 10,000 picks the tenth
// run took half as long again as the first.
inline void ClearSimulatorForRun() {
    sim::Simulator& simulator = sim::Simulator::Instance();
    simulator.ClearRecords();
    simulator.RecordCalls(false);
    simulator.FreeReleased();
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
// From the export's wall time, the time the simulator spent inside those calls (provider_ms) and
// the export's time outside the simulator over it (library_over_provider_in_run).
inline void CountCalls(benchmark::State& state, double exportSeconds, double prescribed = 0) {
    const sim::Simulator& simulator = sim::Simulator::Instance();
    const auto made = static_cast<double>(simulator.CallCount());
    state.counters["mapi_calls"] = made;
    if (prescribed > 0) state.counters["calls_ratio"] = made / prescribed;
    const double provider = static_cast<double>(simulator.ProviderNanoseconds()) / 1e9;
    state.counters["provider_ms"] = provider * 1e3;
    if (provider > 0)
        state.counters["library_over_provider_in_run"] = (exportSeconds - provider) / provider;
}

// The provider's own cost of an export's calls, without the library: the export run once more
// on a world made by `prepare`, its calls taped (sim/call_tape.h), and the tape played on other
// worlds made the same way. `warm` runs on each world before (untaped, with the library):
// it leaves the world as the timed runs before the fastest left theirs, the simulator's tables
// and indexes made and the heap warm, so that the play is timed on a world like the export's.
// Counters: replay_ms, the time the simulator spent inside the played calls (the fastest play);
// replay_wall_ms, that whole play, the tape's own dispatch included; library_over_provider, the
// export's time (exportSeconds, the fastest timed run, also given as fastest_ms) less replay_ms,
// over replay_ms. A play whose calls do not give the taped results stops the benchmark: its time
// would be that of other work.
template <class Prepare, class Warm, class Export>
void PlayWithoutLibrary(benchmark::State& state, double exportSeconds, Prepare prepare, Warm warm,
                        Export run) {
    if (state.error_occurred()) return;
    state.counters["fastest_ms"] = exportSeconds * 1e3;
    sim::Simulator& simulator = sim::Simulator::Instance();
    // Both only count their calls, as the timed runs do.
    auto world = [&] {
        if (!prepare() || !warm()) return false;
        simulator.ClearRecords();
        simulator.RecordCalls(false);
        return true;
    };
    if (!Require(state, world(), "the world for the tape could not be made")) return;
    sim::StartTape();
    const bool ran = run();
    const sim::CallTape tape = sim::StopTape();
    const std::uint64_t taped = simulator.CallCount();
    if (!Require(state, ran, "the taped export failed")) return;
    // Played on up to five worlds, each made afresh, while the plays take less than half a
    // second together; the fastest counts, as the fastest timed run does.
    sim::TapePlay fastest;
    double played = 0;
    for (int round = 0; round < 5 && played < 0.5; ++round) {
        if (!Require(state, world(), "the world for the play could not be made")) return;
        const sim::TapePlay play = sim::PlayTape(tape);
        if (play.diverged || simulator.CallCount() != taped) {
            state.SkipWithError(("the play diverged: " + play.firstDivergence).c_str());
            return;
        }
        played += static_cast<double>(play.nanoseconds) / 1e9;
        if (round == 0 || play.providerNanoseconds < fastest.providerNanoseconds) fastest = play;
    }
    const sim::TapePlay& play = fastest;
    const double replay = static_cast<double>(play.providerNanoseconds) / 1e9;
    state.counters["replay_ms"] = replay * 1e3;
    state.counters["replay_wall_ms"] = static_cast<double>(play.nanoseconds) / 1e6;
    state.counters["replayed_calls"] = static_cast<double>(play.calls);
    if (replay > 0) state.counters["library_over_provider"] = (exportSeconds - replay) / replay;
}

// A number in decimal as UTF-16, for generated names.
inline std::u16string Number(std::uint64_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace tav::bench
