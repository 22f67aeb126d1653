// RemoveUserFromLegacyServer in a legacy server's administrator mailbox, and the folder lookup
// rules it relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/default_msg_store.h"
#include "mailbox/config_message.h"
#include "mailbox/open_msg_store.h"
#include "mailbox/open_named_folder.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
using testing::WideArg;

constexpr char16_t kServer[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
constexpr char16_t kLegacyAdmin[] =
    u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=legacyadmin";
const std::u16string kUsers = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";

class LegacyRemoval : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        sim::MailboxBuilder& admin = builder_.Mailbox(kLegacyAdmin, kServer).StandardFolders();
        sim::FolderBuilder& service = admin.Folder(u"TavrelService");
        handhelds_ = &service.Folder(u"Handhelds");
        stats_ = &service.Folder(u"HandheldStats");
        // both: two records; handheld: only a handheld record; stats: only statistics;
        // twice: two handheld records.
        Record(*handhelds_, 0x6002001F, u"both");
        Record(*stats_, 0x600C001F, u"both");
        Record(*handhelds_, 0x6002001F, u"handheld");
        Record(*stats_, 0x600C001F, u"stats");
        Record(*handhelds_, 0x6002001F, u"twice");
        Record(*handhelds_, 0x6002001F, u"TWICE");
        // A statistics record carrying the DN in the handheld property is not the user's.
        Record(*stats_, 0x6002001F, u"handheld");
        ASSERT_TRUE(Initialize());
    }
    void Record(sim::FolderBuilder& folder, mapi::ULONG tag, std::u16string_view user) {
        folder.Message(u"IPM.Note").Prop(tag, kUsers + std::u16string(user));
    }
    bool Remove(std::u16string_view user, std::u16string_view service = u"TavrelService") {
        WideArg userDn(kUsers + std::u16string(user)), adminDn(kLegacyAdmin), server(kServer),
            serviceName(service);
        return RemoveUserFromLegacyServer(userDn, adminDn, server, serviceName);
    }
    std::vector<std::u16string> Users(sim::FolderBuilder& folder) {
        std::vector<std::u16string> users;
        for (const auto& message : folder.Model().messages)
            for (mapi::ULONG tag : {0x6002001Fu, 0x600C001Fu})
                if (auto it = message.props.find(tag); it != message.props.end())
                    users.push_back(std::get<std::u16string>(it->second).substr(kUsers.size()));
        return users;
    }

    sim::FolderBuilder* handhelds_ = nullptr;
    sim::FolderBuilder* stats_ = nullptr;
};

TEST_F(LegacyRemoval, DeletesTheHandheldRecordAndTheStatisticsWhereThereAreAny) {
    using Names = std::vector<std::u16string>;
    EXPECT_TRUE(Remove(u"both"));
    EXPECT_EQ(Users(*handhelds_), (Names{u"handheld", u"twice", u"TWICE"}));
    EXPECT_EQ(Users(*stats_), (Names{u"stats", u"handheld"}));

    EXPECT_TRUE(Remove(u"handheld", u"tavrelservice"));  // the service folder in other case
    EXPECT_EQ(Users(*handhelds_), (Names{u"twice", u"TWICE"}));
    EXPECT_EQ(Users(*stats_), (Names{u"stats", u"handheld"}));

    EXPECT_FALSE(Remove(u"stats"));  // no handheld record: nothing deleted
    EXPECT_EQ(Users(*stats_), (Names{u"stats", u"handheld"}));

    EXPECT_TRUE(Remove(u"twice"));  // only the first of two
    EXPECT_EQ(Users(*handhelds_), Names{u"TWICE"});
    EXPECT_EQ(LogUtf8().front(),
              "4:[ExchangeAdaptorDLL::RemoveUserFromLegacyServer] UserDN=" + sim::ToUtf8(kUsers) +
                  "twice, AdminDN=" + sim::ToUtf8(kLegacyAdmin) + ", AdminServerDN=" +
                  sim::ToUtf8(kServer) + ", Service=TavrelService");

    EXPECT_FALSE(Remove(u"both", u"OtherService"));
    EXPECT_EQ(LogUtf8().back(),
              "4:[ExchangeAdaptorDLL::OpenNamedFolder] Folder 'OtherService' not found.");
    ASSERT_TRUE(Uninitialize());
    EXPECT_FALSE(Remove(u"TWICE"));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{
                             "4:[ExchangeAdaptorDLL::RemoveUserFromLegacyServer] No session."});
}

