// tav-fault-sweep: runs each scenario once as written, records the MAPI calls and the MAPI buffer
// allocations of every step, then runs it again once per recorded call and failure code with
// that one call failing, and once per allocation with that allocation failing. After every run
// it checks what the library left behind and whether a step reported success for work the
// failure stopped (docs/reliability.md gives the rules).
//
//   tav-fault-sweep [--library PATH] [--every N] [--all] [--shard I/N] [--sites FILE] [--list]
//                   [--quiet] SCENARIO...
//
// --shard I/N runs the I-th of N shares of each scenario's faults (0 <= I < N; the unfaulted
// runs are made by every share), so that N processes share the sweep evenly; --sites FILE
// writes the call sites swept, one a line.
// --every N sweeps only every N-th fault of each scenario (the valgrind sample); --all sweeps
// every call with every code and every allocation instead of the bounded set (see FaultsOf);
// --list prints the faults after the unfaulted runs instead of running them. Exit code 0: no
// run broke a rule; 1: some did (each is printed); 2: a scenario could not be run.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/control.h"
#include "sim/state_diff.h"
#include "tools/console/library.h"
#include "tools/console/runner.h"
#include "tools/console/scenario.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

using console::OrderedJson;

struct Code {
    const char* name;
    mapi::HRESULT result;
    bool nullOut;
};

// What every call is failed with, and the two codes that only some calls may answer.
const Code kFailures[] = {
    {"MAPI_E_CALL_FAILED", mapi::MAPI_E_CALL_FAILED, false},
    {"MAPI_E_NO_ACCESS", mapi::MAPI_E_NO_ACCESS, false},
    {"MAPI_E_NOT_FOUND", mapi::MAPI_E_NOT_FOUND, false},
    {"MAPI_E_NOT_ENOUGH_MEMORY", mapi::MAPI_E_NOT_ENOUGH_MEMORY, false},
};
const Code kNullOut = {"nullOut", mapi::S_OK, true};
const Code kErrorsReturned = {"MAPI_W_ERRORS_RETURNED", mapi::MAPI_W_ERRORS_RETURNED, false};

// Methods that hand out an object (or a row set) through an out-parameter: MAPI's contract lets
// a success come back without it only as a provider fault, which is what nullOut plays.
const std::set<std::string> kOutObjectMethods = {
    "QueryInterface",
    "OpenEntry",
    "OpenMsgStore",
    "OpenAddressBook",
    "GetHierarchyTable",
    "GetContentsTable",
    "GetMsgStoresTable",
    "GetRecipientTable",
    "GetAttachmentTable",
    "OpenProperty",
    "CreateMessage",
    "CreateFolder",
    "AdminServices",
    "GetMsgServiceTable",
    "GetProfileTable",
    "QueryRows",
    "Clone",
    "MAPILogonEx",
    "MAPIAdminProfiles",
    "GetProviderTable",
};

// Methods whose reference pages list MAPI_W_ERRORS_RETURNED among their results.
const std::set<std::string> kWarningMethods = {
    "GetProps", "GetIDsFromNames", "GetNamesFromIDs", "OpenMsgStore", "OpenAddressBook",
};

std::string MethodName(const std::string& method) {
    const auto colons = method.rfind("::");
    return colons == std::string::npos ? method : method.substr(colons + 2);
}

std::string ObjectKind(const std::string& label) {
    return label.substr(0, label.find(':'));
}

// One fault of the sweep: a call of a step (by method, object and rank among the step's calls
// of that method on that object) with a code, or the n-th buffer allocation of a step.
struct Fault {
    std::size_t step = 0;
    std::string method, object;
    int nth = 0;
    Code code{};
    std::optional<std::size_t> allocation;

    std::string Describe(const console::Scenario& scenario) const {
        const console::Step& s = scenario.steps[step];
        std::string text = "step " + std::to_string(s.number) + " " + s.exportSpec->name + ": ";
        if (allocation) return text + "allocation " + std::to_string(*allocation + 1) + " fails";
        return text + method + (object.empty() ? "" : " on " + object) + " #" +
               std::to_string(nth) + " -> " + code.name;
    }
};

