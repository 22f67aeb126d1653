// The scenario parser and the matching of expectations.
#include "tools/console/scenario.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/state_diff.h"
#include "tools/console/expectations.h"
#include "tools/console/runner.h"

namespace {

using console::ArgKind;
using sim::Json;

Json Scenario(const Json& steps) {
    return Json{{"title", "t"}, {"setup", Json::object()}, {"steps", steps}};
}

TEST(ScenarioParser, ArgumentsTakeTheConsolesForms) {
    console::Scenario scenario = console::ParseScenario(Scenario(Json::parse(R"([
      {"call": "GetABItem"},
      {"call": "GetABItemList", "args": {"list": null, "excludeDistLists": "0x1"}},
      {"call": "SendBulletinByEmail", "args": {"subject": "s", "body": "", "recipients": null}},
      {"call": "EditFolderRedirectionSettings",
       "args": {"displayName": "A", "userDN": "u", "serverDN": "s", "redirSelected": true,
                "numSelectedFolders": -1, "time": "1969-12-31T23:59:59Z",
                "sentActivationTime": 2147483647, "redirSentItems": false}},
      {"call": "GetTavrelServiceNameForUser",
       "args": {"userDN": "u", "serverDN": "s", "serviceName": null, "capacity": 0}},
      {"call": "Initialize", "faults": [{"method": "MAPILogonEx", "result": "E_FAIL"},
                                        {"method": "MAPILogonEx", "result": 1, "persistent": true}],
       "messageBoxes": ["ok", "No"], "readLog": false}
    ])")),
                                                        ".");
    ASSERT_EQ(scenario.steps.size(), 6u);
    const console::Step& item = scenario.steps[0];
    ASSERT_EQ(item.args.size(), 1u);
    EXPECT_EQ(item.args[0].kind, ArgKind::ItemVar);
    EXPECT_EQ(item.args[0].text, "item");  // the default variable
    EXPECT_TRUE(scenario.steps[1].Arg("list")->isNull);
    EXPECT_EQ(scenario.steps[1].Arg("excludeDistLists")->number, 1);
    EXPECT_TRUE(scenario.steps[2].Arg("recipients")->isNull);
    EXPECT_EQ(scenario.steps[3].Arg("time")->number, -1);
    EXPECT_EQ(scenario.steps[3].Arg("numSelectedFolders")->number, -1);
    EXPECT_TRUE(scenario.steps[4].Arg("serviceName")->isNull);
    const console::Step& init = scenario.steps[5];
    ASSERT_EQ(init.faults.size(), 2u);
    EXPECT_FALSE(init.faults[0].persistent);  // a step's fault lasts for the step
    EXPECT_TRUE(init.faults[1].persistent);
    EXPECT_EQ(init.messageBoxes, (std::vector<int>{1, 7}));
    EXPECT_FALSE(init.readLog);
    EXPECT_EQ(scenario.setupLabel, "inline");
}

struct BadStep {
    const char* step;
    const char* place;
};

TEST(ScenarioParser, MalformedStepsNameTheirPlace) {
    const BadStep cases[] = {
        {R"({"call": "GetABItems"})", "steps[0].call: no export"},
        {R"({"call": "Initialize", "args": {"x": 1}})", "steps[0].args.x: unknown member"},
        {R"({"call": "GetABItemList"})", "steps[0].args.excludeDistLists: missing argument"},
        {R"({"call": "GetABItemList", "args": {"excludeDistLists": -1}})",
         "steps[0].args.excludeDistLists:"},
        {R"({"call": "GetABItem", "args": {"item": 3}})", "steps[0].args.item:"},
        {R"({"call": "GetTavrelServiceNameForUser",
             "args": {"userDN": "u", "serverDN": "s", "capacity": 8, "serviceName": "x"}})",
         "steps[0].args.serviceName: only null"},
        {R"({"call": "EditFolderRedirectionSettings",
             "args": {"displayName": "A", "userDN": "u", "serverDN": "s", "redirSelected": 1,
                      "numSelectedFolders": 0, "time": 0, "sentActivationTime": 0,
                      "redirSentItems": true}})",
         "steps[0].args.redirSelected:"},
        {R"({"call": "EditFolderRedirectionSettings",
             "args": {"displayName": "A", "userDN": "u", "serverDN": "s", "redirSelected": true,
                      "numSelectedFolders": 0, "time": "2038-01-19T03:14:08Z",
                      "sentActivationTime": 0,
             "redirSentItems": true}})",
         "steps[0].args.time: the time does not fit"},
        {R"({"call": "Initialize", "messageBoxes": ["Maybe"]})", "steps[0].messageBoxes[0]:"},
        {R"({"call": "Initialize", "serviceDialog": [{"server": "s"}]})",
         "steps[0].serviceDialog[0].mailbox: missing"},
        {R"({"call": "Initialize", "faults": [{"result": "E_FAIL"}]})",
         "steps[0].faults[0].method: missing"},
        {R"({"call": "Initialize", "expect": {"result": "yes"}})", "steps[0].expect.result:"},
        {R"({"call": "Initialize", "expect": {"messageBoxes": [{"owner": "maybe"}]}})",
         "steps[0].expect.messageBoxes[0].owner:"},
        {R"({"call": "Initialize", "allocationFailures": {"count": 2}})",
         "steps[0].allocationFailures.after: missing"},
        {R"({"call": "Initialize", "recordCalls": 1})", "steps[0].recordCalls:"},
        {R"({"call": "Initialize", "expect": {"calls": [{"method": "MAPIInitialize", "flags": 1}]}})",
         "steps[0].expect.calls[0].flags: unknown member"},
        {R"({"call": "Initialize", "expect": {"callsInclude": [{"args": {"flags": 16}}]}})",
         "steps[0].expect.callsInclude[0].args.flags: expected a string"},
        {R"({"call": "Initialize", "expect": {"calls": [{"result": "MAPI_E_NOPE"}]}})",
         "steps[0].expect.calls[0].result:"},
        {R"({"call": "Initialize", "expect": {"callCounts": {"MAPIInitialize": -1}}})",
         "steps[0].expect.callCounts.MAPIInitialize: expected a count"},
        {R"({"call": "Initialize", "expect": {"notCalled": [3]}})",
         "steps[0].expect.notCalled[0]: expected a method name"},
        {R"({"call": "Initialize", "expect": {"changes": [{"kind": "folders"}]}})",
         "steps[0].expect.changes[0].kind: unknown kind"},
        {R"({"call": "Initialize", "expect": {"changes": [{"change": "moved"}]}})",
         "steps[0].expect.changes[0].change: expected created"},
        {R"({"call": "Initialize", "expect": {"unchanged": [{"path": "Inbox"}]}})",
         "steps[0].expect.unchanged[0]: missing member kind"},
        {R"({"call": "Initialize", "expect": {"unchanged": [{"kind": "mail"}]}})",
         "steps[0].expect.unchanged[0].kind: unknown kind"},
        {R"({"call": "Initialize", "expect": {"dialogs": [1]}})",
         "steps[0].expect.dialogs[0]: expected an object"},
    };
    for (const BadStep& c : cases) {
        SCOPED_TRACE(c.step);
        try {
            console::ParseScenario(Scenario(Json::array({Json::parse(c.step)})), ".");
            ADD_FAILURE() << "accepted";
        } catch (const sim::JsonError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.place, 0), 0u) << error.what();
        }
    }
}

