// The JSON setup format: values of every property type, registry data, named properties, folder
// references, errors with their places, and the round trip of the bundled sample through a dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "mapi/mapi.h"
#include "platform/portable/portable_platform.h"
#include "sim/entry_ids.h"
#include "sim/org_json.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"

namespace {

using sim::Json;

const std::filesystem::path kExamples = std::filesystem::path(TAV_SOURCE_DIR) / "examples";

void ResetAll() {
    sim::Simulator::Instance().Reset();
    platform::portable::ResetRegistry();
    platform::portable::FixSystemTime(std::nullopt);
}

sim::Organisation& Org() {
    return sim::Simulator::Instance().Org();
}

sim::Mailbox& MailboxOf(const char* alias) {
    for (auto& mailbox : Org().mailboxes)
        if (sim::ToUtf8(mailbox->dn).ends_with(std::string("cn=") + alias)) return *mailbox;
    throw std::runtime_error(std::string("no mailbox ") + alias);
}

sim::Folder* ChildNamed(sim::Folder& parent, std::u16string_view name) {
    for (auto& child : parent.children) {
        const sim::PropValue* display = sim::FindProp(child->props, mapi::PR_DISPLAY_NAME_W);
        if (display && std::get<std::u16string>(*display) == name) return child.get();
    }
    return nullptr;
}

struct ValueCase {
    const char* tag;
    Json value;
    sim::PropValue expected;
};

TEST(SetupJson, PropertyValuesOfEveryTypeReadAndWriteBack) {
    const ValueCase cases[] = {
        {"PR_MESSAGE_FLAGS", 33, std::int32_t{33}},
        {"0x60300003", -5, std::int32_t{-5}},
        {"0x60300003", "0xFFFFFFFF", std::int32_t{-1}},
        {"PR_SEND_RICH_INFO", false, false},
        {"0x60310014", 9007199254740993LL, std::int64_t{9007199254740993LL}},
        {"SELECTION_TIME", "1970-01-01T00:00:00Z", sim::FileTime{116444736000000000ull}},
        {"SELECTION_TIME", "1601-01-01T00:00:00Z", sim::FileTime{0}},
        {"SELECTION_TIME", "1969-12-31T23:59:59Z", sim::FileTime{116444735990000000ull}},
        {"SELECTION_TIME", "2038-01-19T03:14:08Z", sim::FileTime{137919572480000000ull}},
        {"SELECTION_TIME", "2024-02-29T12:00:00.0000001Z", sim::FileTime{133536816000000001ull}},
        {"PR_SUBJECT_A", "caf\u00e9", std::string("caf\xe9")},
        {"PR_SUBJECT_W", "\u00c9v\u00e9nements \u20ac",
         std::u16string(u"\u00c9v\u00e9nements \u20ac")},
        {"PR_SOURCE_KEY", "00ff10", sim::Bytes{0x00, 0xFF, 0x10}},
        {"0x60321003", Json::array({1, -2}), std::vector<std::int32_t>{1, -2}},
        {"0x6033101E", Json::array({"a", "\u00fc"}), std::vector<std::string>{"a", "\xfc"}},
        {"PR_EMS_AB_PROXY_ADDRESSES_W", Json::array({"SMTP:a@example.com"}),
         std::vector<std::u16string>{u"SMTP:a@example.com"}},
        {"PR_ADDITIONAL_REN_ENTRYIDS", Json::array({"01", ""}),
         std::vector<sim::Bytes>{{0x01}, {}}},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(std::string(c.tag) + " = " + c.value.dump());
        std::uint32_t tag = sim::ParsePropertyTag(c.tag, "t");
        sim::PropValue parsed = sim::ParsePropValue(tag, c.value, "t");
        EXPECT_EQ(parsed, c.expected);
        EXPECT_EQ(
            sim::ParsePropValue(tag, Json::parse(sim::DumpPropValue(tag, parsed).dump()), "t"),
            parsed);
    }
}

TEST(SetupJson, TimesAreWrittenAsTheyWereGiven) {
    for (const char* text : {"1601-01-01T00:00:00Z", "1969-12-31T23:59:59Z", "2000-02-29T23:59:59Z",
                             "2024-03-04T08:15:00.25Z", "9999-12-31T23:59:59.9999999Z"})
        EXPECT_EQ(sim::FormatIsoTime(sim::ParseIsoTime(text, "t")), text);
    EXPECT_EQ(sim::FormatUnixTime(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(sim::FormatUnixTime(2147483647), "2038-01-19T03:14:07Z");
}

TEST(SetupJson, AsciiNamesArePackedTwoBytesToAUnit) {
    std::u16string state = sim::PackAsciiName("PR_KVO_SYNCH_STATE");
    ASSERT_EQ(state.size(), 9u);
    EXPECT_EQ(state[0], 0x5250);
    EXPECT_EQ(sim::PackAsciiName("PR_KVO_SYNCH_ENTRYID").size(), 10u);
    EXPECT_EQ(sim::PackAsciiName("ABC"), (std::u16string{0x4241, 0x0043}));
    EXPECT_EQ(sim::UnpackAsciiName(state), "PR_KVO_SYNCH_STATE");
    EXPECT_EQ(sim::UnpackAsciiName(sim::PackAsciiName("ABC")), "ABC");
    // A name spelt in UTF-16 has zero high bytes and is no packed name.
    EXPECT_EQ(sim::UnpackAsciiName(u"Keywords"), std::nullopt);
}

struct ErrorCase {
    const char* setup;
    const char* place;
};

TEST(SetupJson, MistakesAreRefusedWithTheirPlace) {
    const ErrorCase cases[] = {
        {R"({"organisation": {"mailbox": []}})", "organisation.mailbox: unknown member"},
        {R"({"clock": "2024-02-30T00:00:00Z"})", "clock:"},
        {R"({"clock": "2024-01-01 00:00:00"})", "clock:"},
        {R"({"registry": [{"root": "HKCR", "key": "x"}]})", "registry[0].root:"},
        {R"({"registry": [{"root": "HKCU", "key": "x", "name": "v", "type": "REG_SZ",
                            "data": 1}]})",
         "registry[0].data:"},
        {R"({"organisation": {"servers": [{"dn": "/o=E/cn=S"}], "mailboxes": [
              {"dn": "/o=E/cn=a", "server": "S",
               "folders": [{"name": "F", "properties": {"PR_NOPE": 1}}]}]}})",
         "organisation.mailboxes[0].folders[0].properties.PR_NOPE:"},
        {R"({"organisation": {"mailboxes": [{"dn": "/o=E/cn=a", "server": "S",
              "messages": [{"properties": {"PR_SOURCE_KEY": "abc"}}]}]}})",
         "organisation.mailboxes[0].messages[0].properties.PR_SOURCE_KEY: an odd number"},
        {R"({"organisation": {"mailboxes": [{"dn": "/o=E/cn=a", "server": "S"},
                                            {"dn": "/O=E/CN=A", "server": "S"}]}})",
         "organisation.mailboxes[1].dn:"},
        {R"({"organisation": {"mailboxes": [{"dn": "/o=E/cn=a", "server": "S",
              "messages": [{"properties": {"PR_ENTRYID": {"sourceKeyOf": "Nowhere"}}}]}]}})",
         "organisation.mailboxes[0].messages[0].properties.PR_ENTRYID.sourceKeyOf: no folder"},
        {R"({"organisation": {"addressBook": [{"displayName": "A"}, {"displayName": "A"},
              {"type": "distList", "displayName": "L", "members": ["A"]}]}})",
         "organisation.addressBook[2].members[0]: more than one"},
        {R"({"answers": {"addressDialog": [{"pick": ["Nobody"]}]}})",
         "answers.addressDialog[0].pick[0]:"},
        {R"({"faults": [{"method": "MAPILogonEx"}]})", "faults[0].result:"},
        {R"({"profiles": [{"name": "P"}, {"name": "p"}]})", "profiles[1].name:"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.setup);
        ResetAll();
        try {
            sim::LoadSetup(Json::parse(c.setup), {});
            ADD_FAILURE() << "accepted";
        } catch (const sim::JsonError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.place, 0), 0u) << error.what();
        }
    }
}