TEST_F(LegacyRemoval, StatisticsFailuresDoNotChangeTheOutcome) {
    Fail("IMAPIFolder::DeleteMessages", std::int32_t(0x80040115), 2);
    EXPECT_TRUE(Remove(u"both"));
    EXPECT_EQ(LogUtf8().back(),
              "4:[ExchangeAdaptorDLL::DeleteMessageByEntryId] DeleteMessages failed, "
              "result=0x80040115.");
    EXPECT_EQ(Users(*stats_).size(), 3u);
}

// Each way the removal stops before the user's handheld record is gone: false, and neither
// record deleted.
TEST_F(LegacyRemoval, FailuresLeaveBothRecords) {
    // A second legacy administrator whose service folders each lack one of the two folders.
    const std::u16string otherAdmin = kUsers + u"legacyadmin2";
    sim::MailboxBuilder& admin = builder_.Mailbox(otherAdmin, kServer).StandardFolders();
    sim::FolderBuilder& noHandhelds = admin.Folder(u"NoHandhelds").Folder(u"HandheldStats");
    Record(noHandhelds, 0x600C001F, u"both");
    sim::FolderBuilder& onlyHandhelds = admin.Folder(u"NoStats").Folder(u"Handhelds");
    Record(onlyHandhelds, 0x6002001F, u"both");
    struct Case {
        const char* name;
        const char* method;  // fault with 0x80040115, or none
        int nth;
        const char16_t* adminDn;
        const char16_t* service;
        bool result;
        std::string logged;  // a line the failure leaves
    };
    const std::vector<Case> cases = {
        {"CreateStoreEntryID", "IExchangeManageStore::CreateStoreEntryID", 0, kLegacyAdmin,
         u"TavrelService", false, "result=0x80040115"},
        {"OpenRootFolder", "IMsgStore::OpenEntry", 0, kLegacyAdmin, u"TavrelService", false,
         "OpenEntry failed, result=0x80040115."},
        {"delete of the handheld record", "IMAPIFolder::DeleteMessages", 1, kLegacyAdmin,
         u"TavrelService", false, "DeleteMessages failed, result=0x80040115."},
        {"no Handhelds folder", nullptr, 0, otherAdmin.c_str(), u"NoHandhelds", false,
         "Folder 'Handhelds' not found."},
        {"no HandheldStats folder", nullptr, 0, otherAdmin.c_str(), u"NoStats", true,
         "Folder 'HandheldStats' not found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Simulator::Instance().ClearFaults();
        if (c.method) Fail(c.method, std::int32_t(0x80040115), c.nth);
        WideArg userDn(kUsers + u"both"), adminDn(c.adminDn), server(kServer),
            serviceName(c.service);
        EXPECT_EQ(RemoveUserFromLegacyServer(userDn, adminDn, server, serviceName), c.result);
        std::vector<std::string> log = LogUtf8();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(c.logged) != std::string::npos;
        })) << ::testing::PrintToString(log);
        EXPECT_EQ(Users(*handhelds_).size(), 4u);
        EXPECT_EQ(Users(*stats_).size(), 3u);
        EXPECT_EQ(Users(noHandhelds).size(), 1u);
        EXPECT_EQ(Users(onlyHandhelds).size(), c.result ? 0u : 1u);
    }
}