TEST(ScenarioParser, TheScenarioItselfIsChecked) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"setup": {}, "steps": []})", "title: missing"},
        {R"({"title": "t", "steps": []})", "setup: missing"},
        {R"({"title": "t", "setup": 1, "steps": []})", "setup: expected"},
        {R"({"title": "t", "setup": {}, "steps": {}})", "steps: expected an array"},
        {R"({"title": "t", "setup": {}, "steps": [], "expectedAtEnd": {}})",
         "expectedAtEnd: unknown member"},
        {R"({"title": "t", "setup": {}, "steps": [], "expectAtEnd": {"notCalled": {}}})",
         "expectAtEnd.notCalled: expected an array"},
        {R"({"title": "t", "setup": {}, "steps": [], "recordCalls": "yes"})", "recordCalls:"},
    };
    for (const auto& [text, place] : cases) {
        SCOPED_TRACE(text);
        try {
            console::ParseScenario(Json::parse(text), ".");
            ADD_FAILURE() << "accepted";
        } catch (const sim::JsonError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(place, 0), 0u) << error.what();
        }
    }
}

struct MatchCase {
    const char* expected;
    const char* actual;
    std::vector<std::string> failures;
};

TEST(Expectations, PartialMatchNamesEachDifference) {
    const MatchCase cases[] = {
        {R"({"a": 1})", R"({"a": 1, "b": 2})", {}},
        {R"({"a": {"b": "x"}})", R"({"a": {"b": "x", "c": 1}})", {}},
        {R"({"a": 1})", R"({"a": 2})", {"e.a: expected 1, got 2"}},
        {R"({"a": 1, "c": true})",
         R"({"b": 1, "c": false})",
         {"e.a: missing", "e.c: expected true, got false"}},
        {R"({"l": [1, 2]})", R"({"l": [1, 2, 3]})", {"e.l: expected [1,2], got [1,2,3]"}},
        {R"({"l": [{"x": 1}]})", R"({"l": [{"x": 1, "y": 2}]})", {}},
        {R"({"l": [{"x": 1}]})", R"({"l": [{"x": 3}]})", {"e.l[0].x: expected 1, got 3"}},
        {R"({"n": null})", R"({"n": {"a": 1}})", {"e.n: expected null, got {\"a\":1}"}},
        {R"({"o": {"a": 1}})", R"({"o": 5})", {"e.o: expected an object, got 5"}},
        {"true", "1", {"e: expected true, got 1"}},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string(c.expected) + " against " + c.actual);
        std::vector<std::string> failures;
        console::MatchPartial(Json::parse(c.expected), sim::OrderedJson::parse(c.actual), "e",
                              failures);
        EXPECT_EQ(failures, c.failures);
    }
}

