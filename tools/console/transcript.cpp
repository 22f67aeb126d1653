#include "tools/console/transcript.h"

#include <sstream>

namespace console {
namespace {

using sim::OrderedJson;

std::string Value(const OrderedJson& value) {
    return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

std::string Plain(const OrderedJson& value) {
    return value.is_string() ? value.get<std::string>() : Value(value);
}

class Writer {
  public:
    void Line(int indent, const std::string& text) {
        out_ << std::string(std::size_t(indent) * 2, ' ') << text << '\n';
    }
    // A text that may hold line breaks, one "| " line per line.
    void Block(int indent, const std::string& text) {
        std::size_t start = 0;
        while (true) {
            std::size_t end = text.find('\n', start);
            Line(indent, "| " + text.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    std::string Text() const { return out_.str(); }

  private:
    std::ostringstream out_;
};

void WriteMembers(Writer& w, int indent, const OrderedJson& object) {
    for (const auto& [key, value] : object.items()) {
        if (value.is_object() && !value.empty()) {
            w.Line(indent, key + ":");
            WriteMembers(w, indent + 1, value);
        } else if (value.is_array() && !value.empty() && value.front().is_object()) {
            w.Line(indent, key + ":");
            for (std::size_t i = 0; i < value.size(); ++i) {
                w.Line(indent + 1, "[" + std::to_string(i) + "]");
                WriteMembers(w, indent + 2, value[i]);
            }
        } else {
            w.Line(indent, key + ": " + Value(value));
        }
    }
}

// One tree item: indented by depth, its image as the box the administrator sees.
std::string TreeItem(const OrderedJson& item) {
    const int image = item["image"].get<int>();
    std::string line(std::size_t(item["depth"].get<int>()) * 2, ' ');
    line += image == 2 ? "[x] " : image == 1 ? "[ ] " : "    ";
    line += item["text"].get<std::string>();
    std::string marks;
    if (item["expanded"].get<bool>()) marks += " expanded";
    if (item["caret"].get<bool>()) marks += " selected";
    if (item["children"].get<int>() && !item["expanded"].get<bool>()) marks += " collapsed";
    return marks.empty() ? line : line + "  (" + marks.substr(1) + ")";
}

std::string ControlLine(const OrderedJson& control) {
    std::string line = std::to_string(control["id"].get<int>()) + " " +
                       control["kind"].get<std::string>() + " " + Value(control["text"]);
    if (control.contains("checked"))
        line += control["checked"].get<bool>() ? " checked" : " unchecked";
    if (!control["enabled"].get<bool>()) line += " disabled";
    return line;
}

void WriteView(Writer& w, int indent, const OrderedJson& view) {
    const OrderedJson& window = view["window"];
    w.Line(indent, "caption " + Value(view["caption"]) + ", window (" + Value(window[0]) + "," +
                       Value(window[1]) + ")-(" + Value(window[2]) + "," + Value(window[3]) + ")" +
                       (view["imageList"].get<bool>() ? ", image list" : ""));
    for (const auto& control : view["controls"]) {
        const std::string kind = control["kind"].get<std::string>();
        if (kind == "radio button" || kind == "tree view") w.Line(indent, ControlLine(control));
    }
    for (const auto& item : view["tree"]) w.Line(indent + 1, TreeItem(item));
}

// What an action changed in the dialog: controls and tree items, compared with the view before.
void WriteViewChanges(Writer& w, int indent, const OrderedJson& before, const OrderedJson& after) {
    for (std::size_t i = 0; i < after["controls"].size() && i < before["controls"].size(); ++i)
        if (after["controls"][i] != before["controls"][i])
            w.Line(indent, ControlLine(after["controls"][i]));
    if (before["tree"].size() != after["tree"].size()) {
        for (const auto& item : after["tree"]) w.Line(indent + 1, TreeItem(item));
        return;
    }
    for (std::size_t i = 0; i < after["tree"].size(); ++i)
        if (after["tree"][i] != before["tree"][i]) w.Line(indent + 1, TreeItem(after["tree"][i]));
}

void WriteDialog(Writer& w, const OrderedJson& dialog) {
    w.Line(2, "dialog " + Value(dialog["template"]) + ", owner " +
                  dialog["owner"].get<std::string>() +
                  (dialog["created"].get<bool>() ? "" : ", not created") + " -> result " +
                  Value(dialog["result"]));
    if (!dialog["created"].get<bool>()) return;
    WriteView(w, 3, dialog["initial"]);
    const OrderedJson* before = &dialog["initial"];
    for (const auto& step : dialog["steps"]) {
        std::string line = step["action"].get<std::string>();
        if (step.contains("path")) line += " " + Value(step["path"]);
        if (step.contains("control")) line += " " + Value(step["control"]);
        if (step.contains("shift")) line += " with SHIFT";
        w.Line(3, line + ": " + step["outcome"].get<std::string>());
        if (step.contains("messageBoxes")) {
            for (const auto& box : step["messageBoxes"]) {
                w.Line(4, "message box " + Value(box["caption"]) + ", flags " +
                              box["flags"].get<std::string>() + ", owner " +
                              box["owner"].get<std::string>() + ", answered " +
                              box["answer"].get<std::string>() + ": " + Value(box["text"]));
            }
        }
        WriteViewChanges(w, 4, *before, step["after"]);
        before = &step["after"];
    }
}

void WriteScripted(Writer& w, const OrderedJson& scripted) {
    for (const auto& [key, value] : scripted.items()) {
        if (value.is_array()) {
            for (const auto& item : value) w.Line(2, "scripted " + key + ": " + Plain(item));
        } else {
            w.Line(2, "scripted " + key + ": " + Plain(value));
        }
    }
}

// "IMsgStore::OpenEntry on store:DN (entryId: folder Inbox of DN, flags: 0x00000010) -> S_OK"
std::string CallLine(const OrderedJson& call) {
    std::string line = call["method"].get<std::string>();
    if (call.contains("object")) line += " on " + call["object"].get<std::string>();
    std::string args;
    for (const auto& [name, value] : call["args"].items())
        args += (args.empty() ? "" : ", ") + name + ": " + Plain(value);
    if (!args.empty()) line += " (" + args + ")";
    return line + " -> " + call["result"].get<std::string>();
}

void WriteStep(Writer& w, const OrderedJson& step) {
    w.Line(0,
           "[" + std::to_string(step["step"].get<int>()) + "] " + step["call"].get<std::string>());
    if (step.contains("note")) w.Line(2, "note: " + step["note"].get<std::string>());
    if (step.contains("args")) {
        for (const auto& [name, value] : step["args"].items())
            w.Line(2, name + " = " + Value(value));
    }
    if (step.contains("scripted")) WriteScripted(w, step["scripted"]);
    if (!step["exported"].get<bool>()) {
        w.Line(2, "not exported");
    } else {
        w.Line(2, "result: " + Value(step["result"]));
        if (step.contains("out")) {
            for (const auto& [name, value] : step["out"].items()) {
                if (value.is_object()) {
                    w.Line(2, "out " + name + ":");
                    WriteMembers(w, 3, value);
                } else if ((name == "time" || name == "sentActivationTime") &&
                           value.is_number_integer()) {
                    w.Line(2, "out " + name + ": " + Plain(value) + " (" +
                                  sim::FormatUnixTime(value.get<std::int64_t>()) + ")");
                } else {
                    w.Line(2, "out " + name + ": " + Plain(value));
                }
            }
        }
        if (step.contains("log")) {
            const OrderedJson& log = step["log"];
            if (log.is_null()) {
                w.Line(2, "log: unreadable");
            } else {
                w.Line(2, "log (" + std::to_string(log.size()) + " line" +
                              (log.size() == 1 ? "" : "s") + ")" + (log.empty() ? "" : ":"));
                for (const auto& line : log) w.Line(3, line.get<std::string>());
            }
        }
    }
    if (step.contains("messageBoxes")) {
        for (const auto& box : step["messageBoxes"]) {
            w.Line(2, "message box " + Value(box["caption"]) + ", flags " +
                          box["flags"].get<std::string>() + ", owner " +
                          box["owner"].get<std::string>() + ", answered " +
                          box["answer"].get<std::string>() + ":");
            w.Block(3, box["text"].get<std::string>());
        }
    }
    if (step.contains("dialogs")) {
        for (const auto& dialog : step["dialogs"]) WriteDialog(w, dialog);
    }
    if (step.contains("addressDialogs")) {
        for (const auto& dialog : step["addressDialogs"]) {
            std::string line =
                "address dialog: flags " + dialog["flags"].get<std::string>() + ", caption " +
                Value(dialog["caption"]) + ", destFields " + Value(dialog["destFields"]) +
                ", destTitles " + Value(dialog["destTitles"]) + ", focus " +
                Value(dialog["destFieldFocus"]) + ", window " + dialog["window"].get<std::string>();
            if (!dialog["alsoGiven"].empty()) line += ", also given " + Value(dialog["alsoGiven"]);
            if (dialog.contains("unscripted")) line += ", no answer scripted (closed)";
            w.Line(2, line + " -> " + dialog["result"].get<std::string>());
        }
    }
    if (step.contains("serviceDialogs")) {
        for (const auto& dialog : step["serviceDialogs"]) {
            w.Line(2, "service dialog for profile " + Value(dialog["profile"]) + ", flags " +
                          dialog["flags"].get<std::string>() + ", " +
                          (dialog["cancelled"].get<bool>() ? "cancelled" : "filled in") +
                          (dialog.contains("unscripted") ? " (no answer scripted)" : ""));
        }
    }
    if (step.contains("calls")) {
        const OrderedJson& calls = step["calls"];
        w.Line(2, "MAPI calls (" + std::to_string(calls.size()) + ")" + (calls.empty() ? "" : ":"));
        for (const auto& call : calls) w.Line(3, CallLine(call));
    }
    if (step.contains("notes")) {
        for (const auto& note : step["notes"]) w.Line(2, "note: " + note.get<std::string>());
    }
    if (step.contains("expectations")) {
        w.Line(2, "expectations: " + step["expectations"].get<std::string>());
        if (step.contains("failures"))
            for (const auto& failure : step["failures"]) w.Line(3, failure.get<std::string>());
    }
}

const char* ChangeMark(const std::string& change) {
    if (change == "created") return "+";
    if (change == "deleted") return "-";
    if (change == "delivered") return ">";
    return "~";
}

}  // namespace

std::string ChangeSubject(const OrderedJson& change) {
    const std::string kind = change["kind"].get<std::string>();
    if (kind == "message") {
        return "message " + Value(change["id"]) + " in " + change["folder"].get<std::string>() +
               " of " + change["mailbox"].get<std::string>();
    }
    if (kind == "folder")
        return "folder " + change["path"].get<std::string>() + " of " +
               change["mailbox"].get<std::string>();
    if (kind == "store") return "store of " + change["mailbox"].get<std::string>();
    if (kind == "registry key") return "registry key " + change["key"].get<std::string>();
    if (kind == "registry value")
        return "registry value " + change["key"].get<std::string>() + " " + Value(change["name"]);
    if (kind == "profile") return "profile " + Value(change["name"]);
    if (kind == "address entry") return "address entry " + Value(change["displayName"]);
    if (kind == "mail") return "mail delivered from " + change["from"].get<std::string>();
    return kind + " " + Plain(change.value("name", OrderedJson("")));
}

namespace {

// Members already named in the subject line.
bool InSubject(const std::string& key) {
    return key == "change" || key == "kind" || key == "mailbox" || key == "folder" ||
           key == "path" || key == "id" || key == "key" || key == "from" || key == "displayName" ||
           key == "name";
}

void WriteChange(Writer& w, const OrderedJson& change) {
    w.Line(1, std::string(ChangeMark(change["change"].get<std::string>())) + " " + ChangeSubject(change));
    for (const auto& [key, value] : change.items()) {
        if (InSubject(key)) continue;
        if (key == "properties") {
            for (const auto& [tag, prop] : value.items()) {
                bool fromTo = change["change"] == "changed" && prop.is_object() &&
                              prop.contains("from") && prop.contains("to") && prop.size() == 2;
                if (fromTo) {
                    w.Line(3, tag + ": " + Value(prop["from"]) + " -> " + Value(prop["to"]));
                } else {
                    w.Line(3, tag + " = " + Value(prop));
                }
            }
        } else if (value.is_object() && value.contains("from") && value.contains("to") &&
                   value.size() == 2) {
            w.Line(3, key + ": " + Value(value["from"]) + " -> " + Value(value["to"]));
        } else if (value.is_object() && value.contains("added") && value.size() == 1) {
            for (const auto& item : value["added"]) w.Line(3, key + " added: " + Value(item));
        } else if (value.is_array() && !value.empty() && value.front().is_object()) {
            for (std::size_t i = 0; i < value.size(); ++i) {
                w.Line(3, key + "[" + std::to_string(i) + "]:");
                WriteMembers(w, 4, value[i]);
            }
        } else {
            w.Line(3, key + ": " + Value(value));
        }
    }
}

void WriteLeaks(Writer& w, const OrderedJson& leaks) {
    auto list = [&](const char* label, const OrderedJson& items) {
        if (items.empty()) return;
        for (const auto& item : items) w.Line(2, std::string(label) + ": " + Plain(item));
    };
    w.Line(1, "live MAPI objects: " + Value(leaks["liveObjects"]));
    list("alive", leaks["liveObjectLabels"]);
    w.Line(1, "double releases: " + Value(leaks["doubleReleases"]));
    list("released twice", leaks["doubleReleaseLabels"]);
    w.Line(1, "calls on released objects: " + Value(leaks["callsOnReleased"]));
    w.Line(1, "open MAPI sessions: " + Value(leaks["openSessions"]));
    w.Line(1, "MAPI buffers alive: " + Value(leaks["mapiBuffers"]) + " (" +
                  Value(leaks["mapiLinkedBlocks"]) + " linked blocks, " +
                  Value(leaks["mapiBufferBytes"]) + " bytes)");
    w.Line(1, "bad MAPIFreeBuffer calls: " + Value(leaks["mapiBadFrees"]) +
                  ", bad MAPIAllocateMore parents: " + Value(leaks["mapiBadParents"]));
    w.Line(1, "open registry handles: " + Value(leaks["registryHandles"]));
    w.Line(1, "MAPI initialise balance: " + Value(leaks["mapiInitializeBalance"]));
    if (leaks.value("mapiUninitializeUnmatched", 0) != 0)
        w.Line(1, "MAPIUninitialize calls with nothing to undo: " +
                      Value(leaks["mapiUninitializeUnmatched"]));
    w.Line(1, "COM initialise balance: " + Value(leaks["comInitializeBalance"]));
    w.Line(1,
           "records held by the console: " +
               (leaks["recordsHeld"].empty() ? std::string("none") : Value(leaks["recordsHeld"])));
}

}  // namespace

std::string FormatTranscript(const OrderedJson& transcript) {
    Writer w;
    const OrderedJson& scenario = transcript["scenario"];
    w.Line(0, "Scenario: " + scenario["title"].get<std::string>());
    if (scenario.contains("description")) w.Block(1, scenario["description"].get<std::string>());
    const OrderedJson& setup = transcript["setup"];
    w.Line(0, "Setup: " + scenario["setup"].get<std::string>());
    w.Line(1, "servers " + Value(setup["servers"]) + ", mailboxes " + Value(setup["mailboxes"]) +
                  ", address-book entries " + Value(setup["addressEntries"]) + ", profiles " +
                  Value(setup["profiles"]) + ", registry values " + Value(setup["registryValues"]) +
                  "; Exchange service " +
                  (setup["exchangeServiceInstalled"].get<bool>() ? "installed" : "not installed"));
    if (transcript.contains("exports")) {
        const OrderedJson& exports = transcript["exports"];
        std::string names;
        for (const auto& name : exports)
            names += (names.empty() ? "" : ", ") + name.get<std::string>();
        w.Line(0, "Exports found (" + std::to_string(exports.size()) +
                      " of 14): " + (names.empty() ? "none" : names));
    }
    if (transcript.contains("steps")) {
        for (const auto& step : transcript["steps"]) {
            w.Line(0, "");
            WriteStep(w, step);
        }
    }
    w.Line(0, "");
    if (transcript.contains("changes")) {
        const OrderedJson& changes = transcript["changes"];
        w.Line(0, std::string("Changes") + (changes.empty() ? ": none" : ":"));
        for (const auto& change : changes) WriteChange(w, change);
    }
    if (transcript.contains("leaks")) {
        w.Line(0, "Leak counters:");
        WriteLeaks(w, transcript["leaks"]);
    }
    if (transcript.contains("endFailures")) {
        w.Line(0, "Expectations at the end failed:");
        for (const auto& failure : transcript["endFailures"]) w.Line(1, failure.get<std::string>());
    }
    if (transcript.contains("cleanup")) {
        std::string actions;
        for (const auto& action : transcript["cleanup"])
            actions += (actions.empty() ? "" : ", ") + action.get<std::string>();
        w.Line(0, "Clean-up after the transcript: " + actions);
    }
    const int failed = transcript.value("failedExpectations", 0);
    w.Line(0, failed ? "Expectations: " + std::to_string(failed) + " failed"
                     : std::string("Expectations: all met"));
    return w.Text();
}

}  // namespace console