// Folder names compare ASCII letters without case and nothing else; the first listed wins.
TEST_F(LegacyRemoval, NamedFolderLookupRules) {
    sim::MailboxBuilder& mailbox = builder_.Mailbox(kUsers + u"folders", kServer);
    mailbox.Folder(u"\u00C9t\u00E9");
    mailbox.Folder(u"Reports");
    mailbox.Folder(u"REPORTS-old");
    mapi::ComPtr<mapi::IMsgStore> store;
    ASSERT_EQ(OpenMsgStore(mailbox.Dn(), kServer, store.Put()), 0);
    mapi::ComPtr<mapi::IMAPIFolder> root;
    ASSERT_EQ(OpenRootFolder(store.Get(), root.Put()), 0);
    struct Case {
        std::u16string name;
        mapi::HRESULT result;
    };
    for (const Case& c : {Case{u"reports", 0}, Case{u"\u00E9t\u00E9", mapi::MAPI_E_NOT_FOUND},
                          Case{u"\u00C9T\u00E9", 0}, Case{u"Report", mapi::MAPI_E_NOT_FOUND}}) {
        SCOPED_TRACE(sim::ToUtf8(c.name));
        mapi::ComPtr<mapi::IMAPIFolder> folder;
        EXPECT_EQ(OpenNamedFolder(root.Get(), c.name, folder.Put()), c.result);
        EXPECT_EQ(bool(folder), c.result == 0);
    }
    // A parent whose hierarchy the account cannot see: a success code and no folder.
    mailbox.Root().HierarchyHidden();
    ClearLog();
    mapi::ComPtr<mapi::IMAPIFolder> folder;
    EXPECT_GE(OpenNamedFolder(root.Get(), u"Reports", folder.Put()), 0);
    EXPECT_FALSE(folder);
    EXPECT_EQ(LogUtf8().back(),
              "3:[ExchangeAdaptorDLL::OpenNamedFolder] Could not get parent folder contents or "
              "folder empty; likely no access.");
    EXPECT_EQ(OpenNamedFolder(root.Get(), u"Reports", nullptr), mapi::E_FAIL);
}

// The mailbox operations refuse a missing object or out pointer, without touching what they
// were given.
TEST_F(LegacyRemoval, MailboxOperationsRefuseMissingArguments) {
    sim::MailboxBuilder& mailbox = builder_.Mailbox(kUsers + u"arguments", kServer);
    mapi::ComPtr<mapi::IMsgStore> store;
    ASSERT_EQ(OpenMsgStore(mailbox.Dn(), kServer, store.Put()), 0);
    mapi::ComPtr<mapi::IMAPIFolder> root;
    ASSERT_EQ(OpenRootFolder(store.Get(), root.Put()), 0);
    EntryIdRecord record;
    mapi::IMessage* message = nullptr;
    EntryIdRecord* found = &record;
    struct Case {
        const char* op;
        std::function<mapi::HRESULT()> call;
    };
    const Case cases[] = {
        {"OpenMsgStore", [&] { return OpenMsgStore(mailbox.Dn(), kServer, nullptr); }},
        {"OpenRootFolder", [&] { return OpenRootFolder(nullptr, root.Put()); }},
        {"OpenRootFolder", [&] { return OpenRootFolder(store.Get(), nullptr); }},
        {"OpenMessageByEntryId", [&] { return OpenMessageByEntryId(nullptr, &record, &message); }},
        {"OpenMessageByEntryId", [&] { return OpenMessageByEntryId(root.Get(), nullptr, &message); }},
        {"OpenMessageByEntryId", [&] { return OpenMessageByEntryId(root.Get(), &record, nullptr); }},
        {"DeleteMessageByEntryId", [&] { return DeleteMessageByEntryId(nullptr, &record); }},
        {"DeleteMessageByEntryId", [&] { return DeleteMessageByEntryId(root.Get(), nullptr); }},
        {"GetDefaultMsgStore", [&] { return GetDefaultMsgStore(nullptr, &found); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        ClearLog();
        EXPECT_EQ(c.call(), mapi::E_FAIL);
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{std::string("4:[ExchangeAdaptorDLL::") +
                                                      c.op + "] Bad parameters."});
    }
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(found, &record) << "a refused call leaves the out pointer alone";
}

}  // namespace
}  // namespace tav