struct CallCase {
    const char* expect;  // the members of a step's expect
    std::vector<std::string> failures;
};

console::Expectations StepExpectations(const char* expect) {
    return console::ParseScenario(
               Scenario(Json::array({Json{{"call", "Initialize"}, {"expect", Json::parse(expect)}}})),
               ".")
        .steps[0]
        .expect;
}

// Each failure starts with the expected text of the same index.
void ExpectFailuresStartWith(const std::vector<std::string>& failures,
                             const std::vector<std::string>& starts) {
    ASSERT_EQ(failures.size(), starts.size()) << ::testing::PrintToString(failures);
    for (std::size_t i = 0; i < failures.size(); ++i)
        EXPECT_EQ(failures[i].rfind(starts[i], 0), 0u) << failures[i];
}

TEST(Expectations, CallRecordsAsListSubsequenceCountsAndAbsence) {
    const auto calls = sim::OrderedJson::parse(R"([
        {"method": "MAPIInitialize", "args": {"flags": "0x00000000"}, "result": "S_OK"},
        {"method": "MAPILogonEx", "args": {"flags": "0x80008033"}, "result": "S_OK"},
        {"method": "IMAPISession::OpenMsgStore", "object": "session:P",
         "args": {"flags": "0x00000004"}, "result": "MAPI_E_NO_ACCESS"},
        {"method": "MAPIUninitialize", "args": {}, "result": "S_OK"}])");
    const CallCase cases[] = {
        {R"({"callsInclude": ["MAPIInitialize", {"method": "MAPIUninitialize"}]})", {}},
        {R"({"callsInclude": ["MAPIUninitialize", "MAPIInitialize"]})",
         {"callsInclude[1]: no later call matches {\"method\":\"MAPIInitialize\"}"}},
        {R"({"callsInclude": [{"method": "MAPILogonEx", "args": {"flags": "0x00000033"}}]})",
         {"callsInclude[0]: no call matches "
          "{\"args\":{\"flags\":\"0x00000033\"},\"method\":\"MAPILogonEx\"}"}},
        {R"({"calls": ["MAPIInitialize", "MAPILogonEx", {"result": "0x8004010F"},
                       "MAPIUninitialize"]})",
         {"calls[2].result: expected \"MAPI_E_NOT_FOUND\", got \"MAPI_E_NO_ACCESS\""}},
        {R"({"calls": ["MAPIInitialize"]})", {"calls: expected"}},
        {R"({"callCounts": {"MAPIUninitialize": 1, "MAPILogonEx": 2, "IMAPIFolder::DeleteFolder": 0}})",
         {"callCounts.MAPILogonEx: expected 2, made 1"}},
        {R"({"notCalled": ["IMAPIFolder::DeleteFolder", {"result": "MAPI_E_NO_ACCESS"}]})",
         {"notCalled[1]: call 3 matches"}},
    };
    for (const CallCase& c : cases) {
        SCOPED_TRACE(c.expect);
        std::vector<std::string> failures;
        console::CheckCalls(StepExpectations(c.expect).calls, calls, failures);
        ExpectFailuresStartWith(failures, c.failures);
    }
}

