// The simulator's JSON control surface, as the console reaches it in this process and through
// the provider DLL's export: setup loading, dialog answers and their records, snapshots and
// the differences between them, and failed requests.
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "sim/control.h"
#include "sim/org_json.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/state_diff.h"

namespace {

using sim::OrderedJson;

OrderedJson Request(const OrderedJson& request) {
    // Always through text, as across the DLL boundary.
    return OrderedJson::parse(sim::ControlText(request.dump()));
}

class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(Request({{"op", "reset"}}).contains("error"));
        loaded_ = Request({{"op", "loadSetup"},
                           {"setup", {{"include", "examples/sample-organisation.json"}}},
                           {"baseDir", TAV_SOURCE_DIR}});
        ASSERT_FALSE(loaded_.contains("error")) << loaded_.dump();
    }
    void TearDown() override { Request({{"op", "reset"}}); }

    OrderedJson loaded_;
};

TEST_F(ControlTest, LoadSetupRepliesWithTheSummaryAndExtras) {
    EXPECT_EQ(loaded_["summary"]["mailboxes"], sim::Simulator::Instance().Org().mailboxes.size());
    EXPECT_GT(loaded_["summary"]["mailboxes"].get<int>(), 0);
    EXPECT_TRUE(loaded_["extras"]["faults"].is_array());
    EXPECT_TRUE(loaded_["extras"]["coInitializeResult"].is_null());
    EXPECT_TRUE(loaded_.contains("host"));
}

TEST_F(ControlTest, FailedRequestsReplyWithAnErrorAndChangeNothing) {
    const std::size_t mailboxes = sim::Simulator::Instance().Org().mailboxes.size();
    EXPECT_TRUE(Request({{"op", "noSuchOp"}}).contains("error"));
    EXPECT_TRUE(Request({{"op", "loadSetup"}, {"setup", {{"mailboxes", 7}}}}).contains("error"));
    EXPECT_TRUE(Request({{"op", "checkAnswers"},
                         {"address", {{{"pick", {"Nobody At All"}}}}},
                         {"path", "steps[0]"}})
                    .contains("error"));
    EXPECT_TRUE(OrderedJson::parse(sim::ControlText("{not json")).contains("error"));
    EXPECT_EQ(sim::Simulator::Instance().Org().mailboxes.size(), mailboxes);
    EXPECT_TRUE(sim::Simulator::Instance().Org().addressDialogAnswers.empty());
}

TEST_F(ControlTest, CheckedAnswersAreTakenByTheirStepAndGoWithAReset) {
    const OrderedJson pick{{{"pick", {"Alice Baker"}}}};
    sim::Organisation* org = &sim::Simulator::Instance().Org();
    ASSERT_FALSE(Request({{"op", "checkAnswers"}, {"address", pick}, {"path", "steps[1]"}})
                     .contains("error"));
    EXPECT_EQ(org->checkedAddressAnswers.size(), 1u);

    // A reset forgets them with the rest of the organisation.
    SetUp();
    org = &sim::Simulator::Instance().Org();
    EXPECT_TRUE(org->checkedAddressAnswers.empty());

    ASSERT_FALSE(Request({{"op", "checkAnswers"}, {"address", pick}, {"path", "steps[1]"}})
                     .contains("error"));
    const OrderedJson other = Request({{"op", "queueAnswers"},
                                       {"address", pick},
                                       {"service", OrderedJson::array()},
                                       {"path", "steps[0]"}});
    ASSERT_FALSE(other.contains("error")) << other.dump();
    EXPECT_EQ(org->checkedAddressAnswers.size(), 1u);  // another step's answers stay
    const OrderedJson own = Request({{"op", "queueAnswers"},
                                     {"address", pick},
                                     {"service", OrderedJson::array()},
                                     {"path", "steps[1]"}});
    ASSERT_FALSE(own.contains("error")) << own.dump();
    EXPECT_TRUE(org->checkedAddressAnswers.empty());
    ASSERT_EQ(org->addressDialogAnswers.size(), 2u);
}

