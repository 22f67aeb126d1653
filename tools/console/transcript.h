// The human-readable form of a transcript (the JSON form is the transcript itself).
#pragma once

#include <string>

#include "sim/org_json.h"

namespace console {

std::string FormatTranscript(const sim::OrderedJson& transcript);

}  // namespace console