TEST(Expectations, ChangesAndUnchangedObjectsBetweenSnapshots) {
    const auto before = sim::OrderedJson::parse(R"json({"objects": {
        "m1": {"kind": "message", "mailbox": "/cn=a", "folder": "Inbox", "id": 7,
               "properties": {"PR_MESSAGE_CLASS_W": "IPM.Note.Marker", "PR_SUBJECT_W": "keep",
                              "PS_PUBLIC_STRINGS:MARK": "0a0b (source key of Inbox/Projects)"}},
        "m2": {"kind": "message", "mailbox": "/cn=a", "folder": "Inbox", "id": 8,
               "properties": {"PR_MESSAGE_CLASS_W": "IPM.Note", "PR_SUBJECT_W": "old",
                              "PS_PUBLIC_STRINGS:MARK": "0c0d (source key of Inbox/Old)"}},
        "p": {"kind": "profile", "name": "P", "services": [{"service": "MSEMS"}]}},
        "delivered": []})json");
    auto after = before;
    after["objects"].erase("m2");
    after["objects"]["p"]["services"][0]["server"] = "S";
    const auto changes = sim::OrderedJson::parse(R"([
        {"change": "deleted", "kind": "message", "mailbox": "/cn=a", "folder": "Inbox", "id": 8,
         "class": "IPM.Note"},
        {"change": "changed", "kind": "profile", "name": "P",
         "services": {"from": [{"service": "MSEMS"}], "to": [{"service": "MSEMS", "server": "S"}]}},
        {"change": "delivered", "kind": "mail", "from": "/cn=a",
         "properties": {"PR_SUBJECT_W": "Hello"}, "recipients": [{"PR_DISPLAY_NAME_W": "B"}]}])");
    const CallCase cases[] = {
        {R"({"unchanged": [{"kind": "message", "class": "IPM.Note.Marker"}]})", {}},
        {R"({"unchanged": [{"kind": "message", "names": ["Inbox/Projects"]}]})", {}},
        {R"({"unchanged": [{"kind": "message", "names": ["Inbox"]}]})",
         {"unchanged[0]: nothing stored matches"}},
        {R"({"unchanged": [{"kind": "message", "folder": "Inbox"}]})",
         {"unchanged[0]: message 8 in Inbox of /cn=a was deleted"}},
        {R"({"unchanged": [{"kind": "profile"}]})", {"unchanged[0]: profile \"P\" changed"}},
        {R"({"unchanged": [{"kind": "message", "subject": "gone"}]})",
         {"unchanged[0]: nothing stored matches"}},
        {R"({"changes": [{"kind": "mail", "subject": "Hello", "recipients": [{}]},
                         {"change": "deleted", "class": "IPM.Note"}], "noOtherChanges": true})",
         {"noOtherChanges: unexpected change: changed profile \"P\""}},
        {R"({"changes": [{"kind": "message"}, {"kind": "message"}]})",
         {"changes[1]: no change matches"}},
        {R"({"changes": [{"kind": "profile", "services": {"to": [{"server": "S"}]}}]})", {}},
        // A deleted object is known by what it held before.
        {R"({"changes": [{"change": "deleted", "subject": "old", "names": ["Inbox/Old"]}]})", {}},
        {R"({"changes": [{"change": "deleted", "names": ["Inbox/Projects"]}]})",
         {"changes[0]: no change matches"}},
    };
    // The simulator's snapshots keep each state as its JSON text (a profile's kind last, as the
    // profile dump puts it); the same expectations read them alike.
    auto asText = [](sim::OrderedJson snapshot) {
        for (auto& [key, state] : snapshot["objects"].items()) {
            sim::OrderedJson moved = state;
            if (moved["kind"] == "profile") {
                moved.erase("kind");
                moved["kind"] = "profile";
            }
            state = moved.dump();
        }
        return snapshot;
    };
    const auto beforeText = asText(before), afterText = asText(after);
    for (const CallCase& c : cases) {
        SCOPED_TRACE(c.expect);
        std::vector<std::string> failures;
        console::CheckChanges(StepExpectations(c.expect).changes, before, after, changes, failures);
        ExpectFailuresStartWith(failures, c.failures);
        failures.clear();
        console::CheckChanges(StepExpectations(c.expect).changes, beforeText, afterText, changes,
                              failures);
        ExpectFailuresStartWith(failures, c.failures);
    }
    EXPECT_EQ(sim::DiffSnapshots(beforeText, afterText).size(), 2u);
}

