// Initialize, IsInitialized, Uninitialize and GetMailStoreType against the simulated
// organisation: the profile is found or created, the session, address book, default store and
// store manager are opened, and every failure is reported as the console and the administrator
// expect.
#include <gtest/gtest.h>

#include "core/adaptor_session.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
namespace portable = platform::portable;

constexpr char kUsingProfile[] =
    "4:[ExchangeAdaptorDLL::GetProfileName] Using MAPI profile 'TavrelManager'.";
const std::string kInitFailedBox =
    "An error occurred while initializing a MAPI session using the profile 'TavrelManager'. "
    "Please review the log for details.";
const std::string kStoreFailedBox =
    "Failed to open the default message store using the MAPI Profile 'TavrelManager'. Please "
    "review the log for details. You will not be able to send messages from Tavrel Manager by "
    "email.";

class SessionLifecycle : public LibraryTest {};

TEST_F(SessionLifecycle, ExistingProfileOpensEverythingWithoutAskingAnybody) {
    AdminOrganisation();
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{kUsingProfile});
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(sim::Simulator::Instance().ServiceDialogs().empty());
    AdaptorSession& s = Session();
    EXPECT_TRUE(s.session && s.addrBook && s.defaultMsgStore && s.xms);

    auto& simulator = sim::Simulator::Instance();
    auto logons = simulator.CallsTo("MAPILogonEx");
    ASSERT_EQ(logons.size(), 1u);
    EXPECT_EQ(logons[0].args["flags"], "0x80008033");
    auto stores = simulator.CallsTo("IMAPISession::OpenMsgStore");
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].args["flags"], "0x00000004");
    auto books = simulator.CallsTo("IMAPISession::OpenAddressBook");
    ASSERT_EQ(books.size(), 1u);
    EXPECT_EQ(books[0].args["flags"], "0x00000001");

    // IsInitialized clears the log; GetMailStoreType and GetDebugLogInfo leave it alone.
    ClearLog();
    WriteLog(u"Op", 4, u"line of an earlier call");
    EXPECT_EQ(GetMailStoreType(), 1);
    EXPECT_EQ(Log().size(), 1u);
    EXPECT_TRUE(IsInitialized());
    EXPECT_TRUE(Log().empty());

    EXPECT_TRUE(Uninitialize());
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                             "4:[ExchangeAdaptorDLL::Uninitialize] Uninitializing MAPI connection."});
    EXPECT_FALSE(IsInitialized());
    EXPECT_FALSE(s.session || s.addrBook || s.defaultMsgStore || s.xms);
    EXPECT_TRUE(Uninitialize());  // nothing left to release or uninitialise
    ExpectNothingLeft();
}

TEST_F(SessionLifecycle, FirstRunCreatesAndConfiguresTheProfile) {
    builder_.Server(testing::kServerDn, u"EXCH01");
    builder_.Mailbox(testing::kAdminDn, testing::kServerDn).StandardFolders();
    sim::ServiceDialogAnswer answer;
    answer.server = u"EXCH01";
    answer.mailbox = testing::kAdminDn;
    builder_.Org().serviceDialogAnswers.push_back(answer);

    ASSERT_TRUE(Initialize());
    EXPECT_EQ(LogUtf8(), (std::vector<std::string>{
                             kUsingProfile,
                             "3:[ExchangeAdaptorDLL::GetProfileName] Profile 'TavrelManager' "
                             "doesn't exist. Creating it."}));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].flags, 0x01u);
    EXPECT_EQ(Boxes()[0].caption, u"Warning");
    EXPECT_EQ(sim::ToUtf8(Boxes()[0].text).substr(0, 50),
              "The MAPI Profile 'TavrelManager' does not exist.\n\n");
    // The default setting was written, and MAPI keeps the new profile.
    auto setting = portable::GetRegistryValue(platform::RegistryRoot::CurrentUser,
                                              testing::kSettingsKey, "MAPIProfile");
    ASSERT_TRUE(setting);
    EXPECT_EQ(setting->type, platform::kRegSz);
    EXPECT_NE(builder_.Org().FindProfile("TavrelManager"), nullptr);
    EXPECT_TRUE(Session().xms);
    ASSERT_TRUE(Uninitialize());

    // The second run finds the profile and asks nobody.
    portable::ResetMessageBoxes();
    ASSERT_TRUE(Initialize());
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{kUsingProfile});
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(sim::Simulator::Instance().ServiceDialogs().size(), 1u);
}

