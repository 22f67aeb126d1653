// Runs a scenario against the library the way the management console drives it and collects the
// transcript: per step the call, its result and out values, the log read in place, the message
// boxes and MAPI dialogs shown; at the end the changed state and the leak counters.
#pragma once

#include <filesystem>
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

// Resets the simulator and the portable platform, loads the scenario's setup, installs the
// simulated provider, loads the library and runs every step. Throws sim::JsonError for a setup
// that cannot be loaded and LibraryError when the library cannot be.
RunResult RunScenario(const Scenario& scenario, const std::filesystem::path& library,
                      bool dumpState = false);

// Matches an expectation against what happened: every member of an expected object must be
// present and match, arrays element by element with the same length, other values equal. Each
// difference is appended to failures, named by its path.
void MatchPartial(const sim::Json& expected, const OrderedJson& actual, const std::string& path,
                  std::vector<std::string>& failures);

}  // namespace console
