// The expectations that look at a whole list of records rather than one value: the MAPI calls of
// a step or of the run, and the changes between two snapshots of the stored state.
#pragma once

#include <string>
#include <vector>

#include "sim/org_json.h"
#include "tools/console/scenario.h"

namespace console {

// `calls` are the call records as the simulator's control gives them ({method, object, args,
// result}). Failures are named by the expectation's member.
void CheckCalls(const CallExpectations& expect, const sim::OrderedJson& calls,
                std::vector<std::string>& failures);

// `before` and `after` are snapshots (sim/state_diff.h), `changes` their difference.
void CheckChanges(const ChangeExpectations& expect, const sim::OrderedJson& before,
                  const sim::OrderedJson& after, const sim::OrderedJson& changes,
                  std::vector<std::string>& failures);

// A "Choose Folders" view as an expectation may state it: as recorded, and with "controls" keyed by
// control id when the expectation gives them as an object, and "folders": the tree nested, each
// item {text, checked (true, false, or null for an item without check box), children}.
sim::OrderedJson MatchableView(sim::OrderedJson view, const Json& expected);

}  // namespace console