// What a step did: its result, out values, log and the stored state after it.
struct StepOutcome {
    OrderedJson result, out, log;
    OrderedJson state;
    std::size_t allocations = 0;
    OrderedJson calls = OrderedJson::array();
};

std::size_t AllocationCount() {
    return mapi::portable::GetBufferStats().TotalAllocations();
}

// Runs the scenario; takes the stored state after a step that returned true: after every such
// step when snapshotStep is SIZE_MAX, else after that one only.
std::vector<StepOutcome> Run(const console::Scenario& scenario,
                             const std::filesystem::path& library, std::size_t snapshotStep,
                             std::vector<std::string>& broken) {
    std::vector<StepOutcome> outcomes(scenario.steps.size());
    std::size_t index = 0, allocationsBefore = 0;
    console::RunHooks hooks;
    hooks.changes = false;
    hooks.beforeStep = [&](const console::Step&) { allocationsBefore = AllocationCount(); };
    hooks.afterStep = [&](const console::Step&, const OrderedJson& record) {
        outcomes[index].allocations = AllocationCount() - allocationsBefore;
        const bool succeeded = record.value("result", OrderedJson()) == OrderedJson(true);
        if (succeeded && (snapshotStep == index || snapshotStep == SIZE_MAX))
            outcomes[index].state = sim::TakeSnapshot();
        ++index;
    };
    console::RunResult result = console::RunScenario(scenario, library, false, &hooks);
    const OrderedJson& steps = result.transcript["steps"];
    for (std::size_t i = 0; i < steps.size() && i < outcomes.size(); ++i) {
        outcomes[i].result = steps[i].value("result", OrderedJson());
        outcomes[i].out = steps[i].value("out", OrderedJson());
        outcomes[i].log = steps[i].value("log", OrderedJson());
        outcomes[i].calls = steps[i].value("calls", OrderedJson::array());
    }

    // What the run left behind, after the console handed everything back.
    const OrderedJson leaks = sim::Control({{"op", "leaks"}});
    const auto counter = [&](const char* name) { return leaks[name].get<long long>(); };
    const std::pair<const char*, long long> rules[] = {
        {"live MAPI objects", counter("liveObjects")},
        {"open sessions", counter("openSessions")},
        {"double releases", counter("doubleReleases")},
        {"calls on released objects", counter("callsOnReleased")},
        {"MAPI buffers left", counter("mapiBuffers") + counter("mapiLinkedBlocks")},
        {"bad MAPIFreeBuffer calls", counter("mapiBadFrees")},
        {"bad MAPIAllocateMore parents", counter("mapiBadParents")},
        {"MAPIInitialize without MAPIUninitialize", counter("mapiInitializeBalance")},
        {"MAPIUninitialize without MAPIInitialize", counter("mapiUninitializeUnmatched")},
        {"CoInitialize without CoUninitialize", platform::portable::ComInitializeBalance()},
        {"registry handles open",
         static_cast<long long>(platform::portable::OpenRegistryHandleCount())},
    };
    for (const auto& [what, count] : rules)
        if (count) broken.push_back(what + std::string(": ") + std::to_string(count));
    if (counter("liveObjects")) broken.push_back("live: " + leaks["liveObjectLabels"].dump());
    if (counter("doubleReleases"))
        broken.push_back("released twice: " + leaks["doubleReleaseLabels"].dump());
    return outcomes;
}

// The faults of one scenario, from its unfaulted run. A call site is a method on a kind of
// object (the label up to its ":") in one step. Bounded (the default): the first call at each
// site gets every code that applies to it, the last call at a site with more than one gets
// MAPI_E_CALL_FAILED, and a step's allocations fail one at a time, at most kAllocationsPerStep
// of them evenly spread from the first to the last. With `all`, every call gets every code and
// every allocation fails once.
constexpr std::size_t kAllocationsPerStep = 8;

