// What a run changed: a snapshot of the organisation, the registry and the profiles before the
// first step, compared with the state after the last. Snapshots are JSON so that they can cross
// the simulator's control export.
#pragma once

#include "sim/org_json.h"

namespace sim {

// {"objects": {key: state, ...}, "delivered": [mail, ...]}. Object keys sort in the order the
// changes are reported: mailboxes by index, then the folders and messages by id; registry keys
// and values by path; profiles by name. Each state is kept as its JSON text (one string instead
// of a tree of values per object, which at 100,000 folders is most of the console's memory);
// StateOf reads one back.
OrderedJson TakeSnapshot();

// An object's state in a snapshot as JSON: its text parsed, or the object itself when the
// snapshot was written with objects as values.
OrderedJson StateOf(const OrderedJson& member);

// The changes from before to after, each a JSON object with "change" (created, deleted, changed,
// delivered) and "kind" (folder, message, store, address entry, registry key, registry value,
// profile, mail, setting).
OrderedJson DiffSnapshots(const OrderedJson& before, const OrderedJson& after);

}  // namespace sim