// Every way Initialize can fail, from COM to the store manager.
TEST_F(SessionLifecycle, FailuresOfInitialize) {
    struct Case {
        const char* name;
        const char* method;  // fault injected, or "CoInitialize"
        std::int32_t result;
        std::vector<std::string> log;  // after the profile line where there is one
        bool profileLine;
        std::vector<std::string> boxes;
        bool initialized;
    };
    const std::vector<Case> cases = {
        {"CoInitialize", "CoInitialize", std::int32_t(0x8001010E),
         {"1:[ExchangeAdaptorDLL::Initialize] Error in CoInitialize, result=0x8001010e."},
         false,
         {"An error occurred while initializing a MAPI session using the profile ''. Please "
          "review the log for details."},
         false},
        {"MAPIInitialize", "MAPIInitialize", std::int32_t(0x80040111),
         {"1:[ExchangeAdaptorDLL::Initialize] Error in MAPIInitialize, result=0x80040111."},
         false,
         {"An error occurred while initializing a MAPI session using the profile ''. Please "
          "review the log for details."},
         false},
        {"GetProfileName", "MAPIAdminProfiles", std::int32_t(0x80040108),
         {"3:[ExchangeAdaptorDLL::GetProfileName] Failed to obtain Profile Admin object, "
          "result=0x80040108",
          "2:[ExchangeAdaptorDLL::Initialize] Failed in GetProfileName, result=0x80040108."},
         true,
         {"An error occurred while initializing a MAPI session using the profile ''. Please "
          "review the log for details."},
         false},
        {"MAPILogonEx", "MAPILogonEx", std::int32_t(0x80040111),
         {"2:[ExchangeAdaptorDLL::Initialize] Failed in MAPILogonEx, profile='TavrelManager', "
          "result=0x80040111."},
         true,
         {kInitFailedBox},
         false},
        {"OpenAddressBook", "IMAPISession::OpenAddressBook", std::int32_t(0x80040115),
         {"2:[ExchangeAdaptorDLL::Initialize] Could not get MAPI Address Book, "
          "result=0x80040115."},
         true,
         {kInitFailedBox},
         false},
        {"GetDefaultMsgStore", "IMAPISession::GetMsgStoresTable", std::int32_t(0x80040115),
         {"4:[ExchangeAdaptorDLL::GetDefaultMsgStore] GetMsgStoresTable failed, "
          "result=0x80040115.",
          "2:[ExchangeAdaptorDLL::Initialize] Failed to get default message store, "
          "result=0x80004005."},
         true,
         {kStoreFailedBox},
         true},
        {"OpenMsgStore", "IMAPISession::OpenMsgStore", std::int32_t(0x8004011D),
         {"2:[ExchangeAdaptorDLL::Initialize] Failed to open default message store, "
          "result=0x8004011d."},
         true,
         {kStoreFailedBox},
         true},
        {"store manager", "IMsgStore::QueryInterface", std::int32_t(0x80004002),
         {"2:[ExchangeAdaptorDLL::Initialize] Failed to get XMS, result=0x80004002."},
         true,
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim::OrgBuilder organisation;
        AdminOrganisation(organisation);
        if (std::string(c.method) == "CoInitialize")
            portable::SetCoInitializeResult(c.result);
        else
            Fail(c.method, c.result);

        // The 50010 box comes before the log line that reports the store failure.
        std::size_t linesAtFirstBox = 0;
        portable::SetMessageBoxObserver([&](const portable::MessageBoxRecord&) {
            if (linesAtFirstBox == 0) linesAtFirstBox = Log().size();
            return 0;
        });
        bool result = Initialize();
        std::vector<std::string> log = LogUtf8();
        EXPECT_EQ(result, c.initialized);
        EXPECT_EQ(IsInitialized(), c.initialized);
        std::vector<std::string> expected = c.log;
        if (c.profileLine) expected.insert(expected.begin(), kUsingProfile);
        EXPECT_EQ(log, expected);
        EXPECT_EQ(BoxTexts(), c.boxes);
        for (const auto& box : Boxes()) EXPECT_EQ(box.flags, 0x30u);
        if (c.initialized && !c.boxes.empty()) {
            EXPECT_EQ(linesAtFirstBox, expected.size() - 1);
        }

        AdaptorSession& s = Session();
        EXPECT_EQ(bool(s.addrBook), c.initialized);
        EXPECT_EQ(bool(s.defaultMsgStore), std::string(c.name) == "store manager");
        EXPECT_FALSE(s.xms);
        if (!c.initialized) {
            // Nothing outlives MAPI, and what COM counted is undone once by Uninitialize.
            EXPECT_FALSE(s.session);
            EXPECT_EQ(sim::Simulator::Instance().MapiInitializeBalance(), 0);
        }
        portable::SetCoInitializeResult(std::nullopt);
        TearDown();
    }
}

// A second Initialize starts from nothing: whatever its own steps obtain is what the session
// holds, so a failing logon or address book is reported as false and a missing default store
// keeps later bulletins from going through the first session's store.
TEST_F(SessionLifecycle, RepeatedInitializeDescribesTheNewSession) {
    struct Case {
        const char* method;
        std::int32_t result;
        bool initialized;
        std::string lastLine;
    };
    const std::vector<Case> cases = {
        {"MAPILogonEx", std::int32_t(0x80040111), false,
         "2:[ExchangeAdaptorDLL::Initialize] Failed in MAPILogonEx, profile='TavrelManager', "
         "result=0x80040111."},
        {"IMAPISession::OpenAddressBook", std::int32_t(0x80040115), false,
         "2:[ExchangeAdaptorDLL::Initialize] Could not get MAPI Address Book, result=0x80040115."},
        {"IMAPISession::OpenMsgStore", std::int32_t(0x8004011D), true,
         "2:[ExchangeAdaptorDLL::Initialize] Failed to open default message store, "
         "result=0x8004011d."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        SetUp();
        sim::OrgBuilder organisation;
        AdminOrganisation(organisation);
        ASSERT_TRUE(Initialize());
        Fail(c.method, c.result);
        auto& simulator = sim::Simulator::Instance();
        simulator.ClearRecords();

        EXPECT_EQ(Initialize(), c.initialized);
        ASSERT_FALSE(Log().empty());
        EXPECT_EQ(LogUtf8().back(), c.lastLine);
        EXPECT_EQ(IsInitialized(), c.initialized);
        AdaptorSession& s = Session();
        EXPECT_EQ(bool(s.session), c.initialized);
        EXPECT_EQ(bool(s.addrBook), c.initialized);
        EXPECT_FALSE(s.defaultMsgStore || s.xms);
        // The first session's objects went before the second logon.
        if (!c.initialized) {
            EXPECT_EQ(simulator.LiveObjects(), 0);
        }

        WideStringList recipients{};
        InitList(recipients);
        AppendToList(recipients, u"someone@example.com");
        testing::WideArg subject(u"Subject");
        testing::WideArg body(u"Body");
        simulator.ClearRecords();
        EXPECT_FALSE(SendBulletinByEmail(subject, body, &recipients));
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                                 "4:[ExchangeAdaptorDLL::SendBulletinByEmail] No session."});
        EXPECT_TRUE(simulator.CallsTo("IMsgStore::GetReceiveFolder").empty());
        DestroyList(recipients);
        TearDown();
    }
}

}  // namespace
}  // namespace tav