// A file that is no JSON at all, or whose number does not fit a double, is refused by name.
TEST(SetupJson, UnreadableJsonTextIsRefusedWithTheFile) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "tav-setup-json-test.json";
    for (const char* text : {"{\"clock\": ", "666000739.20560E7518", "[1e999999]"}) {
        SCOPED_TRACE(text);
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << text;
        }
        try {
            sim::ReadJsonFile(file);
            ADD_FAILURE() << "read";
        } catch (const sim::JsonError& error) {
            EXPECT_NE(std::string(error.what()).find("not valid JSON"), std::string::npos);
        }
    }
    std::filesystem::remove(file);
    // A device is refused at once rather than read for ever.
    try {
        sim::ReadJsonFile("/dev/zero");
        ADD_FAILURE() << "read";
    } catch (const sim::JsonError& error) {
        EXPECT_EQ(std::string(error.what()), "/dev/zero: is not a regular file");
    }
}

TEST(SetupJson, RegistryValuesAndKeys) {
    ResetAll();
    sim::LoadSetup(Json::parse(R"({
      "environment": {"SITE": "HQ"},
      "registry": [
        {"root": "HKCU", "key": "Software\\A", "name": "Text",
         "type": "REG_SZ", "data": "caf\u00e9"},
        {"root": "HKCU", "key": "Software\\A", "name": "Path",
         "type": "REG_EXPAND_SZ", "data": "%SITE%\\x"},
        {"root": "HKCU", "key": "Software\\A", "name": "Count",
         "type": "REG_DWORD", "data": "0x01020304"},
        {"root": "HKCU", "key": "Software\\A", "name": "Names",
         "type": "REG_MULTI_SZ", "data": ["a", "b"]},
        {"root": "HKCU", "key": "Software\\A", "name": "Raw",
         "type": "REG_SZ", "data": {"hex": "6162"}},
        {"root": "HKLM", "key": "Software\\B", "name": "", "type": "REG_BINARY", "data": "0a0b"},
        {"root": "HKLM", "key": "Software\\Locked", "denied": true}
      ]})"),
                   {});
    using platform::RegistryRoot;
    auto value = [](RegistryRoot root, const char16_t* key, const char* name) {
        return platform::portable::GetRegistryValue(root, key, name).value().data;
    };
    using B = std::vector<std::uint8_t>;
    EXPECT_EQ(value(RegistryRoot::CurrentUser, u"Software\\A", "Text"),
              (B{'c', 'a', 'f', 0xE9, 0}));
    EXPECT_EQ(value(RegistryRoot::CurrentUser, u"Software\\A", "Count"), (B{4, 3, 2, 1}));
    EXPECT_EQ(value(RegistryRoot::CurrentUser, u"Software\\A", "Names"), (B{'a', 0, 'b', 0, 0}));
    EXPECT_EQ(value(RegistryRoot::CurrentUser, u"Software\\A", "Raw"), (B{'a', 'b'}));
    EXPECT_EQ(value(RegistryRoot::LocalMachine, u"Software\\B", ""), (B{0x0A, 0x0B}));
    char expanded[16];
    platform::ExpandEnvironment("%SITE%\\x", expanded, sizeof expanded);
    EXPECT_STREQ(expanded, "HQ\\x");
    platform::RegistryHandle handle = nullptr;
    EXPECT_EQ(platform::CreateRegistryKey(RegistryRoot::LocalMachine, u"Software\\Locked",
                                          platform::kKeyRead, &handle),
              platform::kErrorAccessDenied);

    // The dump gives every value back in the form it was given (values by name), the
    // unterminated string raw.
    sim::OrderedJson dump = sim::DumpRegistry();
    Json expected = Json::parse(R"([
      {"root": "HKCU", "key": "Software\\A", "name": "Count",
       "type": "REG_DWORD", "data": 16909060},
      {"root": "HKCU", "key": "Software\\A", "name": "Names",
       "type": "REG_MULTI_SZ", "data": ["a", "b"]},
      {"root": "HKCU", "key": "Software\\A", "name": "Path",
       "type": "REG_EXPAND_SZ", "data": "%SITE%\\x"},
      {"root": "HKCU", "key": "Software\\A", "name": "Raw",
       "type": "REG_SZ", "data": {"hex": "6162"}},
      {"root": "HKCU", "key": "Software\\A", "name": "Text", "type": "REG_SZ", "data": "caf\u00e9"},
      {"root": "HKLM", "key": "Software\\B", "name": "", "type": "REG_BINARY", "data": "0a0b"},
      {"root": "HKLM", "key": "Software\\Locked"}
    ])");
    EXPECT_EQ(Json::parse(dump.dump()), expected);
}

