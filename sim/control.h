// The simulator's control surface as JSON requests, so that a console in another module (the
// Windows console emulator, which reaches the simulator through the provider DLL's control
// export) and the in-process console use the same calls.
//
// A request is an object with "op"; the reply is an object, {"error": text} when the request
// failed (a setup that cannot be loaded, an unknown op). The ops:
//   reset {clock, language}    Simulator::Reset, the registry, the buffer counters and the
//                              allocation failures; the clock (FILETIME) and UI language.
//   loadSetup {setup, baseDir} LoadSetup; replies {extras: {faults, messageBoxAnswers,
//                              coInitializeResult}, summary: {...}, host: HostSettings()}
//                              (sim/host_settings.h).
//   installProvider            sim::InstallProvider.
//   addFaults {faults}         faults in the scenario format; clearFaults.
//   checkAnswers {address, path}  resolves address-dialog answers without queueing them.
//   queueAnswers {address, service, path}
//                              appends address-dialog (scenario format, resolved against the
//                              organisation) and service-dialog answers; replies the marks.
//   endStep {address, service, addressMark, serviceMark}
//                              the address and service dialogs shown from the marks on, and
//                              drops the step's answers no dialog took (replies notes).
//   allocationFailures {after, count} / clearAllocationFailures
//   recordCalls {on}           Simulator::RecordCalls: whether calls are recorded from now on
//                              or only counted.
//   snapshot                   TakeSnapshot (sim/state_diff.h).
//   dumpState                  DumpState (sim/org_json.h).
//   leaks                      the object, session, buffer and initialisation counters.
#pragma once

#include <string>
#include <string_view>

#include "sim/org_json.h"

namespace sim {

OrderedJson Control(const OrderedJson& request);

// The same as text: what the provider DLL's control export takes and returns.
std::string ControlText(std::string_view request);

}  // namespace sim
