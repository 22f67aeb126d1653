#include "tools/console/scenario.h"

#include <limits>
#include <optional>
#include <set>

#include "sim/sim_text.h"

namespace console {
namespace {

using sim::IndexPath;
using sim::ObjectReader;
using sim::ThrowAt;

constexpr std::int64_t kUInt32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::vector<ExportSpec> MakeExports() {
    using K = ArgKind;
    return {
        {"Initialize", {}},
        {"IsInitialized", {}},
        {"Uninitialize", {}},
        {"GetMailStoreType", {}},
        {"GetDebugLogInfo", {{"container", K::LogOut, false}}},
        {"GetABItem", {{"item", K::ItemVar, false}}},
        {"FreeABItem", {{"item", K::ItemVar, false}}},
        {"GetABItemList", {{"list", K::ListVar, false}, {"excludeDistLists", K::UInt, true}}},
        {"FreeABItemList", {{"list", K::ListVar, false}}},
        {"SendBulletinByEmail",
         {{"subject", K::Text, true}, {"body", K::Text, true}, {"recipients", K::TextList, true}}},
        {"GetTavrelServiceNameForUser",
         {{"userDN", K::Text, true},
          {"serverDN", K::Text, true},
          {"serviceName", K::Buffer, false},
          {"capacity", K::UInt, true, kMaxBufferCapacity}}},
        {"RemoveUserFromLegacyServer",
         {{"userDN", K::Text, true},
          {"adminDN", K::Text, true},
          {"adminServerDN", K::Text, true},
          {"service", K::Text, true}}},
        {"SetPendingServiceAndRoutingInfoForUser",
         {{"userDN", K::Text, true},
          {"serverDN", K::Text, true},
          {"service", K::Text, true},
          {"routingInfo", K::Text, true}}},
        {"EditFolderRedirectionSettings",
         {{"displayName", K::Text, true},
          {"userDN", K::Text, true},
          {"serverDN", K::Text, true},
          {"redirSelected", K::Bool, true},
          {"numSelectedFolders", K::Int, true},
          {"time", K::Int, true},
          {"sentActivationTime", K::Int, true},
          {"redirSentItems", K::Bool, true}}},
    };
}

std::int64_t UnixSecondsFromIso(const std::string& text, const std::string& path) {
    constexpr std::int64_t kEpochFileTime = 116444736000000000;
    auto fileTime = static_cast<std::int64_t>(sim::ParseIsoTime(text, path));
    std::int64_t delta = fileTime - kEpochFileTime;
    std::int64_t seconds = delta / 10000000;
    if (delta % 10000000 < 0) --seconds;  // round towards the past
    return seconds;
}

ArgValue ParseArg(const ArgSpec& argSpec, const Json& value, const std::string& path) {
    ArgValue arg;
    arg.name = argSpec.name;
    arg.kind = argSpec.kind;
    switch (argSpec.kind) {
        case ArgKind::Text:
            if (!value.is_string()) ThrowAt(path, "expected a string");
            arg.text = value.get<std::string>();
            break;
        case ArgKind::TextList:
            if (value.is_null()) {
                arg.isNull = true;
                break;
            }
            if (!value.is_array()) ThrowAt(path, "expected an array of strings or null");
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (!value[i].is_string()) ThrowAt(IndexPath(path, i), "expected a string");
                arg.list.push_back(value[i].get<std::string>());
            }
            break;
        case ArgKind::UInt:
            arg.number = sim::ParseUnsigned(value, path);
            if (arg.number > argSpec.max)
                ThrowAt(path, "at most " + std::to_string(argSpec.max) + " (the console's limit)");
            break;
        case ArgKind::Int:
            if (value.is_string()) {
                arg.number = UnixSecondsFromIso(value.get<std::string>(), path);
                if (arg.number < kInt32Min || arg.number > kInt32Max)
                    ThrowAt(path, "the time does not fit into 32-bit seconds since 1970");
            } else if (value.is_number_integer() && value.get<std::int64_t>() >= kInt32Min &&
                       value.get<std::int64_t>() <= kInt32Max) {
                arg.number = value.get<std::int64_t>();
            } else {
                ThrowAt(path, "expected a signed 32-bit integer or an ISO-8601 time");
            }
            break;
        case ArgKind::Bool:
            if (!value.is_boolean()) ThrowAt(path, "expected true or false");
            arg.flag = value.get<bool>();
            break;
        case ArgKind::ItemVar:
        case ArgKind::ListVar:
            if (value.is_null()) {
                arg.isNull = true;
            } else if (value.is_string() && !value.get<std::string>().empty()) {
                arg.text = value.get<std::string>();
            } else {
                ThrowAt(path, "expected the name of a console variable or null");
            }
            break;
        case ArgKind::Buffer:
        case ArgKind::LogOut:
            if (!value.is_null()) ThrowAt(path, "only null may be given (to pass no pointer)");
            arg.isNull = true;
            break;
    }
    return arg;
}

std::vector<ArgValue> ParseArgs(const ExportSpec& argSpec, const Json* args, const std::string& path) {
    std::vector<ArgValue> values;
    static const Json kNoArgs = Json::object();
    if (args && !args->is_object()) ThrowAt(path, "expected an object");
    ObjectReader reader(args ? *args : kNoArgs, path);
    for (const ArgSpec& argSpec : argSpec.args) {
        if (const Json* value = reader.Optional(argSpec.name)) {
            values.push_back(ParseArg(argSpec, *value, reader.PathOf(argSpec.name)));
        } else if (argSpec.required) {
            reader.Fail(argSpec.name, std::string("missing argument of ") + argSpec.name);
        } else if (argSpec.kind == ArgKind::ItemVar || argSpec.kind == ArgKind::ListVar) {
            ArgValue defaulted;
            defaulted.name = argSpec.name;
            defaulted.kind = argSpec.kind;
            defaulted.text = argSpec.name;
            values.push_back(defaulted);
        }
    }
    reader.Finish();
    return values;
}

const Json& ArrayOf(const Json& value, const std::string& path) {
    if (!value.is_array()) ThrowAt(path, "expected an array");
    return value;
}

// A partial call record: {method, object, args, result}; the result is normalised to its name.
Json ParseCallRecord(const Json& value, const std::string& path) {
    if (value.is_string()) return Json{{"method", value}};
    if (!value.is_object()) ThrowAt(path, "expected a method name or a partial call record");
    ObjectReader reader(value, path);
    Json call = Json::object();
    if (auto method = reader.OptionalString("method")) call["method"] = *method;
    if (auto object = reader.OptionalString("object")) call["object"] = *object;
    if (const Json* args = reader.Optional("args")) {
        if (!args->is_object()) reader.Fail("args", "expected an object");
        for (const auto& [name, arg] : args->items())
            if (!arg.is_string())
                ThrowAt(reader.PathOf("args") + "." + name,
                        "expected a string (arguments are recorded as text)");
        call["args"] = *args;
    }
    if (const Json* result = reader.Optional("result"))
        call["result"] = sim::ResultCodeName(sim::ParseResultCode(*result, reader.PathOf("result")));
    reader.Finish();
    return call;
}

Json ParseCallRecords(const Json& value, const std::string& path) {
    Json calls = Json::array();
    for (std::size_t i = 0; i < ArrayOf(value, path).size(); ++i)
        calls.push_back(ParseCallRecord(value[i], IndexPath(path, i)));
    return calls;
}

void ParseCallMembers(ObjectReader& reader, CallExpectations& expect) {
    if (const Json* calls = reader.Optional("calls"))
        expect.calls = ParseCallRecords(*calls, reader.PathOf("calls"));
    if (const Json* calls = reader.Optional("callsInclude"))
        expect.callsInclude = ParseCallRecords(*calls, reader.PathOf("callsInclude"));
    if (const Json* counts = reader.Optional("callCounts")) {
        if (!counts->is_object()) reader.Fail("callCounts", "expected an object of counts");
        for (const auto& [method, count] : counts->items())
            if (!count.is_number_unsigned())
                ThrowAt(reader.PathOf("callCounts") + "." + method, "expected a count");
        expect.callCounts = *counts;
    }
    if (const Json* calls = reader.Optional("notCalled")) {
        const Json records = ParseCallRecords(*calls, reader.PathOf("notCalled"));
        expect.notCalled.assign(records.begin(), records.end());
    }
}

// The kinds of change records and of stored objects (sim/state_diff.h).
bool IsStoredKind(const std::string& kind) {
    for (const char* known : {"folder", "message", "store", "address entry", "registry key",
                              "registry value", "profile", "setting"})
        if (kind == known) return true;
    return false;
}

Json ParsePartialObjects(const Json& value, const std::string& path, bool unchanged) {
    for (std::size_t i = 0; i < ArrayOf(value, path).size(); ++i) {
        const std::string itemPath = IndexPath(path, i);
        const Json& item = value[i];
        if (!item.is_object()) ThrowAt(itemPath, "expected an object");
        if (unchanged && !item.contains("kind"))
            ThrowAt(itemPath, "missing member kind (folder, message, store, registry key, ...)");
        if (const auto kind = item.find("kind"); kind != item.end())
            if (!kind->is_string() ||
                !(IsStoredKind(kind->get<std::string>()) || (!unchanged && *kind == "mail")))
                ThrowAt(itemPath + ".kind", "unknown kind " + kind->dump());
        if (const auto change = item.find("change"); change != item.end()) {
            if (unchanged) ThrowAt(itemPath + ".change", "an unchanged object has no change");
            if (*change != "created" && *change != "deleted" && *change != "changed" &&
                *change != "delivered")
                ThrowAt(itemPath + ".change", "expected created, deleted, changed or delivered");
        }
    }
    return value;
}

void ParseChangeMembers(ObjectReader& reader, ChangeExpectations& expect) {
    if (const Json* changes = reader.Optional("changes"))
        expect.changes = ParsePartialObjects(*changes, reader.PathOf("changes"), false);
    expect.noOtherChanges = reader.Bool("noOtherChanges", false);
    if (const Json* unchanged = reader.Optional("unchanged"))
        expect.unchanged = ParsePartialObjects(*unchanged, reader.PathOf("unchanged"), true);
}

Expectations ParseExpectations(const Json& value, const std::string& path) {
    if (!value.is_object()) ThrowAt(path, "expected an object");
    ObjectReader reader(value, path);
    Expectations expect;
    if (const Json* exported = reader.Optional("exported")) {
        if (!exported->is_boolean()) reader.Fail("exported", "expected true or false");
        expect.exported = exported->get<bool>();
    }
    if (const Json* result = reader.Optional("result")) {
        if (!result->is_boolean() && !result->is_number_integer())
            reader.Fail("result", "expected true, false or an integer");
        expect.result = *result;
    }
    if (const Json* log = reader.Optional("log")) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < ArrayOf(*log, reader.PathOf("log")).size(); ++i) {
            if (!(*log)[i].is_string())
                ThrowAt(IndexPath(reader.PathOf("log"), i), "expected a string");
            lines.push_back((*log)[i].get<std::string>());
        }
        expect.log = std::move(lines);
    }
    if (const Json* contains = reader.Optional("logContains")) {
        for (std::size_t i = 0; i < ArrayOf(*contains, reader.PathOf("logContains")).size(); ++i) {
            if (!(*contains)[i].is_string())
                ThrowAt(IndexPath(reader.PathOf("logContains"), i), "expected a string");
            expect.logContains.push_back((*contains)[i].get<std::string>());
        }
    }
    if (const Json* boxes = reader.Optional("messageBoxes")) {
        const std::string boxesPath = reader.PathOf("messageBoxes");
        for (std::size_t i = 0; i < ArrayOf(*boxes, boxesPath).size(); ++i) {
            const Json& box = (*boxes)[i];
            if (!box.is_object()) ThrowAt(IndexPath(boxesPath, i), "expected an object");
            ObjectReader boxReader(box, IndexPath(boxesPath, i));
            boxReader.OptionalString("caption");
            boxReader.OptionalString("text");
            boxReader.OptionalString("textContains");
            if (const Json* flags = boxReader.Optional("flags"))
                sim::ParseUnsigned(*flags, boxReader.PathOf("flags"));
            if (const Json* owner = boxReader.Optional("owner"))
                if (!owner->is_string() || (*owner != "null" && *owner != "non-null" &&
                                            *owner != "console window" && *owner != "dialog"))
                    boxReader.Fail("owner", "expected \"null\", \"non-null\", \"console "
                                            "window\" or \"dialog\"");
            if (const Json* answer = boxReader.Optional("answer"))
                sim::ParseMessageBoxButton(*answer, boxReader.PathOf("answer"));
            boxReader.Finish();
        }
        expect.messageBoxes = *boxes;
    }
    if (const Json* out = reader.Optional("out")) {
        if (!out->is_object()) reader.Fail("out", "expected an object");
        expect.out = *out;
    }
    if (const Json* dialogs = reader.Optional("dialogs")) {
        const std::string dialogsPath = reader.PathOf("dialogs");
        for (std::size_t i = 0; i < ArrayOf(*dialogs, dialogsPath).size(); ++i)
            if (!(*dialogs)[i].is_object())
                ThrowAt(IndexPath(dialogsPath, i), "expected an object");
        expect.dialogs = *dialogs;
    }
    ParseCallMembers(reader, expect.calls);
    ParseChangeMembers(reader, expect.changes);
    reader.Finish();
    return expect;
}

