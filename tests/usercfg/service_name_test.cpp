// GetTavrelServiceNameForUser through the user's mailbox: store, root, "TavrelHandheldInfo",
// configuration message, SERVICE_NAME.
#include <gtest/gtest.h>

#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
using testing::WideArg;

constexpr char16_t kServer[] = u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
const std::u16string kDnPrefix = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";

class ServiceName : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        // jdoe: folder and message with a service name; the others lack one piece each.
        builder_.Mailbox(kDnPrefix + u"jdoe", kServer)
            .StandardFolders()
            .Folder(u"TavrelHandheldInfo")
            .Message(u"KVO.Tavrel.Handheld.Config")
            .Prop(0x600C001F, std::u16string(u"TES-East"));
        builder_.Mailbox(kDnPrefix + u"nofolder", kServer).StandardFolders();
        builder_.Mailbox(kDnPrefix + u"empty", kServer).StandardFolders().Folder(u"TavrelHandheldInfo");
        builder_.Mailbox(kDnPrefix + u"noname", kServer)
            .StandardFolders()
            .Folder(u"tavrelhandheldinfo")  // found whatever the ASCII case
            .Message(u"kvo.tavrel.HANDHELD.config");
        ASSERT_TRUE(Initialize());
    }

    bool Lookup(std::u16string_view user, char16_t* buffer, std::uint32_t capacity) {
        WideArg dn(kDnPrefix + std::u16string(user));
        WideArg server(kServer);
        return GetTavrelServiceNameForUser(dn, server, buffer, capacity);
    }
};

TEST_F(ServiceName, FoundNameArrivesTerminatedWithTheWholeLogInOrder) {
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    ASSERT_TRUE(Lookup(u"jdoe", buffer, 16));
    EXPECT_EQ(std::u16string(buffer, 16), std::u16string(u"TES-East") + std::u16string(8, u'\0'));
    const std::string user = "/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
    const std::string server = sim::ToUtf8(kServer);
    EXPECT_EQ(LogUtf8(),
              (std::vector<std::string>{
                  "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] UserDN=" + user +
                      ", ServerDN=" + server,
                  "4:[ExchangeAdaptorDLL::OpenMsgStore] Opening Mailbox; Mailbox=" + user +
                      ", Server=" + server,
                  "4:[ExchangeAdaptorDLL::OpenMsgStore] OpenMsgStore succeeded.",
                  "4:[ExchangeAdaptorDLL::OpenNamedFolder] Called with name='TavrelHandheldInfo'.",
                  "4:[ExchangeAdaptorDLL::OpenNamedFolder] Opened folder named 'TavrelHandheldInfo'.",
                  "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] Found SERVICE_NAME='TES-East' "
                  "for user=" + user + ".",
              }));

    // What MAPI was asked, with which flags.
    auto& simulator = sim::Simulator::Instance();
    auto ids = simulator.CallsTo("IExchangeManageStore::CreateStoreEntryID");
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0].args["flags"], "0x00000009");
    EXPECT_EQ(ids[0].args["storeDn"], server);
    EXPECT_EQ(ids[0].args["mailboxDn"], user);
    auto stores = simulator.CallsTo("IMAPISession::OpenMsgStore");
    ASSERT_EQ(stores.size(), 2u);  // the default store, then the user's
    EXPECT_EQ(stores[1].args["flags"], "0x000000a5");
    auto roots = simulator.CallsTo("IMsgStore::OpenEntry");
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.back().args["entryId"], "");
    EXPECT_EQ(roots.back().args["flags"], "0x00000011");
    auto hierarchy = simulator.CallsTo("IMAPIFolder::GetHierarchyTable");
    ASSERT_EQ(hierarchy.size(), 1u);
    EXPECT_EQ(hierarchy[0].args["flags"], "0x80000000");
    auto contents = simulator.CallsTo("IMAPIFolder::GetContentsTable");
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0].args["flags"], "0x80000000");
    auto opens = simulator.CallsTo("IMAPIFolder::OpenEntry");
    ASSERT_EQ(opens.size(), 2u);  // the configuration folder, then the message
    EXPECT_EQ(opens[0].args["flags"], "0x00000011");
    EXPECT_EQ(opens[1].args["flags"], "0x00000001");
    // The scans fetch one row per call.
    for (auto& query : simulator.CallsTo("IMAPITable::QueryRows")) {
        if (query.object.find("msgstores") != std::string::npos) continue;
        EXPECT_EQ(query.args["rows"], "1") << query.object;
    }
}

