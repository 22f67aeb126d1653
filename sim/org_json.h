// The JSON form of a whole setup (registry, environment, language, clock, MAPI profiles, the
// organisation, scripted answers and faults) and of the state after a run. docs/organisation.md
// describes the format; LoadSetup reads it into the simulator and the portable platform, the Dump
// functions write the same format back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim/model.h"
#include "sim/simulator.h"

namespace sim {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// An empty ordered object with room for `members` members, and a member added to one without
// the search for an existing key that operator[] makes (the caller knows the key is new). Adding
// a member to a full ordered object copies every member it holds, values and all: their keys are
// const, so they are not moved.
OrderedJson ObjectWithRoom(std::size_t members);
void AppendMember(OrderedJson& object, std::string key, OrderedJson value);

// A setup or scenario that cannot be read. The message starts with the place of the fault, as a
// path into the document ("organisation.mailboxes[2].folders[0]: ...").
class JsonError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads and parses a JSON file; syntax errors name the file and the byte offset.
Json ReadJsonFile(const std::filesystem::path& path);

// Limits that keep a malformed setup or scenario from exhausting the stack: how deep a JSON file's
// arrays and objects may nest, and how many levels of folders a store may have below its root.
constexpr int kMaxJsonDepth = 128;
constexpr int kMaxFolderDepth = 48;

// Walks one JSON object and refuses members nobody asked for, so that a misspelt key is an error
// rather than silently ignored.
class ObjectReader {
  public:
    ObjectReader(const Json& object, std::string path);
    // Throws unless every member was asked for (with Has, Get or Optional).
    void Finish() const;

    const std::string& Path() const { return path_; }
    std::string PathOf(std::string_view key) const;
    bool Has(std::string_view key);
    // The member; throws when it is missing.
    const Json& Get(std::string_view key);
    const Json* Optional(std::string_view key);

    std::string String(std::string_view key);
    std::optional<std::string> OptionalString(std::string_view key);
    bool Bool(std::string_view key, bool fallback);
    std::int64_t Integer(std::string_view key, std::int64_t low, std::int64_t high);
    std::optional<std::int64_t> OptionalInteger(std::string_view key, std::int64_t low,
                                                std::int64_t high);

    [[noreturn]] void Fail(std::string_view key, std::string_view message) const;

  private:
    const Json& object_;
    std::string path_;
    std::set<std::string, std::less<>> used_;
};

[[noreturn]] void ThrowAt(const std::string& path, std::string_view message);
std::string IndexPath(const std::string& path, std::size_t index);

// ---- Values shared by setups and scenarios ----

// A result code: a number, "0x8004010F", or a name such as "MAPI_E_NOT_FOUND", "E_FAIL", "S_OK".
std::int32_t ParseResultCode(const Json& value, const std::string& path);
// "MAPI_E_NOT_FOUND" for a known code, else "0x%08x".
std::string ResultCodeName(std::int32_t code);
// A message-box button: 1..7 or "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No".
int ParseMessageBoxButton(const Json& value, const std::string& path);
std::string MessageBoxButtonName(int button);
// An unsigned 32-bit number or a "0x..." string.
std::uint32_t ParseUnsigned(const Json& value, const std::string& path);

// ISO-8601 UTC ("2024-03-01T09:30:00Z", optionally with up to seven fraction digits) to FILETIME
// and back. Years 1601 to 9999 are accepted.
std::uint64_t ParseIsoTime(std::string_view text, const std::string& path);
std::string FormatIsoTime(std::uint64_t fileTime);
// Seconds since 1970 as ISO-8601 UTC.
std::string FormatUnixTime(std::int64_t seconds);

std::string ToHex(const Bytes& bytes);
Bytes ParseHex(std::string_view text, const std::string& path);

// A property tag: a known name ("PR_SUBJECT_W", "SERVICE_NAME") or "0x0037001F".
std::uint32_t ParsePropertyTag(std::string_view text, const std::string& path);
// The name of a known tag, else "0x%08X".
std::string PropertyTagName(std::uint32_t tag);
// The name of a known tag, else null.
const char* KnownPropertyTagName(std::uint32_t tag);
// A value of the type the tag names, from its JSON form (see docs/organisation.md).
PropValue ParsePropValue(std::uint32_t tag, const Json& value, const std::string& path);
OrderedJson DumpPropValue(std::uint32_t tag, const PropValue& value);
// The same value as JSON text, and a string as JSON text, appended as OrderedJson::dump() writes
// them (UTF-8 kept, quotes, backslashes and control characters escaped), for dumps too large to
// build as JSON values first.
void AppendDumpedValue(std::string& out, const PropValue& value);
void AppendJsonString(std::string& out, std::string_view text);

// Address-book entries named as picks and members name them: by display name (exactly), else by
// e-mail address (the DN of an Exchange entry; ASCII case ignored). The index is made on the
// first lookup; the address book must not change while it is used.
class EntryNames {
  public:
    explicit EntryNames(const Organisation& org) : org_(org) {}
    // The entry's index; throws JsonError at path when no entry or more than one goes by it.
    std::uint32_t Resolve(const Json& value, const std::string& path);