EndExpectations ParseEndExpectations(const Json& value, const std::string& path) {
    if (!value.is_object()) ThrowAt(path, "expected an object");
    ObjectReader reader(value, path);
    EndExpectations expect;
    ParseCallMembers(reader, expect.calls);
    ParseChangeMembers(reader, expect.changes);
    // The other members are leak counters, matched as a partial object.
    static const std::set<std::string> kNotCounters = {
        "calls", "callsInclude", "callCounts", "notCalled", "changes", "noOtherChanges",
        "unchanged"};
    for (const auto& [name, counter] : value.items())
        if (!kNotCounters.count(name)) expect.leaks[name] = counter;
    return expect;
}

platform::portable::DialogAction ParseDialogAction(const Json& value, const std::string& path) {
    namespace portable = platform::portable;
    if (value.is_string()) {
        const std::string word = value.get<std::string>();
        if (word == "ok") return portable::PressOk();
        if (word == "cancel") return portable::PressCancel();
        if (word == "close") return portable::CloseDialog();
        if (word == "space") return portable::PressSpace();
        if (word == "shift+space") return portable::PressSpace(true);
        ThrowAt(path, "expected ok, cancel, close, space, shift+space or an object");
    }
    if (!value.is_object()) ThrowAt(path, "expected a dialog action");
    ObjectReader reader(value, path);
    const bool shift = reader.Bool("shift", false);
    std::optional<portable::DialogAction> action;
    auto item = [&](const char* key, auto make) {
        if (auto text = reader.OptionalString(key)) {
            if (action) reader.Fail(key, "one action per entry");
            action = make(sim::FromUtf8(*text));
        }
    };
    item("clickImage",
         [&](std::u16string p) { return portable::ClickItemImage(std::move(p), shift); });
    item("clickLabel",
         [&](std::u16string p) { return portable::ClickItemLabel(std::move(p), shift); });
    item("clickButton", [&](std::u16string p) { return portable::ClickItemButton(std::move(p)); });
    if (auto radio = reader.OptionalInteger("radio", 1, 65535)) {
        if (action) reader.Fail("radio", "one action per entry");
        action = portable::ClickRadio(static_cast<int>(*radio));
    }
    if (!action) ThrowAt(path, "expected clickImage, clickLabel, clickButton or radio");
    reader.Finish();
    return *action;
}