TEST(SetupJson, SampleOrganisationHasItsParticularCases) {
    ResetAll();
    sim::LoadSetup(sim::ReadJsonFile(kExamples / "sample-organisation.json"), kExamples);

    // Markers name their folders by source key, through the name map's packed names.
    sim::Mailbox& alice = MailboxOf("abaker");
    const sim::NamedProperty* entryIdName = nullptr;
    for (const sim::NamedProperty& name : alice.namedProperties)
        if (name.name == sim::PackAsciiName("PR_KVO_SYNCH_ENTRYID")) entryIdName = &name;
    ASSERT_NE(entryIdName, nullptr);
    sim::Folder* info = ChildNamed(*alice.root, u"TavrelHandheldInfo");
    ASSERT_NE(info, nullptr);
    sim::Folder* synch = ChildNamed(*info, u"TavrelSynch");
    ASSERT_NE(synch, nullptr);
    ASSERT_EQ(synch->messages.size(), 3u);
    sim::Folder* ipm = sim::FindFolder(*alice.root, alice.special.ipmSubtree);
    sim::Folder* inbox = sim::FindFolder(*alice.root, alice.special.inbox);
    ASSERT_TRUE(ipm && inbox);
    EXPECT_EQ(ChildNamed(*ipm, u"Inbox"), inbox);
    const sim::PropValue* key = sim::FindProp(
        synch->messages[0].props, mapi::PROP_TAG(mapi::PT_BINARY, entryIdName->propertyId));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(*key, *sim::FindProp(inbox->props, mapi::PR_SOURCE_KEY));

    // Additional special folders keep their order and the empty second value.
    sim::Mailbox& kofi = MailboxOf("klarbi");
    ASSERT_EQ(kofi.special.additional.size(), 5u);
    EXPECT_EQ(kofi.special.additional[1], 0u);
    EXPECT_NE(kofi.special.additional[4], 0u);

    // Two Inbox folders that differ only in case stay two folders.
    sim::Mailbox& lena = MailboxOf("lmeyer");
    sim::Folder* lenaIpm = sim::FindFolder(*lena.root, lena.special.ipmSubtree);
    EXPECT_NE(ChildNamed(*lenaIpm, u"Inbox"), nullptr);
    EXPECT_NE(ChildNamed(*lenaIpm, u"inbox"), nullptr);

    EXPECT_TRUE(MailboxOf("ijensen").root->hierarchyHidden);
    EXPECT_FALSE(MailboxOf("mnovak").adminAccess);

    // Proxies: absent, present but empty, and in the given order.
    auto entry = [](const char16_t* name) -> const sim::AddressEntry& {
        for (const sim::AddressEntry& candidate : Org().addressBook)
            if (std::get<std::u16string>(
                    *sim::FindProp(candidate.props, mapi::PR_DISPLAY_NAME_W)) == name)
                return candidate;
        throw std::runtime_error("no entry");
    };
    EXPECT_EQ(sim::FindProp(entry(u"Ines Jensen").props, mapi::PR_EMS_AB_PROXY_ADDRESSES_W),
              nullptr);
    EXPECT_EQ(*sim::FindProp(entry(u"Jonas Keller").props, mapi::PR_EMS_AB_PROXY_ADDRESSES_W),
              sim::PropValue(std::vector<std::u16string>{}));
    EXPECT_EQ(std::get<std::vector<std::u16string>>(*sim::FindProp(
                  entry(u"Bruno Costa").props, mapi::PR_EMS_AB_PROXY_ADDRESSES_W))[1],
              u"smtp:bruno.costa@example.com");
    EXPECT_EQ(sim::FindProp(entry(u"Lena Meyer").props, mapi::PR_EMS_AB_HOME_MDB_W), nullptr);
    EXPECT_EQ(entry(u"Tavrel Pilot Users").members.size(), 4u);

    // The loaded profile is where MAPI keeps profiles.
    EXPECT_TRUE(platform::portable::RegistryKeyExists(
        platform::RegistryRoot::CurrentUser,
        u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
        u"Subsystem\\Profiles\\Outlook"));
}

