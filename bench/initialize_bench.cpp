// Initialize and Uninitialize against a profile store of many profiles, the adaptor's profile
// among them.
#include "bench_support.h"

namespace tav::bench {
namespace {

// MAPIInitialize, MAPIAdminProfiles, CreateProfile (refused: the profile exists), MAPILogonEx,
// OpenAddressBook and GetMsgStoresTable; the store table read whole (SetColumns, SeekRow, and a
// QueryRows per batch of 256 rows and the empty one after them); OpenMsgStore and the
// QueryInterface for the store manager. The other profiles of the store cost no call.
double PrescribedCalls(const sim::Profile& profile) {
    const std::size_t storeRows = 1 + (profile.publicFolders ? 1 : 0) + profile.extraStoreRows.size();
    return 6.0 + 2.0 + static_cast<double>((storeRows + 255) / 256 + 1) + 2.0;
}

void InitializeSession(benchmark::State& state) {
    const auto profiles = state.range(0);
    auto prepare = [profiles] {
        ResetWorld();
        sim::OrgBuilder builder;
        AdminOrganisation(builder);
        for (std::int64_t i = 1; i < profiles; ++i)
            builder.Profile("Profile " + std::to_string(i)).ExchangeService(kServerDn, kAdminDn);
        return true;
    };
    prepare();
    const sim::Profile* profile = sim::Simulator::Instance().Org().FindProfile("TavrelManager");
    if (!Require(state, profile != nullptr, "no TavrelManager profile")) return;
    const double prescribed = PrescribedCalls(*profile);
    double fastest = 0;
    ClearSimulatorForRun();
    for (auto _ : state) {
        const Stopwatch watch;
        const bool ok = Initialize();
        const double seconds = watch.Seconds();
        if (!Require(state, ok, "Initialize failed")) break;
        CountCalls(state, seconds, prescribed);
        if (fastest == 0 || seconds < fastest) fastest = seconds;
        state.PauseTiming();
        Uninitialize();
        ClearSimulatorForRun();  // untimed, like the Uninitialize
        state.ResumeTiming();
    }
    auto onceBefore = [] {
        const bool ok = Initialize();
        Uninitialize();
        return ok;
    };
    PlayWithoutLibrary(state, fastest, prepare, onceBefore, [] { return Initialize(); });
    state.SetComplexityN(state.range(0));
    ResetWorld();
}
BENCHMARK(InitializeSession)->ArgName("profiles")->Arg(10)->Arg(100)->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