Step ParseStep(const Json& value, const std::string& path, int number) {
    if (!value.is_object()) ThrowAt(path, "expected an object");
    ObjectReader reader(value, path);
    Step step;
    step.number = number;
    step.path = path;
    std::string call = reader.String("call");
    step.exportSpec = FindExport(call);
    if (!step.exportSpec) reader.Fail("call", "no export of the library is named '" + call + "'");
    step.note = reader.OptionalString("note").value_or("");
    step.args = ParseArgs(*step.exportSpec, reader.Optional("args"), reader.PathOf("args"));
    if (const Json* boxes = reader.Optional("messageBoxes")) {
        const std::string boxesPath = reader.PathOf("messageBoxes");
        for (std::size_t i = 0; i < ArrayOf(*boxes, boxesPath).size(); ++i)
            step.messageBoxes.push_back(
                sim::ParseMessageBoxButton((*boxes)[i], IndexPath(boxesPath, i)));
    }
    if (const Json* answers = reader.Optional("addressDialog")) {
        const std::string answersPath = reader.PathOf("addressDialog");
        for (std::size_t i = 0; i < ArrayOf(*answers, answersPath).size(); ++i)
            if (!(*answers)[i].is_object())
                ThrowAt(IndexPath(answersPath, i), "expected an object");
        step.addressDialog = *answers;
    }
    if (const Json* answers = reader.Optional("serviceDialog")) {
        const std::string answersPath = reader.PathOf("serviceDialog");
        for (std::size_t i = 0; i < ArrayOf(*answers, answersPath).size(); ++i)
            step.serviceDialog.push_back(
                sim::ParseServiceDialogAnswer((*answers)[i], IndexPath(answersPath, i)));
    }
    if (const Json* actions = reader.Optional("folderDialog")) {
        const std::string actionsPath = reader.PathOf("folderDialog");
        for (std::size_t i = 0; i < ArrayOf(*actions, actionsPath).size(); ++i)
            step.folderDialog.push_back(
                ParseDialogAction((*actions)[i], IndexPath(actionsPath, i)));
        step.folderDialogJson = *actions;
    }
    if (const Json* faults = reader.Optional("faults")) {
        const std::string faultsPath = reader.PathOf("faults");
        for (std::size_t i = 0; i < ArrayOf(*faults, faultsPath).size(); ++i) {
            sim::FaultSpec fault = sim::ParseFault((*faults)[i], IndexPath(faultsPath, i));
            // A step's faults last for that step unless they say otherwise.
            if (!(*faults)[i].contains("persistent")) fault.persistent = false;
            step.faults.push_back(std::move(fault));
        }
    }
    if (const Json* failures = reader.Optional("allocationFailures")) {
        if (!failures->is_object())
            reader.Fail("allocationFailures", "expected an object with after and count");
        ObjectReader failuresReader(*failures, reader.PathOf("allocationFailures"));
        AllocationFailures argSpec;
        argSpec.after = static_cast<std::uint32_t>(failuresReader.Integer("after", 0, kUInt32Max));
        argSpec.count = static_cast<std::uint32_t>(
            failuresReader.OptionalInteger("count", 1, kUInt32Max).value_or(1));
        failuresReader.Finish();
        step.allocationFailures = argSpec;
    }
    if (const Json* result = reader.Optional("coInitializeResult"))
        step.coInitializeResult =
            sim::ParseResultCode(*result, reader.PathOf("coInitializeResult"));
    step.readLog = reader.Bool("readLog", true);
    step.recordCalls = reader.Bool("recordCalls", false);
    if (const Json* expect = reader.Optional("expect"))
        step.expect = ParseExpectations(*expect, reader.PathOf("expect"));
    reader.Finish();
    return step;
}

}  // namespace

