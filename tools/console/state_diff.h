// What a run changed: a snapshot of the organisation, the registry and the profiles before the
// first step, compared with the state after the last.
#pragma once

#include <map>
#include <string>

#include "sim/org_json.h"

namespace console {

using sim::OrderedJson;

struct Snapshot {
    // Keys sort in the order the changes are reported: mailboxes by index, then the folders and
    // messages by id; registry keys and values by path; profiles by name.
    std::map<std::string, OrderedJson> objects;
    std::size_t delivered = 0;
};

Snapshot TakeSnapshot();

// The changes from before to after, each a JSON object with "change" (created, deleted, changed,
// delivered) and "kind" (folder, message, store, address entry, registry key, registry value,
// profile, mail, setting).
OrderedJson DiffSnapshots(const Snapshot& before, const Snapshot& after);

}  // namespace console
