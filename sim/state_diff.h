// What a run changed: a snapshot of the organisation, the registry and the profiles before the
// first step, compared with the state after the last. Snapshots are JSON so that they can cross
// the simulator's control export.
#pragma once

#include "sim/org_json.h"

namespace sim {

// {"objects": {key: state, ...}, "delivered": [mail, ...]}. Object keys sort in the order the
// changes are reported: mailboxes by index, then the folders and messages by id; registry keys
// and values by path; profiles by name.
OrderedJson TakeSnapshot();

// The changes from before to after, each a JSON object with "change" (created, deleted, changed,
// delivered) and "kind" (folder, message, store, address entry, registry key, registry value,
// profile, mail, setting).
OrderedJson DiffSnapshots(const OrderedJson& before, const OrderedJson& after);

}  // namespace sim
