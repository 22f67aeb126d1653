// EditFolderRedirectionSettings on a generated mailbox: the folder tree read, the "Choose
// Folders" dialog shown with it, OK pressed and the selection saved as markers. With none marked
// the settings say "Inbox only": the dialog opens in that mode and OK saves no marker, so that
// row is the tree build alone.
#include "bench_support.h"
#include <set>
#include <variant>

#include "sim/org_generator.h"
#include "sim/props.h"

namespace tav::bench {
namespace {

namespace portable = platform::portable;

constexpr char16_t kUserDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
constexpr char16_t kUserName[] = u"John Doe";
constexpr char16_t kStoreName[] = u"Mailbox - John Doe";

// The calls the export makes beyond those it makes on the same mailbox before the folders were
// generated: what the tree walk, the marker reading and the save prescribe for each generated
// folder and marker.
//   - Each folder of a walked level: one CompareEntryIDs with every excluded folder (none of the
//     generated is one), with every unselectable folder, with the Inbox and with Sent Items;
//     when it has subfolders, with both folders not descended into.
//   - Each folder descended into: OpenEntry, GetHierarchyTable, SetColumns, Restrict, and one
//     QueryRows per batch of 1,024 rows and the empty one that ends the level; the IPM subtree's
//     level gains the batches of its generated rows.
//   - Each marker: one QueryRows while reading the markers and one while pruning them (a marker
//     that stays is neither deleted nor written again).
class PrescribedEditCalls {
  public:
    explicit PrescribedEditCalls(const sim::Mailbox& mailbox) : mailbox_(mailbox) {
        const sim::SpecialFolders& special = mailbox.special;
        std::size_t rootExcluded = 0;
        for (std::uint64_t id : {special.calendar, special.contacts, special.journal,
                                 special.notes, special.tasks, special.drafts})
            rootExcluded += id != 0;
        for (std::size_t i = 0; i < special.additional.size() && i < 4; ++i)
            rootExcluded += special.additional[i] != 0;
        excluded_ = rootExcluded + (special.outbox != 0);
        unselectable_ = rootExcluded + (special.outbox != 0) + (special.deletedItems != 0);
        topRowsBefore_ = Subtree().children.size();
    }

    // For the folders `made` (generated after construction) and `markers` markers kept.
    double For(const sim::GeneratedFolders& made) const {
        double calls = static_cast<double>(Batches(Subtree().children.size()) -
                                           Batches(topRowsBefore_));
        for (std::uint64_t id : made.folders) {
            const sim::Folder& folder = *mailbox_.FindFolder(id);
            calls += static_cast<double>(excluded_ + unselectable_ + 2);
            if (folder.children.empty()) continue;
            calls += 2 + 4 + static_cast<double>(Batches(folder.children.size()));
        }
        return calls + 2.0 * static_cast<double>(made.marked.size());
    }

  private:
    static std::size_t Batches(std::size_t rows) { return (rows + 1023) / 1024 + 1; }
    const sim::Folder& Subtree() const { return *mailbox_.FindFolder(mailbox_.special.ipmSubtree); }

