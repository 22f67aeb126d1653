// The scenario parser and the matching of expectations.
#include "tools/console/scenario.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
