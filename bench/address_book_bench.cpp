// GetABItemList with the person at the address book picking many mailboxes at once.
#include <vector>

#include "addrbook/ab_item.h"
#include "bench_support.h"

namespace tav::bench {
namespace {

void PickEntries(benchmark::State& state) {
    const auto picks = static_cast<std::uint32_t>(state.range(0));
    auto& simulator = sim::Simulator::Instance();
    std::vector<std::uint32_t> picked;
    auto prepare = [&] {
        ResetWorld();
        sim::OrgBuilder builder;
        AdminOrganisation(builder);
        picked.clear();
        for (std::uint32_t i = 0; i < picks; ++i) {
            std::u16string name = u"user" + Number(i);
            picked.push_back(builder.User(u"User " + Number(i), kRecipients + name)
                                 .HomeMdb(sim::OrgBuilder::HomeMdbOf(kServerDn))
                                 .Smtp(name + u"@example.com")
                                 .Index());
        }
        return Initialize();
    };
    auto answer = [&] {
        simulator.Org().addressDialogAnswers = {{sim::AddressDialogAnswer::Action::Pick, picked, 0}};
    };
    auto pick = [&](double* seconds) {
        ABItemList* list = nullptr;
        const Stopwatch watch;
        const bool ok = GetABItemList(&list, 1);
        if (seconds) *seconds = watch.Seconds();
        const std::size_t items = list ? static_cast<std::size_t>(list->last - list->first) : 0;
        FreeABItemList(&list);
        return ok && items == picks;
    };
    if (!Require(state, prepare(), "Initialize failed")) return;
    double fastest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        answer();
        ClearSimulatorForRun();
        ClearLog();
        state.ResumeTiming();
        double seconds = 0;
        if (!Require(state, pick(&seconds), "GetABItemList did not return every pick")) break;
        // The dialog's Address, then per picked entry OpenEntry, PrepareRecips and GetProps.
        CountCalls(state, seconds, 1.0 + 3.0 * picks);
        if (fastest == 0 || seconds < fastest) fastest = seconds;
    }
    PlayWithoutLibrary(
        state, fastest,
        prepare,
        [&] {
            answer();
            const bool picked = pick(nullptr);
            answer();  // for the taped run, and for the play's Address
            return picked;
        },
        [&] { return pick(nullptr); });
    state.SetComplexityN(state.range(0));
    ResetWorld();
}
BENCHMARK(PickEntries)->ArgName("picks")->Arg(100)->Arg(1000)->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
