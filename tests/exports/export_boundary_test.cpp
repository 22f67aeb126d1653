// The exception boundary of every export: with one of the process's allocations failing, at each
// point in turn, an export never lets std::bad_alloc out, answers its failure value when it
// caught one, writes "Exception caught." under its own name, and leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "addrbook/ab_item.h"
#include "core/adaptor_session.h"
#include "platform/portable/portable_dialog.h"
#include "support/counting_new.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::WideArg;
namespace portable = platform::portable;

const std::u16string kUsers = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";
const std::u16string kUserDn = kUsers + u"jdoe";
const std::u16string kLegacyAdminDn = kUsers + u"legacyadmin";

class Boundaries : public testing::LibraryTest {
  public:
    // The administrator, a user with a configuration message, a legacy server's service folder
    // holding the user's records, and the user in the address book.
    void Organisation() {
        AdminOrganisation();
        sim::MailboxBuilder& user = builder_.Mailbox(kUserDn, testing::kServerDn).StandardFolders();
        user.OwnerDisplayName(u"John Doe").StoreDisplayName(u"Mailbox - John Doe");
        user.Folder(u"TavrelHandheldInfo")
            .Message(u"KVO.Tavrel.Handheld.Config")
            .Prop(0x600C001F, std::u16string(u"TES-East"));
        userEntry_ = builder_.User(u"John Doe", user).Smtp(u"jdoe@example.com").Index();
        sim::FolderBuilder& service = builder_.Mailbox(kLegacyAdminDn, testing::kServerDn)
                                          .StandardFolders()
                                          .Folder(u"TavrelService");
        service.Folder(u"Handhelds").Message(u"IPM.Note").Prop(0x6002001F, kUserDn);
        service.Folder(u"HandheldStats").Message(u"IPM.Note").Prop(0x600C001F, kUserDn);
    }
    void PickUser() {
        sim::Simulator::Instance().Org().addressDialogAnswers = {
            {sim::AddressDialogAnswer::Action::Pick, {userEntry_}, 0}};
    }

    std::uint32_t userEntry_ = 0;
    ABItem* item_ = nullptr;
    ABItemList* list_ = nullptr;
    WideStringList recipients_{};
};

struct Export {
    const char* name;
    int failure;
    bool initialized;  // called after a successful Initialize
    std::function<void(Boundaries&)> prepare;
    std::function<int(Boundaries&)> call;
};