TEST_F(ServiceName, OutcomesForUsersWithoutAName) {
    struct Case {
        const char16_t* user;
        bool result;
        std::string lastLine;
    };
    const Case cases[] = {
        {u"nofolder", true,
         "3:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] OpenNamedFolder failed, Not Found, "
         "result=0x8004010f."},
        {u"empty", false,
         "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] GetHandheldConfigMessageEntryId "
         "failed."},
        {u"noname", true, "4:[ExchangeAdaptorDLL::OpenNamedFolder] Opened folder named 'TavrelHandheldInfo'."},
        {u"nobody", false, "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] OpenMsgStore failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::ToUtf8(c.user));
        char16_t buffer[8] = {u'x', u'x', u'x'};
        EXPECT_EQ(Lookup(c.user, buffer, 8), c.result);
        EXPECT_EQ(std::u16string(buffer, 8), std::u16string(8, u'\0'));
        ASSERT_FALSE(Log().empty());
        EXPECT_EQ(LogUtf8().back(), c.lastLine);
    }
}

TEST_F(ServiceName, NamesThatDoNotFitAreRefusedRatherThanCut) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_FALSE(Lookup(u"jdoe", buffer, 8));  // "TES-East" is 8 characters
    EXPECT_EQ(std::u16string(buffer, 8), std::u16string(8, u'\0'));
    EXPECT_EQ(LogUtf8().back(),
              "3:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] SERVICE_NAME for "
              "user=/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe does not fit "
              "into 8 characters; its length is 8.");
    char16_t exact[9];
    EXPECT_TRUE(Lookup(u"jdoe", exact, 9));
    EXPECT_EQ(std::u16string(exact), u"TES-East");
}

// Every step of the road to SERVICE_NAME failing in turn: false, the step's line last, and an
// empty buffer.
TEST_F(ServiceName, EachFailingStepEndsTheLookup) {
    struct Case {
        const char* method;
        std::string lastLine;
        int nth = 0;
    };
    const std::string op = "[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] ";
    const std::vector<Case> cases = {
        {"IExchangeManageStore::CreateStoreEntryID", "4:" + op + "OpenMsgStore failed."},
        {"IMAPISession::OpenMsgStore", "4:" + op + "OpenMsgStore failed."},
        {"IMsgStore::OpenEntry", "4:" + op + "OpenRootFolder failed."},
        {"IMAPIFolder::GetHierarchyTable",
         "4:" + op + "OpenNamedFolder failed, result=0x80040115."},
        {"IMAPIFolder::GetContentsTable", "4:" + op + "GetHandheldConfigMessageEntryId failed."},
        // The first IMAPIFolder::OpenEntry opens the folder, the second the message.
        {"IMAPIFolder::OpenEntry", "4:" + op + "OpenMessageByEntryId failed.", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        sim::Simulator::Instance().ClearFaults();
        Fail(c.method, std::int32_t(0x80040115), c.nth);
        char16_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_FALSE(Lookup(u"jdoe", buffer, 16));
        EXPECT_EQ(std::u16string(buffer, 16), std::u16string(16, u'\0'));
        ASSERT_FALSE(Log().empty());
        EXPECT_EQ(LogUtf8().back(), c.lastLine);
    }
}

TEST_F(ServiceName, RefusedArgumentsAndRights) {
    WideArg dn(kDnPrefix + u"jdoe");
    WideArg server(kServer);
    EXPECT_FALSE(GetTavrelServiceNameForUser(dn, server, nullptr, 8));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                             "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] Bad parameters."});

    // The hierarchy refuses the account.
    Fail("IMAPIFolder::GetHierarchyTable", std::int32_t(0x80070005));
    char16_t buffer[16];
    EXPECT_FALSE(GetTavrelServiceNameForUser(dn, server, buffer, 16));
    EXPECT_EQ(LogUtf8().back(),
              "3:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] OpenNamedFolder failed, Access "
              "Denied, result=0x80070005.");
    sim::Simulator::Instance().ClearFaults();

    // SERVICE_NAME that cannot be read for another reason than its absence.
    Fail("IMessage::GetProps", std::int32_t(0x80040115));
    EXPECT_FALSE(GetTavrelServiceNameForUser(dn, server, buffer, 16));
    EXPECT_EQ(LogUtf8().back(),
              "3:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] Failed to get SERVICE_NAME for "
              "user=/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe.");
    sim::Simulator::Instance().ClearFaults();

    ASSERT_TRUE(Uninitialize());
    EXPECT_FALSE(GetTavrelServiceNameForUser(dn, server, buffer, 16));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                             "4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] No session."});
}

}  // namespace
}  // namespace tav