std::vector<Fault> FaultsOf(const console::Scenario& scenario,
                            const std::vector<StepOutcome>& baseline, bool all) {
    std::vector<Fault> faults;
    const auto addCodes = [&](Fault fault, bool every) {
        const std::string name = MethodName(fault.method);
        for (const Code& code : kFailures) {
            fault.code = code;
            faults.push_back(fault);
            if (!every) return;
        }
        if (kOutObjectMethods.count(name)) {
            fault.code = kNullOut;
            faults.push_back(fault);
        }
        if (kWarningMethods.count(name)) {
            fault.code = kErrorsReturned;
            faults.push_back(fault);
        }
    };
    for (std::size_t s = 0; s < baseline.size(); ++s) {
        std::map<std::pair<std::string, std::string>, int> rank;
        // Per site, its calls in order.
        std::map<std::pair<std::string, std::string>, std::vector<Fault>> sites;
        std::vector<std::pair<std::string, std::string>> order;
        for (const OrderedJson& call : baseline[s].calls) {
            Fault fault;
            fault.step = s;
            fault.method = call["method"].get<std::string>();
            fault.object = call.value("object", "");
            fault.nth = ++rank[{fault.method, fault.object}];
            if (all) {
                addCodes(fault, true);
                continue;
            }
            const std::pair<std::string, std::string> site{fault.method, ObjectKind(fault.object)};
            if (!sites.count(site)) order.push_back(site);
            sites[site].push_back(fault);
        }
        for (const auto& site : order) {
            const std::vector<Fault>& calls = sites[site];
            addCodes(calls.front(), true);
            if (calls.size() > 1) addCodes(calls.back(), false);
        }
        // A step that injects allocation failures itself keeps its own.
        if (scenario.steps[s].allocationFailures) continue;
        const std::size_t count = baseline[s].allocations;
        const std::size_t swept = all ? count : std::min(count, kAllocationsPerStep);
        for (std::size_t i = 0; i < swept; ++i) {
            Fault fault;
            fault.step = s;
            fault.allocation = swept == count ? i : i * (count - 1) / (swept - 1);
            faults.push_back(fault);
        }
    }
    return faults;
}

console::Scenario WithFault(const console::Scenario& scenario, const Fault& fault) {
    console::Scenario faulted = scenario;
    console::Step& step = faulted.steps[fault.step];
    if (fault.allocation) {
        step.allocationFailures =
            console::AllocationFailures{static_cast<std::uint32_t>(*fault.allocation), 1};
    } else {
        sim::FaultSpec stepFault;
        stepFault.fault.method = fault.method;
        stepFault.fault.object = fault.object;
        stepFault.fault.nth = fault.nth;
        stepFault.fault.result = fault.code.result;
        stepFault.fault.nullOut = fault.code.nullOut;
        stepFault.persistent = false;
        step.faults.push_back(stepFault);
    }
    return faulted;
}

// The call the fault was meant for, as the faulted run recorded it; null when the run never got
// there.
const OrderedJson* FaultedCall(const Fault& fault, const StepOutcome& outcome) {
    int rank = 0;
    for (const OrderedJson& call : outcome.calls) {
        if (call["method"] == fault.method && call.value("object", "") == fault.object &&
            ++rank == fault.nth)
            return &call;
    }
    return nullptr;
}

// Whether the failure was one that stops the call's work (a warning does not).
bool Stopping(const Fault& fault) {
    return fault.allocation || fault.code.nullOut || mapi::FAILED(fault.code.result);
}