TEST_F(ControlTest, AnswersNoDialogTookAreDroppedAtTheEndOfTheStep) {
    const OrderedJson marks = Request({{"op", "queueAnswers"},
                                       {"address", {{{"pick", {"Alice Baker"}}}, {{"cancel", true}}}},
                                       {"service", {{{"cancel", true}}}},
                                       {"path", "steps[0]"}});
    ASSERT_FALSE(marks.contains("error")) << marks.dump();
    sim::Organisation& org = sim::Simulator::Instance().Org();
    EXPECT_EQ(org.addressDialogAnswers.size(), 2u);
    EXPECT_EQ(org.serviceDialogAnswers.size(), 1u);
    // One address dialog took the first answer.
    org.addressDialogAnswers.erase(org.addressDialogAnswers.begin());

    const OrderedJson end = Request({{"op", "endStep"},
                                     {"address", 2},
                                     {"service", 1},
                                     {"addressMark", marks["addressMark"]},
                                     {"serviceMark", marks["serviceMark"]}});
    ASSERT_FALSE(end.contains("error")) << end.dump();
    EXPECT_TRUE(org.addressDialogAnswers.empty());
    EXPECT_TRUE(org.serviceDialogAnswers.empty());
    EXPECT_EQ(end["notes"], OrderedJson({"1 address-dialog answer(s) of this step not used",
                                         "1 service-dialog answer(s) of this step not used"}));
    EXPECT_TRUE(end["addressDialogs"].empty());
}

TEST_F(ControlTest, SnapshotsSurviveTextAndShowWhatChanged) {
    const OrderedJson before = Request({{"op", "snapshot"}});
    sim::Mailbox& mailbox = *sim::Simulator::Instance().Org().mailboxes.front();
    mailbox.storeProps[mapi::PR_DISPLAY_NAME_W] = sim::PropValue(std::u16string(u"Renamed"));
    const OrderedJson after = Request({{"op", "snapshot"}});

    const OrderedJson changes = sim::DiffSnapshots(before, after);
    ASSERT_EQ(changes.size(), 1u) << changes.dump(2);
    EXPECT_EQ(changes[0]["change"], "changed");
    EXPECT_EQ(changes[0]["kind"], "store");
    EXPECT_EQ(changes[0]["properties"]["PR_DISPLAY_NAME_W"]["to"], "Renamed");
    EXPECT_TRUE(sim::DiffSnapshots(after, after).empty());
}

