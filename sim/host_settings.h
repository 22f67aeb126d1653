// What a loaded setup fixed on the machine's side that the console must apply to the library
// itself: on Linux nothing (the library reads the same portable platform the setup wrote); on
// Windows the clock, the UI language and the denied registry keys (sim/win32/host_platform.cpp).
#pragma once

#include "sim/org_json.h"

namespace sim {

// {"clock": FILETIME or null, "language": id, "deniedKeys": [{"root", "key"}, ...]}, or {}.
OrderedJson HostSettings();

}  // namespace sim
