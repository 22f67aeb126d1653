// Creating the MAPI profile on first use: every way it can fail leaves no new profile behind, and
// Initialize reports it.
#include <gtest/gtest.h>

#include "core/profile_name.h"
#include "platform/code_page.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
namespace portable = platform::portable;

constexpr char kUsing[] = "4:[ExchangeAdaptorDLL::GetProfileName] Using MAPI profile 'TavrelManager'.";
constexpr char kCreating[] =
    "3:[ExchangeAdaptorDLL::GetProfileName] Profile 'TavrelManager' doesn't exist. Creating it.";
const std::u16string kProfileKey =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles\\"
    u"TavrelManager";

class ProfileProvisioning : public LibraryTest {};

TEST_F(ProfileProvisioning, FailuresDeleteTheProfileThisCallCreated) {
    struct Case {
        const char* name;
        const char* method;  // fault, "" for none
        std::int32_t result;
        std::vector<std::string> lines;  // between "Using" and Initialize's line
        bool profileBox;
        std::uint32_t finalResult;
        bool exchangeInstalled = true;
        bool cancelServiceDialog = false;
        bool cancelProfileBox = false;
    };
    const std::vector<Case> cases = {
        {"name taken without key", "IProfAdmin::CreateProfile", std::int32_t(0x80070005),
         {"3:[ExchangeAdaptorDLL::GetProfileName] Failed to create profile 'TavrelManager', "
          "result=0x80070005"},
         false, 0x80070005},
        {"CreateProfile", "IProfAdmin::CreateProfile", std::int32_t(0x80040115),
         {"3:[ExchangeAdaptorDLL::GetProfileName] Failed to create profile 'TavrelManager', "
          "result=0x80040115"},
         false, 0x80040115},
        {"box cancelled", "", 0, {}, true, 0x80040113, true, false, true},
        {"AdminServices", "IProfAdmin::AdminServices", std::int32_t(0x80040115),
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed to configure MAPI profile "
          "'TavrelManager', result=0x80040115"},
         true, 0x80040115},
        {"Exchange missing", "", 0,
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed in CreateMsgService for profile "
          "'TavrelManager', result=0x8004010f: Unable to find Exchange Server MAPI component."},
         true, 0x8004010F, false},
        {"CreateMsgService", "IMsgServiceAdmin::CreateMsgService", std::int32_t(0x80040115),
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed in CreateMsgService for profile "
          "'TavrelManager', result=0x80040115."},
         true, 0x80040115},
        {"GetMsgServiceTable", "IMsgServiceAdmin::GetMsgServiceTable", std::int32_t(0x80040115),
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed in GetMsgServiceTable for profile "
          "'TavrelManager', result=0x80040115."},
         true, 0x80040115},
        {"HrQueryAllRows", "IMAPITable::SetColumns", std::int32_t(0x80040117),
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed in HrQueryAllRows for profile "
          "'TavrelManager', result=0x80040117."},
         true, 0x80040117},
        {"service table without rows", "IMAPITable::QueryRows", 0,
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Invalid properties in MsgSvcTable for profile "
          "'TavrelManager', result=0x80004005."},
         true, 0x80004005},
        {"service dialog cancelled", "", 0,
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] User Cancelled in ConfigureMsgService for "
          "profile 'TavrelManager', result=0x80040113."},
         true, 0x80040113, true, true},
        {"ConfigureMsgService", "IMsgServiceAdmin::ConfigureMsgService", std::int32_t(0x80040115),
         {kCreating,
          "3:[ExchangeAdaptorDLL::GetProfileName] Failed in ConfigureMsgService for profile "
          "'TavrelManager', result=0x80040115."},
         true, 0x80040115},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim::OrgBuilder organisation;
        organisation.Server(testing::kServerDn, u"EXCH01");
        organisation.Mailbox(testing::kAdminDn, testing::kServerDn).StandardFolders();
        organisation.ExchangeServiceInstalled(c.exchangeInstalled);
        sim::ServiceDialogAnswer answer;
        answer.cancel = c.cancelServiceDialog;
        answer.server = u"EXCH01";
        answer.mailbox = testing::kAdminDn;
        organisation.Org().serviceDialogAnswers.push_back(answer);
        if (*c.method && c.result == 0) {
            sim::Fault fault;  // succeeds without handing out rows
            fault.method = c.method;
            fault.nth = 1;
            fault.nullOut = true;
            sim::Simulator::Instance().AddFault(fault);
        } else if (*c.method) {
            Fail(c.method, c.result, 1);
        }
        if (c.cancelProfileBox) portable::QueueMessageBoxAnswer(platform::kIdCancel);

        EXPECT_FALSE(Initialize());
        std::vector<std::string> expected = {kUsing};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        char initLine[120];
        std::snprintf(initLine, sizeof initLine,
                      "2:[ExchangeAdaptorDLL::Initialize] Failed in GetProfileName, "
                      "result=0x%08x.",
                      c.finalResult);
        expected.push_back(initLine);
        EXPECT_EQ(LogUtf8(), expected);

        std::vector<std::uint32_t> flags;
        for (const auto& box : Boxes()) flags.push_back(box.flags);
        const std::vector<std::uint32_t> expectedFlags =
            c.profileBox ? std::vector<std::uint32_t>{0x01, 0x30} : std::vector<std::uint32_t>{0x30};
        EXPECT_EQ(flags, expectedFlags);
        // No profile is left behind, in MAPI or in the registry.
        EXPECT_EQ(organisation.Org().FindProfile("TavrelManager"), nullptr);
        EXPECT_FALSE(portable::RegistryKeyExists(platform::RegistryRoot::CurrentUser, kProfileKey));
        EXPECT_FALSE(IsInitialized());
        TearDown();
    }
}

TEST_F(ProfileProvisioning, ProfileNamesWithHighBytesAreFoundUnderTheirEscapedKey) {
    const std::string name = std::string("Verwaltung-M\xFC") + "nchen-" + std::string(60, 'x');
    builder_.Server(testing::kServerDn, u"EXCH01");
    builder_.Mailbox(testing::kAdminDn, testing::kServerDn).StandardFolders();
    builder_.Profile(name).ExchangeService(testing::kServerDn, testing::kAdminDn);
    portable::PutRegistryString(platform::RegistryRoot::CurrentUser, testing::kSettingsKey,
                                "MAPIProfile", name);
    ASSERT_TRUE(Initialize());
    EXPECT_TRUE(Boxes().empty());
    // MAPI holds the key under the escaped, cut name, and that is where the library looked.
    std::u16string key = platform::FromSystemCodePage(ProfileKeyPath(name));
    EXPECT_TRUE(portable::RegistryKeyExists(platform::RegistryRoot::CurrentUser, key));
    EXPECT_NE(key.find(u"M[|\u007Fnchen-xx"), std::u16string::npos);
    EXPECT_EQ(key.substr(key.rfind(u'\\') + 1).size(), 64u + 2);  // 64 bytes, one escaped
}

}  // namespace
}  // namespace tav