    const sim::Mailbox& mailbox_;
    std::size_t excluded_ = 0, unselectable_ = 0, topRowsBefore_ = 0;
};

// Before a run: no dialog state, views left unrecorded, the simulator as ClearSimulatorForRun
// leaves it, the log empty.
void ClearForRun() {
    portable::ResetDialogs();
    portable::RecordDialogViews(false);
    ClearSimulatorForRun();
    ClearLog();
}

// One EditFolderRedirectionSettings for the user, the dialog answered by the actions queued.
struct Edit {
    bool ok = false;
    std::int32_t folders = 0;  // numSelectedFolders as saved
    double seconds = 0;        // inside the export
};

Edit EditOnce() {
    WideArg name(kUserName), userDn(kUserDn), server(kServerDn);
    bool selected = false, sentItems = false;
    std::int32_t time = 0, activation = 0;
    Edit edit;
    const Stopwatch watch;
    edit.ok = EditFolderRedirectionSettings(name.get(), userDn.get(), server.get(), &selected,
                                            &edit.folders, &time, &activation, &sentItems);
    edit.seconds = watch.Seconds();
    return edit;
}

// The calls of one confirmed edit, counted by the simulator; 0 when it failed.
double CallsOfOneEdit() {
    ClearForRun();
    portable::QueueDialogAction(portable::PressOk());
    if (!EditOnce().ok) return 0;
    return static_cast<double>(sim::Simulator::Instance().CallCount());
}

// The user's mailbox with its standard folders and the generated ones.
struct Generated {
    double prescribedCalls = 0;  // for the generated folders and their markers
    sim::GeneratedFolders made;
};

Generated Generate(const sim::FolderGeneration& generation) {
    sim::OrgBuilder builder;
    AdminOrganisation(builder);
    sim::MailboxBuilder& user = builder.Mailbox(kUserDn, kServerDn)
                                    .StandardFolders()
                                    .OwnerDisplayName(kUserName)
                                    .StoreDisplayName(kStoreName);
    const PrescribedEditCalls prescribed(user.Model());
    Generated generated;
    generated.made = sim::GenerateFolders(user, generation);
    generated.prescribedCalls = prescribed.For(generated.made);
    return generated;
}

void EditRedirection(benchmark::State& state) {
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const auto shape = state.range(1) == 0 ? sim::FolderShape::Wide : sim::FolderShape::Deep;
    const auto marked = static_cast<sim::MarkedShare>(state.range(2));
    // The calls that do not grow with the folders, from the same mailbox with ten of them.
    double fixedCalls = 0;
    {
        ResetWorld();
        const Generated small = Generate({.count = 10, .shape = shape, .marked = marked});
        if (!Require(state, Initialize(), "Initialize failed")) return;
        const double made = CallsOfOneEdit();
        if (!Require(state, made > 0, "EditFolderRedirectionSettings failed on ten folders")) return;
        fixedCalls = made - small.prescribedCalls;
    }
    ResetWorld();
    const Generated world = Generate({.count = count, .shape = shape, .marked = marked});
    const double prescribedCalls = fixedCalls + world.prescribedCalls;
    if (!Require(state, Initialize(), "Initialize failed")) return;
    auto okOnce = [] {
        ClearForRun();
        portable::QueueDialogAction(portable::PressOk());
        return EditOnce().ok;
    };
    // One run untimed, so that every timed run finds the settings saved, as the taped run does,
    // and the heap the first run took from the system.
    if (!Require(state, okOnce(), "EditFolderRedirectionSettings did not save")) return;
    double fastest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ClearForRun();
        portable::QueueDialogAction(portable::PressOk());
        state.ResumeTiming();
        const Edit edit = EditOnce();
        if (!Require(state, edit.ok && portable::QueuedDialogActions() == 0,
                     "EditFolderRedirectionSettings did not save"))
            break;
        CountCalls(state, edit.seconds, prescribedCalls);
        state.counters["selected"] = edit.folders;
        if (fastest == 0 || edit.seconds < fastest) fastest = edit.seconds;
    }
    PlayWithoutLibrary(
        state, fastest,
        [&] {
            ResetWorld();
            Generate({.count = count, .shape = shape, .marked = marked});
            return Initialize();
        },
        okOnce, okOnce);
    state.SetComplexityN(count);
    ResetWorld();
}

// The whole tree ticked: the store's root has no box, so the administrator SHIFT-clicks the box
// of every folder directly below it, then presses OK. Each click sets the folder and all of its
// descendants, so the walk over the clicks touches every item once. The wide shape puts half
// the folders at the top level: half as many clicks as folders.
void ShiftTickWholeTree(benchmark::State& state) {
    const auto count = static_cast<std::uint32_t>(state.range(0));
    const auto shape = state.range(1) == 0 ? sim::FolderShape::Wide : sim::FolderShape::Deep;
    // A tenth marked: with none the settings say "Inbox only" and the tree takes no clicks. A
    // SHIFT click on a ticked folder unticks its subtree, so a marked one is clicked twice. The
    // mailbox is made again for every run: the run before saved the whole tree as selected.
    auto prepare = [&](std::vector<std::u16string>& clicks) {
        ResetWorld();
        const Generated world =
            Generate({.count = count, .shape = shape, .marked = sim::MarkedShare::Tenth});
        const sim::Mailbox& mailbox = *sim::Simulator::Instance().Org().mailboxes.back();
        const std::set<std::uint64_t> marked(world.made.marked.begin(), world.made.marked.end());
        clicks.clear();
        for (const auto& folder : mailbox.FindFolder(mailbox.special.ipmSubtree)->children) {
            const sim::PropValue* text = sim::FindProp(folder->props, mapi::PR_DISPLAY_NAME_W);
            if (!text || !std::holds_alternative<std::u16string>(*text)) continue;
            const std::u16string path =
                std::u16string(kStoreName) + u"/" + std::get<std::u16string>(*text);
            clicks.push_back(path);
            if (marked.count(folder->id)) clicks.push_back(path);
        }
        return Initialize();
    };
    std::vector<std::u16string> clicks;
    auto tickAll = [&] {
        ClearForRun();
        for (const std::u16string& path : clicks)
            portable::QueueDialogAction(portable::ClickItemImage(path, true));
        portable::QueueDialogAction(portable::PressOk());
    };
    double fastest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!Require(state, prepare(clicks), "Initialize failed")) break;
        tickAll();
        state.ResumeTiming();
        const Edit edit = EditOnce();
        if (!Require(state, edit.ok && portable::QueuedDialogActions() == 0 &&
                                static_cast<std::uint32_t>(edit.folders) > count,
                     "the whole tree was not saved as selected"))
            break;
        CountCalls(state, edit.seconds);
        state.counters["clicks"] = static_cast<double>(clicks.size());
        state.counters["selected"] = edit.folders;
        if (fastest == 0 || edit.seconds < fastest) fastest = edit.seconds;
    }
    PlayWithoutLibrary(
        // Every timed run has a world of its own: nothing to warm.
        state, fastest, [&] { return prepare(clicks); }, [] { return true; },
        [&] {
            tickAll();
            return EditOnce().ok;
        });
    state.SetComplexityN(count);
    ResetWorld();
}
BENCHMARK(ShiftTickWholeTree)
    ->ArgNames({"folders", "deep"})
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(EditRedirection)
    ->ArgNames({"folders", "deep", "marked"})
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
