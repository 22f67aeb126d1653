// The machine side of the simulator when it runs as the MAPI provider DLL on Windows. The
// simulator's setup writes the registry, the environment, the clock and the UI language through
// the portable platform's control functions; here they reach the real registry (only below the
// keys the organisations use, which a reset deletes) and the process environment, and keep the
// clock, the language and the denied keys for the console emulator, which applies them to the
// library it loads.
#pragma once

#include "sim/org_json.h"

namespace sim::win32 {

// {"clock": FILETIME or null, "language": id, "deniedKeys": [{"root", "key"}, ...]}
OrderedJson HostSettings();

}  // namespace sim::win32