  private:
    const Organisation& org_;
    bool indexed_ = false;
    std::unordered_map<std::u16string, std::vector<std::uint32_t>> byName_, byAddress_;
};

// Scripted answers and faults in their JSON form; address-dialog picks name entries of the
// organisation (see EntryNames).
AddressDialogAnswer ParseAddressDialogAnswer(const Json& value, EntryNames& names,
                                             const std::string& path);
AddressDialogAnswer ParseAddressDialogAnswer(const Json& value, const Organisation& org,
                                             const std::string& path);
ServiceDialogAnswer ParseServiceDialogAnswer(const Json& value, const std::string& path);
struct FaultSpec {
    Fault fault;
    bool persistent = true;
};
FaultSpec ParseFault(const Json& value, const std::string& path);
OrderedJson DumpFault(const Fault& fault);

// ---- Setups ----

// What a setup asks of the run besides the state it builds.
struct SetupExtras {
    std::vector<FaultSpec> faults;       // installed for the whole run
    std::vector<int> messageBoxAnswers;  // queued before the first step
    std::optional<std::int32_t> coInitializeResult;
};

// Adds a setup to the current state of the simulator and the portable platform (the caller
// resets both first). "include" members are loaded first, relative to baseDir. Throws JsonError.
SetupExtras LoadSetup(const Json& setup, const std::filesystem::path& baseDir);

// ---- Dumps, in the format LoadSetup reads ----

OrderedJson DumpOrganisation(const Organisation& org);
OrderedJson DumpMailbox(const Mailbox& mailbox);
// The store's name map as DumpMailbox writes it under "namedProperties".
OrderedJson DumpNamedProperties(const Mailbox& mailbox);
OrderedJson DumpAddressEntry(const AddressEntry& entry, const Organisation& org);
OrderedJson DumpProfiles(const Organisation& org);
OrderedJson DumpDelivered(const Organisation& org);
// Every key and value of both registry roots.
OrderedJson DumpRegistry();
// The whole state: registry, profiles, organisation, delivered mail.
OrderedJson DumpState();

// The properties of a message, folder or store as a JSON object keyed by tag name; named
// properties (ids from 0x8000 up that the mailbox's name map knows) go to `named`.
struct DumpedProps {
    OrderedJson props = OrderedJson::object();
    OrderedJson named = OrderedJson::array();
};
DumpedProps DumpProperties(const PropMap& props, const Mailbox* mailbox);
// The mailbox's name of a tag (its id from 0x8000 up); null for any other tag.
const NamedProperty* PropertyNameOf(const Mailbox& mailbox, std::uint32_t tag);
// A named property as one key: "<set>:<name>", or "<set>:#<id>" for a numeric name.
std::string NamedPropertyKey(const NamedProperty& name);

// Named properties: the set as a name ("PS_PUBLIC_STRINGS", "PS_MAPI") or "{GUID}", and the
// 16 bytes of a GUID as they lie in memory.
Bytes ParsePropertySet(std::string_view text, const std::string& path);
std::string PropertySetName(const Bytes& guid);
// A name given as ASCII text read by MAPI as UTF-16: the bytes taken two at a time as
// little-endian units, ended by the zero byte of the terminator when the length is odd.
std::u16string PackAsciiName(std::string_view ascii);
// The ASCII text of a packed name, or nullopt when the units are not of that form.
std::optional<std::string> UnpackAsciiName(std::u16string_view name);

}  // namespace sim