TEST_F(Boundaries, EveryAllocationFailureIsCaughtAtTheExport) {
    const WideArg user(kUserDn), server(testing::kServerDn), admin(kLegacyAdminDn),
        service(u"TavrelService"), pending(u"TES-West"), routing(u"route"), name(u"John Doe"),
        subject(u"Subject"), body(u"Body");
    const std::vector<Export> exports = {
        {"Initialize", 0, false, nullptr, [](Boundaries&) { return int(Initialize()); }},
        {"Uninitialize", 0, true, nullptr, [](Boundaries&) { return int(Uninitialize()); }},
        {"GetTavrelServiceNameForUser", 0, true, nullptr,
         [&](Boundaries&) {
             char16_t buffer[32];
             return int(GetTavrelServiceNameForUser(user, server, buffer, 32));
         }},
        {"SetPendingServiceAndRoutingInfoForUser", 0, true, nullptr,
         [&](Boundaries&) {
             return int(SetPendingServiceAndRoutingInfoForUser(user, server, pending, routing));
         }},
        {"RemoveUserFromLegacyServer", 0, true, nullptr,
         [&](Boundaries&) {
             return int(RemoveUserFromLegacyServer(user, admin, server, service));
         }},
        {"EditFolderRedirectionSettings", 0, true,
         [](Boundaries&) {
             portable::ResetDialogs();
             portable::QueueDialogAction(portable::ClickItemImage(u"Mailbox - John Doe/Inbox"));
             portable::QueueDialogAction(portable::PressOk());
         },
         [&](Boundaries&) {
             bool redir = false, sent = false;
             std::int32_t count = 0, time = 0, sentTime = 0;
             return int(EditFolderRedirectionSettings(name, user, server, &redir, &count, &time,
                                                      &sentTime, &sent));
         }},
        {"GetABItem", 0, true, [](Boundaries& t) { t.PickUser(); },
         [](Boundaries& t) { return int(GetABItem(&t.item_)); }},
        {"GetABItemList", 0, true, [](Boundaries& t) { t.PickUser(); },
         [](Boundaries& t) { return int(GetABItemList(&t.list_, 1)); }},
        {"SendBulletinByEmail", 0, true,
         [](Boundaries& t) {
             InitList(t.recipients_);
             AppendToList(t.recipients_, u"jdoe@example.com");
         },
         [&](Boundaries& t) { return int(SendBulletinByEmail(subject, body, &t.recipients_)); }},
    };
    // Once with one allocation failing at each point in turn, once with memory exhausted for
    // good from that point: then not even the log line can be written, and the export must
    // still answer its failure value and release everything.
    for (const bool forGood : {false, true})
    for (const Export& e : exports) {
        SCOPED_TRACE(std::string(e.name) + (forGood ? ", memory exhausted for good" : ""));
        const std::string caught =
            std::string("1:[ExchangeAdaptorDLL::") + e.name + "] Exception caught.";
        int boundaryRuns = 0;
        bool completed = false;
        std::size_t points = 0;
        for (std::size_t succeeding = 0; succeeding < 20000 && !completed; ++succeeding) {
            points = succeeding;
            SCOPED_TRACE("allocations before the failure: " + std::to_string(succeeding));
            SetUp();
            Organisation();
            if (e.initialized) {
                ASSERT_TRUE(Initialize());
            }
            if (e.prepare) e.prepare(*this);
            sim::Simulator::Instance().ClearRecords();
            ClearLog();

            int result = -1;
            testing::FailAllocationAfter(succeeding, forGood);
            try {
                result = e.call(*this);
            } catch (...) {
                ADD_FAILURE() << "an exception left the export";
            }
            completed = !testing::ClearAllocationFailure();

            // The export's boundary, or the one internal operation that catches for itself
            // (GetDefaultMsgStore, which Initialize then reports as a missing store).
            std::vector<std::string> log = LogUtf8();
            int caughtLines = 0;
            for (const std::string& line : log) {
                if (line.find("Exception caught.") == std::string::npos) continue;
                if (line == caught) {
                    ++caughtLines;
                } else {
                    EXPECT_EQ(line, "2:[ExchangeAdaptorDLL::GetDefaultMsgStore] Exception caught.");
                }
            }
            if (caughtLines > 0) {
                ++boundaryRuns;
                EXPECT_EQ(caughtLines, 1);
                EXPECT_EQ(result, e.failure);
            }
            if (forGood && !completed) {
                EXPECT_EQ(result, e.failure);
            }
            // Whatever failed, Uninitialize leaves no session behind.
            if (std::string(e.name) == "Uninitialize") {
                EXPECT_FALSE(Session().session);
                EXPECT_EQ(sim::Simulator::Instance().MapiInitializeBalance(), 0);
            }
            if (recipients_.sentinel) DestroyList(recipients_);
            if (item_) {
                EXPECT_TRUE(FreeABItem(&item_));
            }
            if (list_) {
                EXPECT_TRUE(FreeABItemList(&list_));
            }
            TearDown();
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_TRUE(completed) << "still failing after 20000 allocations";
        // The figures for the reliability notes.
        std::printf("%s%s: %zu allocation points, %d caught at the export's boundary\n", e.name,
                    forGood ? " (exhausted for good)" : "", points, boundaryRuns);
        if (!forGood) {
            EXPECT_GT(boundaryRuns, 0);
        }
    }
}

// These exports allocate nothing, so nothing can throw in them.
TEST_F(Boundaries, ExportsThatAllocateNothing) {
    Organisation();
    ASSERT_TRUE(Initialize());
    ABItem* item = nullptr;
    ABItemList* list = NewABItemList();
    WideStringList* container = nullptr;
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"IsInitialized", [] { EXPECT_TRUE(IsInitialized()); }},
        {"GetMailStoreType", [] { EXPECT_EQ(GetMailStoreType(), 1); }},
        {"GetDebugLogInfo", [&] { EXPECT_TRUE(GetDebugLogInfo(&container)); }},
        {"FreeABItem", [&] { EXPECT_TRUE(FreeABItem(&item)); }},
        {"FreeABItemList", [&] { EXPECT_TRUE(FreeABItemList(&list)); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        testing::ResetAllocationCount();
        call();
        EXPECT_EQ(testing::AllocationCount(), 0u);
    }
}

}  // namespace
}  // namespace tav
