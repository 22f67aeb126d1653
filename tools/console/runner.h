// Runs a scenario against the library the way the management console drives it and collects the
// transcript: per step the call, its result and out values, the log read in place, the message
// boxes and MAPI dialogs shown; at the end the changed state and the leak counters.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sim/org_json.h"
#include "tools/console/scenario.h"

namespace console {

using sim::OrderedJson;

struct RunResult {
    OrderedJson transcript;
    int failedExpectations = 0;
    OrderedJson state;  // the whole simulated state at the end, when asked for
};

// Called around each step of a run, in the console's process: before its answers and faults are
// put in place, and after its record was made (the fault sweep reads the simulator there).
// Without `changes` the transcript has no "changes" and the end's change expectations are not
// checked (the run takes no snapshots of its own).
struct RunHooks {
    std::function<void(const Step&)> beforeStep;
    std::function<void(const Step&, const OrderedJson& record)> afterStep;
    bool changes = true;
};

// Resets the simulator and the portable platform, loads the scenario's setup, installs the
// simulated provider, loads the library and runs every step. Throws sim::JsonError for a setup
// that cannot be loaded and LibraryError when the library cannot be.
RunResult RunScenario(const Scenario& scenario, const std::filesystem::path& library,
                      bool dumpState = false, const RunHooks* hooks = nullptr);

// Matches an expectation against what happened: every member of an expected object must be
// present and match, arrays element by element with the same length, other values equal. Each
// difference is appended to failures, named by its path.
void MatchPartial(const sim::Json& expected, const OrderedJson& actual, const std::string& path,
                  std::vector<std::string>& failures);

}  // namespace console
