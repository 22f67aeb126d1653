// The human-readable form of a transcript (the JSON form is the transcript itself).
#pragma once

#include <string>

#include "sim/org_json.h"

namespace console {

std::string FormatTranscript(const sim::OrderedJson& transcript);

// What a change record or a stored object names: "message 7 in Inbox of DN", "profile \"X\"", ...
std::string ChangeSubject(const sim::OrderedJson& change);

}  // namespace console
