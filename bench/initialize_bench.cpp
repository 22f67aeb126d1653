// Initialize and Uninitialize against a profile store of many profiles, the adaptor's profile
// among them.
#include "bench_support.h"

namespace tav::bench {
namespace {

void InitializeSession(benchmark::State& state) {
    ResetWorld();
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    for (std::int64_t i = 1; i < state.range(0); ++i) {
        builder.Profile("Profile " + std::to_string(i)).ExchangeService(kServerDn, kAdminDn);
    }
    for (auto _ : state) {
        sim::Simulator::Instance().ClearRecords();
        sim::Simulator::Instance().RecordCalls(false);
        const Stopwatch watch;
        const bool ok = Initialize();
        const double seconds = watch.Seconds();
        if (!Require(state, ok, "Initialize failed")) break;
        CountCalls(state, seconds);
        state.PauseTiming();
        Uninitialize();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
    ResetWorld();
}
BENCHMARK(InitializeSession)->ArgName("profiles")->Arg(10)->Arg(100)->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