// A step the unfaulted run saw succeed, hit by a stopping failure, either fails and says why in
// its log, or returns true having done what the unfaulted step did (the same out values and the
// same stored state), or returns true with a failure line in its log that the unfaulted run did
// not write: the failures the library deliberately tolerates (an address-book entry skipped,
// a statistics record left behind, a folder shown without children) are all logged. So a step
// that returns true with a different outcome and the unfaulted run's log swallowed the failure.
// MAPI_E_NOT_FOUND is exempt from that last rule: it is how MAPI reports an absent object or
// property, and absence is a normal, silent case for several exports (no configuration folder,
// no SERVICE_NAME).
//
// One export does silent work by design: the "Choose Folders" dialog of
// EditFolderRedirectionSettings builds its folder tree and rewrites the folder markers without
// logging or reporting a failure (a folder whose children cannot be read shows without them, a
// marker that cannot be created leaves its folder unselected, a failed save keeps what it had
// not yet replaced). Its true result may therefore differ from the unfaulted run in the marker
// folder "TavrelHandheldInfo/TavrelSynch"; a difference anywhere else (the configuration
// message's settings included) or in its out values is still a silent success.
struct Tolerance {
    const char* exportName;
    const char* folderPrefix;  // changes in the folders below this path are tolerated
    bool outValues;            // the out values may differ
};
const Tolerance kTolerated[] = {
    {"EditFolderRedirectionSettings", "TavrelHandheldInfo/TavrelSynch", false},
};

bool Tolerated(const OrderedJson& change, const Tolerance* tolerance) {
    if (!tolerance) return false;
    for (const char* field : {"folder", "path"}) {
        if (change.contains(field))
            return change[field].get<std::string>().rfind(tolerance->folderPrefix, 0) == 0;
    }
    return false;
}

void CheckOutcome(const Fault& fault, const std::string& exportName, const StepOutcome& base,
                  const StepOutcome& faulted, std::vector<std::string>& broken) {
    if (!Stopping(fault) || base.result != OrderedJson(true)) return;
    if (faulted.result != OrderedJson(true)) {
        if (faulted.log.is_array() && faulted.log.empty())
            broken.push_back("failed without a log line");
        return;
    }
    if (faulted.log != base.log) return;
    if (!fault.allocation && fault.code.result == mapi::MAPI_E_NOT_FOUND) return;
    const Tolerance* tolerance = nullptr;
    for (const Tolerance& t : kTolerated)
        if (exportName == t.exportName) tolerance = &t;
    OrderedJson changes = OrderedJson::array();
    for (const OrderedJson& change : sim::DiffSnapshots(base.state, faulted.state))
        if (!Tolerated(change, tolerance)) changes.push_back(change);
    if (!changes.empty())
        broken.push_back(
            "reported success with an unchanged log, but the stored state differs "
            "from the unfaulted run: " +
            changes.dump());
    if (faulted.out != base.out && !(tolerance && tolerance->outValues))
        broken.push_back("reported success with an unchanged log, but handed out " +
                         faulted.out.dump() + " instead of " + base.out.dump());
}

std::string g_current;  // the run in progress, for a sanitizer's report

void OnDeath() {
    std::fprintf(stderr, "fault sweep: the run that died: %s\n", g_current.c_str());
}

}  // namespace