TEST(SetupJson, DumpOfTheSampleLoadsBackToTheSameState) {
    ResetAll();
    sim::LoadSetup(sim::ReadJsonFile(kExamples / "sample-organisation.json"), kExamples);
    // State a run leaves behind: delivered mail, a profile without key, extra store rows.
    sim::DeliveredMail mail;
    mail.fromMailboxDn = MailboxOf("tavadmin").dn;
    mail.props[mapi::PR_SUBJECT_W] = std::u16string(u"Hello");
    mail.recipients.push_back({{{mapi::PR_EMAIL_ADDRESS_W, std::u16string(u"a@example.com")}}});
    Org().delivered.push_back(mail);
    Org().profiles.front().registryKey = false;
    Org().profiles.front().extraStoreRows.push_back({{mapi::PR_DEFAULT_STORE, false}});
    const std::string first = sim::DumpState().dump(1);

    ResetAll();
    sim::LoadSetup(Json::parse(first), {});
    EXPECT_EQ(sim::DumpState().dump(1), first);
    EXPECT_EQ(Org().delivered.size(), 1u);
    EXPECT_FALSE(Org().profiles.front().registryKey);
    EXPECT_EQ(Org().mailboxes.size(), 15u);
}

TEST(SetupJson, ScriptedAnswersAndFaults) {
    ResetAll();
    sim::SetupExtras extras = sim::LoadSetup(Json::parse(R"({
      "organisation": {"addressBook": [{"displayName": "Ann", "dn": "/o=E/cn=ann"}]},
      "answers": {"addressDialog": [{"pick": ["/O=E/CN=ANN", "Ann"]}, {"cancel": true},
                                    {"fail": "E_FAIL"}],
                  "serviceDialog": [{"server": "S", "mailbox": "/o=E/cn=ann"}, {"cancel": true}],
                  "messageBoxes": ["Cancel", 6, "no"]},
      "com": {"coInitializeResult": "0x80010106"},
      "faults": [{"method": "IMAPITable::QueryRows", "result": "MAPI_E_NOT_FOUND", "nth": 2,
                  "object": "contents:Inbox"},
                 {"method": "IMsgStore::OpenEntry", "nullOut": true}]
    })"),
                                             {});
    const auto& address = Org().addressDialogAnswers;
    ASSERT_EQ(address.size(), 3u);
    EXPECT_EQ(address[0].picks, (std::vector<std::uint32_t>{1, 1}));
    EXPECT_EQ(address[1].action, sim::AddressDialogAnswer::Action::Cancel);
    EXPECT_EQ(address[2].failure, mapi::E_FAIL);
    ASSERT_EQ(Org().serviceDialogAnswers.size(), 2u);
    EXPECT_EQ(Org().serviceDialogAnswers[0].server, u"S");
    EXPECT_TRUE(Org().serviceDialogAnswers[1].cancel);
    EXPECT_EQ(extras.messageBoxAnswers, (std::vector<int>{2, 6, 7}));
    EXPECT_EQ(extras.coInitializeResult, std::int32_t(0x80010106));
    ASSERT_EQ(extras.faults.size(), 2u);
    EXPECT_EQ(extras.faults[0].fault.nth, 2);
    EXPECT_EQ(extras.faults[0].fault.result, mapi::MAPI_E_NOT_FOUND);
    EXPECT_TRUE(extras.faults[1].fault.nullOut);
    EXPECT_EQ(extras.faults[1].fault.result, 0);
}

}  // namespace

