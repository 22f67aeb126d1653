// The simulator's control surface: what tests and the console emulator use to set up the
// organisation, script the people in front of MAPI's dialogs, inject faults, and read back the
// calls the library made, the resulting state and the leak counters. The library never includes
// this header.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/model.h"

namespace sim {

// A fault: the named method fails with `result` (or, with `nullOut`, succeeds without handing
// out the object it should, where MAPI allows that). A warning as `result` (a positive code such
// as MAPI_W_ERRORS_RETURNED) lets the call do its work and return the warning instead of S_OK;
// GetProps asked for MAPI_W_ERRORS_RETURNED hands back every value as an error.
struct Fault {
    std::string method;  // "IMAPITable::QueryRows", "IMsgStore::OpenEntry", "MAPILogonEx", ...
    std::int32_t result = 0;
    int nth = 0;         // 0: every matching call; n: only the n-th matching call (from 1)
    std::string object;  // empty: any object; else the label of one object (see ObjectLabel)
    bool nullOut = false;
};

// One argument of a recorded call, kept as the value the call received rather than as text.
// Text() renders it as transcripts and tests read it: flags and tags as 0x%08x, counts in
// decimal, strings as UTF-8, binaries as lower-case hex, tag lists comma-separated, interface ids
// as {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, "null" for a null pointer.
class CallValue {
  public:
    using Iid = std::array<std::uint8_t, 16>;  // an IID as it lies in memory
    CallValue() = default;                      // a null pointer
    static CallValue Hex(std::uint32_t value) { return CallValue(Value(value)); }
    static CallValue Dec(std::int64_t value) { return CallValue(Value(value)); }
    static CallValue Binary(Bytes bytes) { return CallValue(Value(std::move(bytes))); }
    static CallValue Text(std::string utf8) { return CallValue(Value(std::move(utf8))); }
    static CallValue Tags(std::vector<std::uint32_t> tags) { return CallValue(Value(std::move(tags))); }
    static CallValue InterfaceId(const Iid& iid) { return CallValue(Value(iid)); }

    std::string Text() const;

  private:
    using Value = std::variant<std::monostate, std::uint32_t, std::int64_t, Bytes, std::string,
                               std::vector<std::uint32_t>, Iid>;
    explicit CallValue(Value value) : value_(std::move(value)) {}
    Value value_;
};

// A recorded call's arguments by name, in name order; a name given twice keeps the later value.
// Lookups render the value as text (CallValue::Text).
class CallArgList {
  public:
    struct Arg {
        std::string name;
        CallValue value;
    };
    void Set(std::string name, CallValue value);
    // The argument's text; at throws std::out_of_range when there is no such argument, [] answers
    // "" for it.
    std::string at(std::string_view name) const;
    std::string operator[](std::string_view name) const;
    bool contains(std::string_view name) const { return Find(name) != nullptr; }
    std::size_t size() const { return args_.size(); }
    bool empty() const { return args_.empty(); }
    std::vector<Arg>::const_iterator begin() const { return args_.begin(); }
    std::vector<Arg>::const_iterator end() const { return args_.end(); }

  private:
    const Arg* Find(std::string_view name) const;
    std::vector<Arg> args_;
};

// One call into the simulator, recorded while recording is on (Simulator::RecordCalls).
struct CallRecord {
    std::string method;
    std::string object;  // label of the object called, empty for entry points
    CallArgList args;
    std::int32_t result = 0;
};

// The parameters of one IAddrBook::Address call, as the dialog received them.
struct AddressDialogRecord {
    std::uint32_t flags = 0;
    // Caption and titles in UTF-8, read from 8-bit text in the system code page unless the
    // flags carry MAPI_UNICODE or AB_UNICODEUI (then from UTF-16).
    std::string caption;
    std::vector<std::string> destTitles;
    std::uint32_t destFields = 0;
    std::uint32_t destFieldFocus = 0;
    bool hasContainer = false, hasHelpFile = false, hasDismiss = false, hasDestComps = false;
    bool hasRestrictions = false, hasNewEntryTitle = false, hasDestWellsTitle = false;
    std::uintptr_t windowValue = 0;  // *lpulUIParam
    std::int32_t result = 0;
    bool scripted = true;  // false: no scripted answer was left, the user cancelled
};

// The parameters of one ConfigureMsgService call that showed the service's dialog.
struct ServiceDialogRecord {
    std::string profile;
    std::uint32_t flags = 0;
    bool cancelled = false;
    // The call that showed the dialog: ConfigureMsgService, or MAPILogonEx prompting for an
    // unconfigured service.
    std::string method = "IMsgServiceAdmin::ConfigureMsgService";
    std::string server, mailbox;  // what the user filled in (UTF-8), empty when cancelled
    bool scripted = true;         // false: no scripted answer was left, the user cancelled
};

class Simulator {
public:
    static Simulator& Instance();