int main(int argc, char** argv) {
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(OnDeath);
#else
    (void)OnDeath;
#endif
    std::filesystem::path library = console::DefaultLibraryPath();
    std::vector<std::filesystem::path> files;
    std::size_t every = 1;
    bool quiet = false, list = false, all = false;
    std::size_t shard = 0, shards = 1;
    std::string sitesFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" && i + 1 < argc) {
            library = argv[++i];
        } else if (arg == "--every" && i + 1 < argc) {
            every = std::max<std::size_t>(1, std::stoul(argv[++i]));
        } else if (arg == "--shard" && i + 1 < argc) {
            const std::string value = argv[++i];
            const auto slash = value.find('/');
            shard = std::stoul(value.substr(0, slash));
            shards = slash == std::string::npos ? 1 : std::stoul(value.substr(slash + 1));
            if (shards == 0 || shard >= shards) return std::fprintf(stderr, "bad --shard\n"), 2;
        } else if (arg == "--sites" && i + 1 < argc) {
            sitesFile = argv[++i];
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--list") {
            list = true;
        } else if (arg == "--all") {
            all = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(
                stderr,
                "usage: tav-fault-sweep [--library PATH] [--every N] [--all] [--shard I/N] "
                "[--sites FILE] [--list] [--quiet] SCENARIO...\n");
            return 2;
        } else {
            files.push_back(arg);
        }
    }

    std::size_t calls = 0, runs = 0, failedRuns = 0, allocations = 0, notReached = 0;
    std::set<std::string> sites;
    std::map<std::string, std::size_t> perCode;
    for (const std::filesystem::path& file : files) {
        console::Scenario scenario;
        std::vector<StepOutcome> baseline;
        try {
            scenario = console::LoadScenario(file);
            scenario.recordCalls = true;
            scenario.expectAtEnd = {};
            for (console::Step& step : scenario.steps) {
                step.readLog = true;
                step.expect = {};
            }
            g_current = file.string() + ", unfaulted";
            std::vector<std::string> broken;
            baseline = Run(scenario, library, SIZE_MAX, broken);
            ++runs;
            for (const std::string& rule : broken)
                std::printf("%s: unfaulted run: %s\n", file.filename().c_str(), rule.c_str());
            if (!broken.empty()) ++failedRuns;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: cannot be run: %s\n", file.string().c_str(), error.what());
            return 2;
        }

        const std::vector<Fault> faults = FaultsOf(scenario, baseline, all);
        std::size_t scenarioRuns = 0, scenarioFailed = 0;
        if (list) {
            for (const Fault& fault : faults)
                std::printf("%s: %s\n", file.filename().c_str(), fault.Describe(scenario).c_str());
            continue;
        }
        for (std::size_t k = shard * every; k < faults.size(); k += every * shards) {
            const Fault& fault = faults[k];
            const std::string what = fault.Describe(scenario);
            g_current = file.string() + ", " + what;
            std::vector<std::string> broken;
            console::Scenario faulted = WithFault(scenario, fault);
            // Only the faulted step's calls are needed, to see that the fault was reached.
            faulted.recordCalls = false;
            faulted.steps[fault.step].recordCalls = true;
            const std::vector<StepOutcome> outcome = Run(faulted, library, fault.step, broken);
            ++runs;
            ++scenarioRuns;
            if (fault.allocation) {
                ++allocations;
            } else {
                ++calls;
                ++perCode[fault.code.name];
                sites.insert(fault.method + " on " + ObjectKind(fault.object) + " in step " +
                             std::to_string(fault.step + 1) + " of " + file.filename().string());
                const OrderedJson* call = FaultedCall(fault, outcome[fault.step]);
                if (!call) {
                    ++notReached;
                    broken.push_back("the call was not reached");
                }
            }
            CheckOutcome(fault, scenario.steps[fault.step].exportSpec->name, baseline[fault.step],
                         outcome[fault.step], broken);
            if (broken.empty()) continue;
            ++failedRuns;
            ++scenarioFailed;
            for (const std::string& rule : broken)
                std::printf("%s: %s: %s\n", file.filename().c_str(), what.c_str(), rule.c_str());
        }
        if (!quiet)
            std::printf("%s: %zu steps, %zu faults, %zu runs, %zu broke a rule\n",
                        file.filename().c_str(), scenario.steps.size(), faults.size(), scenarioRuns,
                        scenarioFailed);
        std::fflush(stdout);
    }

    std::printf(
        "fault sweep: %zu scenarios, %zu call sites (method, object kind, step), "
        "%zu faulted calls (",
        files.size(), sites.size(), calls);
    bool first = true;
    for (const auto& [code, count] : perCode) {
        std::printf("%s%s %zu", first ? "" : ", ", code.c_str(), count);
        first = false;
    }
    std::printf(
        "), %zu failed allocations, %zu runs, %zu runs broke a rule (%zu faults not "
        "reached)\n",
        allocations, runs, failedRuns, notReached);
    if (!sitesFile.empty()) {
        std::FILE* out = std::fopen(sitesFile.c_str(), "w");
        if (!out) return std::fprintf(stderr, "cannot write %s\n", sitesFile.c_str()), 2;
        for (const std::string& site : sites) std::fprintf(out, "%s\n", site.c_str());
        std::fclose(out);
    }
    return failedRuns ? 1 : 0;
}
