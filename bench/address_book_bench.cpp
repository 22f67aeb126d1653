// GetABItemList with the person at the address book picking many mailboxes at once.
#include <vector>

#include "addrbook/ab_item.h"
#include "bench_support.h"

namespace tav::bench {
namespace {

void PickEntries(benchmark::State& state) {
    const auto picks = static_cast<std::uint32_t>(state.range(0));
    ResetWorld();
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    std::vector<std::uint32_t> picked;
    for (std::uint32_t i = 0; i < picks; ++i) {
        std::u16string name = u"user" + Number(i);
        picked.push_back(builder.User(u"User " + Number(i), kRecipients + name)
                             .HomeMdb(sim::OrgBuilder::HomeMdbOf(kServerDn))
                             .Smtp(name + u"@example.com")
                             .Index());
    }
    if (!Require(state, Initialize(), "Initialize failed")) return;
    auto& simulator = sim::Simulator::Instance();
    for (auto _ : state) {
        state.PauseTiming();
        simulator.Org().addressDialogAnswers = {
            {sim::AddressDialogAnswer::Action::Pick, picked, 0}};
        simulator.ClearRecords();
        simulator.RecordCalls(false);  // counted only: recording is the simulator's own cost
        ClearLog();
        state.ResumeTiming();
        ABItemList* list = nullptr;
        const Stopwatch watch;
        bool ok = GetABItemList(&list, 1);
        const double seconds = watch.Seconds();
        std::size_t items = list ? static_cast<std::size_t>(list->last - list->first) : 0;
        FreeABItemList(&list);
        if (!Require(state, ok && items == picks, "GetABItemList did not return every pick"))
            break;
        // The dialog's Address, then per picked entry OpenEntry, PrepareRecips and GetProps.
        CountCalls(state, seconds, 1.0 + 3.0 * picks);
    }
    state.SetComplexityN(state.range(0));
    ResetWorld();
}
BENCHMARK(PickEntries)->ArgName("picks")->Arg(100)->Arg(1000)->Arg(10000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