    // Forgets everything: an empty organisation, no faults, records or scripts; counters zero.
    // Objects still alive from before are reported by the counters until then, and become
    // unusable (their calls fail with MAPI_E_OBJECT_DELETED... never crash).
    void Reset();
    // Frees the objects released since the last Reset, as a provider frees an object at its
    // last Release, and keeps everything else. A later call through a pointer to one of them is
    // then no longer caught; their serials stay taken. For long runs of the same work between
    // resets (the benchmarks), whose zombies would otherwise pile up in the heap run after run.
    void FreeReleased();

    Organisation& Org();

    // Faults.
    void AddFault(Fault fault);
    void ClearFaults();

    // Records. Calls are recorded from a Reset or ClearRecords on until RecordCalls(false);
    // while off, a call is only counted (CallCount counts every call since the last clearing).
    void RecordCalls(bool on);
    bool RecordingCalls() const;
    std::uint64_t CallCount() const;
    // With timing on, the wall time spent inside the simulator's methods and entry points since
    // the last clearing (the provider's own cost of the calls; nested calls count once).
    void TimeProvider(bool on);
    std::uint64_t ProviderNanoseconds() const;
    const std::vector<CallRecord>& Calls() const;
    std::vector<CallRecord> CallsTo(const std::string& method) const;
    const std::vector<AddressDialogRecord>& AddressDialogs() const;
    const std::vector<ServiceDialogRecord>& ServiceDialogs() const;
    void ClearRecords();

    // Accounting. Objects are counted from creation until their last Release; a Release on an
    // object whose count is already zero is counted as a double release, not executed.
    int LiveObjects() const;
    std::vector<std::string> LiveObjectLabels() const;
    int DoubleReleases() const;
    // MAPIInitialize calls that succeeded minus the MAPIUninitialize calls that undid one.
    int MapiInitializeBalance() const;
    // MAPIUninitialize calls made while no MAPIInitialize was left to undo.
    int MapiUninitializeUnmatched() const;
    // Sessions logged on and not released.
    int OpenSessions() const;
    // Labels of the objects released once too often, one per double release.
    std::vector<std::string> DoubleReleaseLabels() const;
    // Calls (AddRef included) made on objects after their last Release; each was refused.
    int CallsOnReleased() const;

    // For the simulated objects themselves: the dialog records and the session counters.
    void RecordAddressDialog(AddressDialogRecord record);
    void RecordServiceDialog(ServiceDialogRecord record);
    void NoteMapiInitialize();
    // Undoes one MAPIInitialize, or counts the call as unmatched when none is left.
    void NoteMapiUninitialize();
    void AdjustOpenSessions(int delta);
};

// Object labels, as CallRecord::object and Fault::object use them:
//   store:<mailbox DN>             IMsgStore
//   xms:<mailbox DN>               IExchangeManageStore obtained from that store
//   folder:<display name>          IMAPIFolder (the root folder of a store: "folder:")
//   hierarchy:<folder name>        hierarchy table of a folder
//   contents:<folder name>         contents table (associated contents: "associated:<name>")
//   message:<message id>           IMessage of a saved message ("message:new" until saved)
//   recipients:<message id>        recipient table of a message
//   stream:<property tag>          IStream on a property, the tag as 0x%08x
// and those of the session side: session:<profile>, msgstores, addrbook, mailuser:<name>,
// distlist:<name>, members:<name>, profadmin, profiles, serviceadmin:<profile>,
// services:<profile> (see sim/session.h).

// Registers the simulator as the MAPI provider of the portable MAPI runtime, so that
// MAPIInitialize, MAPIUninitialize, MAPILogonEx and MAPIAdminProfiles reach it. Idempotent.
void InstallProvider();

}  // namespace sim
