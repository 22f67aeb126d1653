// A scenario as the console emulator runs it: a setup and a list of steps, each one export call
// with its arguments, the answers of the person at the screen, faults and expectations.
// docs/scenarios.md describes the JSON form.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/portable_dialog.h"
#include "sim/org_json.h"

namespace console {

using sim::Json;

enum class ArgKind {
    Text,      // a wide string, passed as a slot
    TextList,  // a list of wide strings; null passes a container without sentinel
    UInt,      // unsigned 32-bit
    Int,       // signed 32-bit in/out (a time may be given as ISO-8601)
    Bool,      // one-byte bool in/out
    ItemVar,   // the name of the console's ABItem pointer; null passes no pointer at all
    ListVar,   // the name of the console's ABItemList pointer; null passes no pointer at all
    Buffer,    // an out buffer of "capacity" characters; only null may be given (no buffer)
    LogOut,    // the out pointer of GetDebugLogInfo; only null may be given (no pointer)
};

struct ArgSpec {
    const char* name;
    ArgKind kind;
    bool required;
    std::int64_t max = std::numeric_limits<std::uint32_t>::max();  // UInt only
};

// The largest buffer the console hands to the library, in characters.
constexpr std::int64_t kMaxBufferCapacity = 65536;

struct ExportSpec {
    const char* name;
    std::vector<ArgSpec> args;
};

// The fourteen exports in the order of the export list.
const std::vector<ExportSpec>& Exports();
const ExportSpec* FindExport(std::string_view name);

struct ArgValue {
    std::string name;
    ArgKind kind = ArgKind::Text;
    bool isNull = false;
    std::string text;               // Text, ItemVar, ListVar
    std::vector<std::string> list;  // TextList
    std::int64_t number = 0;        // UInt, Int
    bool flag = false;              // Bool
};

// What the MAPI calls of a step (or, at the end, of the whole run) must be. Call records are
// partial objects over {method, object, args, result}; results are normalised to their names.
struct CallExpectations {
    std::optional<Json> calls;         // exactly these calls, in order
    std::optional<Json> callsInclude;  // these calls in this order, others between them
    std::optional<Json> callCounts;    // {method: number of calls}
    std::vector<Json> notCalled;       // no call matches any of these
    bool Empty() const { return !calls && !callsInclude && !callCounts && notCalled.empty(); }
};

// What must have changed in the organisation, the registry and the profiles, and what not.
struct ChangeExpectations {
    std::optional<Json> changes;  // partial change records, each matched by a change of its own
    bool noOtherChanges = false;  // and every change is matched by one of them
    std::optional<Json> unchanged;  // partial stored objects: each names at least one, none changed
    bool Empty() const { return !changes && !noOtherChanges && !unchanged; }
};

struct Expectations {
    std::optional<bool> exported;
    std::optional<Json> result;
    std::optional<std::vector<std::string>> log;
    std::vector<std::string> logContains;
    std::optional<Json> messageBoxes;  // array of partial box descriptions, matched in order
    std::optional<Json> out;           // partial object over the step's out values
    std::optional<Json> dialogs;       // partial dialog records of the library's own dialogs
    CallExpectations calls;
    ChangeExpectations changes;
    bool Empty() const {
        return !exported && !result && !log && logContains.empty() && !messageBoxes && !out &&
               !dialogs && calls.Empty() && changes.Empty();
    }
};

struct EndExpectations {
    Json leaks = Json::object();  // partial object over the leak counters
    CallExpectations calls;
    ChangeExpectations changes;
};

struct AllocationFailures {
    std::uint32_t after = 0;
    std::uint32_t count = 1;
};

struct Step {
    int number = 0;
    std::string path;  // "steps[3]", for messages
    const ExportSpec* exportSpec = nullptr;
    std::string note;
    std::vector<ArgValue> args;  // in the export's argument order; absent optional ones left out
    std::vector<int> messageBoxes;
    Json addressDialog = Json::array();  // resolved against the organisation when the run starts
    std::vector<sim::ServiceDialogAnswer> serviceDialog;
    // What the administrator does in the library's own dialogs ("Choose Folders"), in order.
    std::vector<platform::portable::DialogAction> folderDialog;
    Json folderDialogJson = Json::array();
    std::vector<sim::FaultSpec> faults;
    std::optional<AllocationFailures> allocationFailures;
    std::optional<std::int32_t> coInitializeResult;
    bool readLog = true;
    bool recordCalls = false;  // the transcript lists the step's MAPI calls
    Expectations expect;

    const ArgValue* Arg(std::string_view name) const;
};

struct Scenario {
    std::string title;
    std::string description;
    std::string setupLabel;  // the setup file as written, or "inline"
    Json setup = Json::object();
    std::filesystem::path baseDir;  // where the scenario's relative paths start
    std::vector<Step> steps;
    bool recordCalls = false;  // every step lists its MAPI calls
    EndExpectations expectAtEnd;
};

// Throws sim::JsonError.
Scenario ParseScenario(const Json& document, const std::filesystem::path& baseDir);
Scenario LoadScenario(const std::filesystem::path& file);

}  // namespace console
