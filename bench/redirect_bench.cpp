// EditFolderRedirectionSettings on a generated mailbox: the folder tree read, the "Choose
// Folders" dialog shown with it, OK pressed and the selection saved as markers. With none marked
// the settings say "Inbox only": the dialog opens in that mode and OK saves no marker, so that
// row is the tree build alone.
#include "bench_support.h"
#include "sim/org_generator.h"

namespace tav::bench {
namespace {

namespace portable = platform::portable;

constexpr char16_t kUserDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
constexpr char16_t kUserName[] = u"John Doe";
constexpr char16_t kStoreName[] = u"Mailbox - John Doe";

void EditRedirection(benchmark::State& state) {
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const auto shape = state.range(1) == 0 ? sim::FolderShape::Wide : sim::FolderShape::Deep;
    const auto marked = static_cast<sim::MarkedShare>(state.range(2));
    ResetWorld();
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    sim::MailboxBuilder& user = builder.Mailbox(kUserDn, kServerDn)
                                    .StandardFolders()
                                    .OwnerDisplayName(kUserName)
                                    .StoreDisplayName(kStoreName);
    sim::GenerateFolders(user, {.count = count, .shape = shape, .marked = marked});
    if (!Require(state, Initialize(), "Initialize failed")) return;
    WideArg name(kUserName), userDn(kUserDn), server(kServerDn);
    auto& simulator = sim::Simulator::Instance();
    for (auto _ : state) {
        state.PauseTiming();
        portable::ResetDialogs();
        simulator.ClearRecords();
        simulator.RecordCalls(false);  // counted only: recording is the simulator's own cost
        ClearLog();
        portable::QueueDialogAction(portable::PressOk());
        state.ResumeTiming();
        bool selected = false, sentItems = false;
        std::int32_t folders = 0, time = 0, activation = 0;
        const Stopwatch watch;
        bool ok = EditFolderRedirectionSettings(name.get(), userDn.get(), server.get(), &selected,
                                                &folders, &time, &activation, &sentItems);
        const double seconds = watch.Seconds();
        if (!Require(state, ok && portable::QueuedDialogActions() == 0,
                     "EditFolderRedirectionSettings did not save"))
            break;
        CountCalls(state, seconds);
        state.counters["selected"] = folders;
    }
    state.SetComplexityN(count);
    ResetWorld();
}
BENCHMARK(EditRedirection)
    ->ArgNames({"folders", "deep", "marked"})
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