// Picks and members name an entry by its display name exactly, else by its address with ASCII
// case ignored; a name two entries share is refused, not taken as the first.
TEST(SetupJson, PicksNameEntriesByDisplayNameThenAddress) {
    ResetAll();
    sim::LoadSetup(Json::parse(R"({"organisation": {"addressBook": [
        {"displayName": "Alice", "dn": "/o=E/cn=alice"},
        {"displayName": "Bob", "dn": "/o=E/cn=BOB"},
        {"displayName": "Carol", "dn": "/o=E/cn=carol"},
        {"displayName": "Carol", "dn": "/o=E/cn=carol2"},
        {"displayName": "/o=E/cn=dave", "dn": "/o=E/cn=d"},
        {"displayName": "Eve", "dn": "/o=E/cn=dave"},
        {"displayName": "X1", "dn": "/o=E/cn=x"},
        {"displayName": "X2", "dn": "/o=E/CN=X"}]}})"),
                   {});
    struct Case {
        const char* pick;
        std::uint32_t index;  // 0: refused
        const char* error;
    };
    const Case cases[] = {
        {"Bob", 2, ""},
        {"/O=E/CN=bob", 2, ""},
        {"bob", 0, "no address-book entry"},
        {"Carol", 0, "more than one"},
        {"/o=E/cn=dave", 5, ""},
        {"/o=e/cn=X", 0, "more than one"},
        {"", 0, "no address-book entry"},
    };
    sim::EntryNames names(sim::Simulator::Instance().Org());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pick);
        try {
            EXPECT_EQ(names.Resolve(Json(c.pick), "pick"), c.index);
            EXPECT_NE(c.index, 0u);
        } catch (const sim::JsonError& error) {
            EXPECT_EQ(c.index, 0u) << error.what();
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
        }
    }
    ResetAll();
}