TEST(Expectations, DialogViewsByControlIdAndAsANestedTree) {
    const auto view = sim::OrderedJson::parse(R"({"caption": "Choose Folders",
        "controls": [{"id": -1, "kind": "static", "text": "p", "enabled": true},
                     {"id": 1001, "kind": "radio button", "text": "a", "enabled": true, "checked": true},
                     {"id": 1000, "kind": "tree view", "text": "", "enabled": false}],
        "tree": [{"depth": 0, "text": "Mailbox", "image": 0}, {"depth": 1, "text": "Inbox", "image": 2},
                 {"depth": 2, "text": "Sub", "image": 1}, {"depth": 1, "text": "Sent", "image": 1}]})");
    const MatchCase cases[] = {
        {R"({"controls": {"1001": {"checked": true}, "1000": {"enabled": false}}})", "", {}},
        {R"({"controls": {"1001": {"checked": false}}})", "",
         {"v.controls.1001.checked: expected false, got true"}},
        {R"({"controls": {"-1": {}}})", "", {"v.controls.-1: missing"}},
        {R"({"folders": [{"text": "Mailbox", "checked": null, "children": [
              {"text": "Inbox", "checked": true, "children": [{"text": "Sub", "checked": false, "children": []}]},
              {"text": "Sent", "checked": false, "children": []}]}]})", "", {}},
        {R"({"folders": [{"children": [{"text": "Inbox"}]}]})", "",
         {"v.folders[0].children: expected [{\"text\":\"Inbox\"}], got"}},
        {R"({"tree": [{}, {"image": 2}, {}, {}]})", "", {}},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.expected);
        const Json expected = Json::parse(c.expected);
        std::vector<std::string> failures;
        console::MatchPartial(expected, console::MatchableView(view, expected), "v", failures);
        ExpectFailuresStartWith(failures, c.failures);
    }
}

}  // namespace