TEST_F(ControlTest, SnapshotsListObjectsInKeyOrderAndDiffsReadEitherOrder) {
    // A folder and a message made last, in the first folder the walk meets: their ids are the
    // highest although the walk meets them early.
    sim::Organisation& org = sim::Simulator::Instance().Org();
    sim::Mailbox& mailbox = *org.mailboxes.front();
    ASSERT_TRUE(mailbox.root && !mailbox.root->children.empty());
    sim::Folder& first = *mailbox.root->children.front();
    auto late = std::make_unique<sim::Folder>();
    late->id = org.NewObjectId();
    late->props[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"Late");
    first.children.insert(first.children.begin(), std::move(late));
    sim::Message message;
    message.id = org.NewObjectId();
    const std::uint64_t lateMessage = message.id;
    first.messages.insert(first.messages.begin(), std::move(message));

    const OrderedJson taken = Request({{"op", "snapshot"}});
    std::vector<std::string> keys;
    for (const auto& [key, state] : taken["objects"].items()) keys.push_back(key);
    ASSERT_GT(keys.size(), 10u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
    int lateFolders = 0, lateMessages = 0;
    for (const auto& [key, member] : taken["objects"].items()) {
        const OrderedJson state = sim::StateOf(member);
        const std::string path = state.value("path", "");
        if (state["kind"] == "folder" && path.size() > 5 && path.ends_with("/Late")) ++lateFolders;
        if (state["kind"] == "message" && state["id"] == lateMessage) ++lateMessages;
    }
    EXPECT_EQ(lateFolders, 1);
    EXPECT_EQ(lateMessages, 1);

    // Snapshots a test writes by hand need not be in key order.
    auto folder = [](const char* path, int unread) {
        return OrderedJson{{"kind", "folder"}, {"path", path}, {"properties", {{"UNREAD", unread}}}};
    };
    const OrderedJson before{
        {"objects", {{"m 3", folder("/c", 1)}, {"m 1", folder("/a", 1)}, {"m 2", folder("/b", 1)}}},
        {"delivered", OrderedJson::array()}};
    const OrderedJson after{
        {"objects", {{"m 4", folder("/d", 1)}, {"m 2", folder("/b", 2)}, {"m 1", folder("/a", 1)}}},
        {"delivered", OrderedJson::array()}};
    const OrderedJson changes = sim::DiffSnapshots(before, after);
    ASSERT_EQ(changes.size(), 3u) << changes.dump(2);
    EXPECT_EQ(changes[0]["change"], "changed");
    EXPECT_EQ(changes[0]["path"], "/b");
    EXPECT_EQ(changes[0]["properties"]["UNREAD"], OrderedJson({{"from", 1}, {"to", 2}}));
    EXPECT_EQ(changes[1]["change"], "deleted");
    EXPECT_EQ(changes[1]["path"], "/c");
    EXPECT_EQ(changes[2]["change"], "created");
    EXPECT_EQ(changes[2]["path"], "/d");
}

TEST_F(ControlTest, FolderStatesAreTheDumpOfTheirPropertiesWhateverTheirValues) {
    sim::Mailbox& mailbox = *sim::Simulator::Instance().Org().mailboxes.front();
    ASSERT_TRUE(mailbox.root && !mailbox.root->children.empty());
    sim::Folder& odd = *mailbox.root->children.front();
    sim::Folder& named = *mailbox.root;
    const std::uint32_t kYear10000 = 0x7FFF0040, kLongs = 0x7FFE1003, kNames = 0x7FFD101F;
    odd.props[mapi::PR_DISPLAY_NAME_W] =
        sim::PropValue(std::u16string(u"\"q\" \\ \x01\x1b\n\t\x7f caf\u00e9 \xd800 end"));
    odd.props[0x3613001E] = sim::PropValue(std::string("IPF.\x80\x01\"x"));
    odd.props[0x7FFC0014] = sim::PropValue(std::int64_t{-9223372036854775807LL - 1});
    odd.props[0x7FFB0003] = sim::PropValue(std::int32_t{-2147483647 - 1});
    odd.props[0x7FFA000B] = sim::PropValue(false);
    odd.props[kYear10000] = sim::PropValue(sim::FileTime{2650467744000000000ull});
    odd.props[kLongs] = sim::PropValue(std::vector<std::int32_t>{});
    odd.props[kNames] = sim::PropValue(std::vector<std::u16string>{u"a\"b", u""});
    odd.props[0x7FF91102] = sim::PropValue(std::vector<sim::Bytes>{{0x00, 0xFF}, {}});
    odd.props[0x7FF8101E] = sim::PropValue(std::vector<std::string>{"\x9f"});
    sim::NamedProperty name;
    name.guid = sim::Bytes(16, 0x11);
    name.name = u"Colour";
    name.propertyId = 0x8123;
    mailbox.namedProperties.push_back(name);
    named.props[0x8123001F] = sim::PropValue(std::u16string(u"blue"));

    const OrderedJson taken = Request({{"op", "snapshot"}});
    auto stateOf = [&](const sim::Folder& folder) {
        char key[64];
        std::snprintf(key, sizeof key, "m%04x1%09llx", mailbox.index,
                      static_cast<unsigned long long>(folder.id));
        EXPECT_TRUE(taken["objects"].contains(key)) << key;
        return taken["objects"].value(key, std::string("{}"));
    };
    // The text is what the parsed state dumps to, and each property reads as its own dump.
    const std::string text = stateOf(odd);
    const OrderedJson state = OrderedJson::parse(text);
    EXPECT_EQ(state.dump(), text);
    EXPECT_EQ(state["kind"], "folder");
    EXPECT_EQ(state["noAccess"], false);
    ASSERT_EQ(state["properties"].size(), odd.props.size());
    for (const auto& [tag, value] : odd.props)
        EXPECT_EQ(state["properties"][sim::PropertyTagName(tag)], sim::DumpPropValue(tag, value))
            << sim::PropertyTagName(tag);
    EXPECT_EQ(state["properties"][sim::PropertyTagName(kYear10000)]["filetime"],
              2650467744000000000ull);
    EXPECT_EQ(state["properties"][sim::PropertyTagName(kLongs)], OrderedJson::array());

    const OrderedJson root = OrderedJson::parse(stateOf(named));
    EXPECT_EQ(root["path"], "/");
    std::string colour;
    for (const auto& [key, value] : root["properties"].items())
        if (key.size() > 7 && key.compare(key.size() - 7, 7, ":Colour") == 0) colour = value;
    EXPECT_EQ(colour, "blue") << root.dump();
}

TEST_F(ControlTest, MessageValuesThatAreSomeFoldersSourceKeyNameThatFolder) {
    sim::Mailbox& mailbox = *sim::Simulator::Instance().Org().mailboxes.front();
    ASSERT_TRUE(mailbox.root && !mailbox.root->children.empty());
    sim::Folder& root = *mailbox.root;
    sim::Folder* deepest = &root;
    while (!deepest->children.empty()) deepest = deepest->children.back().get();
    ASSERT_NE(deepest, &root);
    const sim::Bytes key{0xAB, 0x01, 0xFE};
    deepest->props[mapi::PR_SOURCE_KEY] = sim::PropValue(key);
    root.props[mapi::PR_SOURCE_KEY] = sim::PropValue(sim::Bytes{0x00});

    // A message of the root, met before the folders whose keys it holds.
    const std::uint32_t kBinary = 0x7FF00102, kText = 0x7FEF001E, kOdd = 0x7FEE001E,
                        kRootKey = 0x7FED0102;
    sim::Message message;
    message.id = 987654321;
    message.props[mapi::PR_MESSAGE_CLASS_W] = sim::PropValue(std::u16string(u"IPM.Note"));
    message.props[kBinary] = sim::PropValue(key);
    message.props[kText] = sim::PropValue(std::string("AB01FE"));  // not as binaries are written
    message.props[kOdd] = sim::PropValue(std::string("ab01f"));
    message.props[kRootKey] = sim::PropValue(sim::Bytes{0x00});
    message.props[mapi::PR_SOURCE_KEY] = sim::PropValue(key);
    root.messages.push_back(message);

    const OrderedJson taken = Request({{"op", "snapshot"}});
    char id[64];
    std::snprintf(id, sizeof id, "m%04x2%09llx", mailbox.index, 987654321ull);
    ASSERT_TRUE(taken["objects"].contains(id));
    const OrderedJson props = sim::StateOf(taken["objects"][id])["properties"];
    auto value = [&](std::uint32_t tag) { return props.value(sim::PropertyTagName(tag), ""); };
    const OrderedJson deepState = [&] {
        for (const auto& [objectKey, state] : taken["objects"].items()) {
            const OrderedJson parsed = sim::StateOf(state);
            if (parsed["kind"] == "folder" &&
                parsed["properties"].value("PR_SOURCE_KEY", "") == "ab01fe")
                return parsed;
        }
        return OrderedJson();
    }();
    ASSERT_TRUE(deepState.is_object());
    EXPECT_EQ(value(kBinary), "ab01fe (source key of " + deepState["path"].get<std::string>() + ")");
    EXPECT_EQ(value(kText), "AB01FE");
    EXPECT_EQ(value(kOdd), "ab01f");
    EXPECT_EQ(value(kRootKey), "00 (source key of /)");
    EXPECT_EQ(props["PR_SOURCE_KEY"], "ab01fe");
}

TEST_F(ControlTest, FaultsAddedAndClearedByRequest) {
    ASSERT_FALSE(Request({{"op", "addFaults"},
                          {"faults", {{{"method", "MAPILogonEx"}, {"result", "MAPI_E_CALL_FAILED"}}}}})
                     .contains("error"));
    mapi::MAPIINIT_0 init{0, 0};
    ASSERT_EQ(Request({{"op", "installProvider"}}), OrderedJson::object());
    ASSERT_EQ(mapi::MAPIInitialize(&init), mapi::S_OK);
    mapi::LPMAPISESSION session = nullptr;
    EXPECT_EQ(mapi::MAPILogonEx(0, u"Alice Baker", nullptr, mapi::MAPI_UNICODE, &session),
              mapi::MAPI_E_CALL_FAILED);
    EXPECT_EQ(session, nullptr);
    Request({{"op", "clearFaults"}});
    EXPECT_TRUE(sim::Simulator::Instance().CallsTo("MAPILogonEx").size() == 1u);
    mapi::MAPIUninitialize();
    EXPECT_EQ(Request({{"op", "leaks"}})["mapiInitializeBalance"], 0);
}

TEST_F(ControlTest, CallRecordsFromAMarkNameTheirEntryIdsAndSurplusUninitializeIsCounted) {
    ASSERT_FALSE(Request({{"op", "reset"}}).contains("error"));
    ASSERT_FALSE(Request({{"op", "loadSetup"},
                          {"setup", {{"include", "tests/scenarios/configured-organisation.json"}}},
                          {"baseDir", TAV_SOURCE_DIR}})
                     .contains("error"));
    Request({{"op", "installProvider"}});
    mapi::MAPIINIT_0 init{0, 0};
    ASSERT_EQ(mapi::MAPIInitialize(&init), mapi::S_OK);
    const OrderedJson mark = Request({{"op", "calls"}});
    EXPECT_EQ(mark["calls"], OrderedJson::array());  // without "from": none
    EXPECT_EQ(mark["mark"], 1);
    {
        mapi::ComPtr<mapi::IMAPISession> session;
        ASSERT_EQ(mapi::MAPILogonEx(0, u"TavrelManager", nullptr, mapi::MAPI_UNICODE, session.Put()),
                  mapi::S_OK);
        mapi::ComPtr<mapi::IMAPITable> table;
        ASSERT_EQ(session->GetMsgStoresTable(0, table.Put()), mapi::S_OK);
        mapi::SizedSPropTagArray<1> columns{1, {mapi::PR_ENTRYID}};
        mapi::RowSetPtr rows;
        ASSERT_EQ(mapi::HrQueryAllRows(table.Get(), columns.get(), nullptr, nullptr, 0, rows.Put()),
                  mapi::S_OK);
        ASSERT_GT(rows->cRows, 0u);
        const mapi::SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
        mapi::ComPtr<mapi::IMsgStore> store;
        ASSERT_EQ(session->OpenMsgStore(0, id.cb, reinterpret_cast<mapi::LPENTRYID>(id.lpb),
                                        nullptr, mapi::MDB_NO_MAIL, store.Put()),
                  mapi::S_OK);
    }
    const OrderedJson calls = Request({{"op", "calls"}, {"from", mark["mark"]}})["calls"];
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0]["method"], "MAPILogonEx");
    EXPECT_FALSE(calls[0].contains("object"));
    EXPECT_EQ(calls[0]["args"]["profile"], "TavrelManager");
    EXPECT_EQ(calls[0]["result"], "S_OK");
    bool opened = false;
    for (const auto& call : calls) {
        if (call["method"] != "IMAPISession::OpenMsgStore") continue;
        opened = true;
        EXPECT_EQ(call["object"], "session:TavrelManager");
        EXPECT_EQ(call["args"]["entryId"].get<std::string>().rfind("store of /o=", 0), 0u)
            << call.dump();
    }
    EXPECT_TRUE(opened);

    mapi::MAPIUninitialize();
    mapi::MAPIUninitialize();
    const OrderedJson leaks = Request({{"op", "leaks"}});
    EXPECT_EQ(leaks["mapiInitializeBalance"], 0);
    EXPECT_EQ(leaks["mapiUninitializeUnmatched"], 1);
}

}  // namespace