const std::vector<ExportSpec>& Exports() {
    static const std::vector<ExportSpec> exports = MakeExports();
    return exports;
}

const ExportSpec* FindExport(std::string_view name) {
    for (const ExportSpec& argSpec : Exports())
        if (name == argSpec.name) return &argSpec;
    return nullptr;
}

const ArgValue* Step::Arg(std::string_view name) const {
    for (const ArgValue& arg : args)
        if (arg.name == name) return &arg;
    return nullptr;
}

Scenario ParseScenario(const Json& document, const std::filesystem::path& baseDir) {
    if (!document.is_object()) ThrowAt("(scenario)", "expected an object");
    ObjectReader reader(document, "");
    Scenario scenario;
    scenario.baseDir = baseDir;
    scenario.title = reader.String("title");
    scenario.description = reader.OptionalString("description").value_or("");
    const Json& setup = reader.Get("setup");
    if (setup.is_string()) {
        scenario.setupLabel = setup.get<std::string>();
        scenario.setup = Json{{"include", setup}};
    } else if (setup.is_object()) {
        scenario.setupLabel = "inline";
        scenario.setup = setup;
    } else {
        reader.Fail("setup", "expected the name of a setup file or a setup object");
    }
    const Json& steps = reader.Get("steps");
    for (std::size_t i = 0; i < ArrayOf(steps, "steps").size(); ++i)
        scenario.steps.push_back(ParseStep(steps[i], IndexPath("steps", i), int(i) + 1));
    scenario.recordCalls = reader.Bool("recordCalls", false);
    if (const Json* expect = reader.Optional("expectAtEnd"))
        scenario.expectAtEnd = ParseEndExpectations(*expect, "expectAtEnd");
    reader.Finish();
    return scenario;
}

Scenario LoadScenario(const std::filesystem::path& file) {
    return ParseScenario(sim::ReadJsonFile(file), file.parent_path());
}

}  // namespace console
