// Which row of the session's message-store table is the default store.
#include <gtest/gtest.h>

#include "sim/org_json.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;

constexpr char16_t kUserDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";

class DefaultMsgStore : public LibraryTest {};

TEST_F(DefaultMsgStore, TheFirstRowMarkedDefaultWithAnEntryIdWins) {
    struct Row {
        std::optional<bool> isDefault;  // nullopt: no PR_DEFAULT_STORE
        int mailbox;                    // 0 admin, 1 user, -1 no PR_ENTRYID
    };
    struct Case {
        const char* name;
        std::vector<Row> rows;
        int opened;  // -1: no default store found
    };
    const std::vector<Case> cases = {
        {"none marked", {{false, 0}, {std::nullopt, 1}}, -1},
        {"only row false", {{false, 1}}, -1},
        {"first of several", {{false, 0}, {true, 1}, {true, 0}}, 1},
        {"entry id missing", {{true, -1}, {true, 0}}, 0},
        {"no rows", {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sim::OrgBuilder organisation;
        organisation.Server(testing::kServerDn, u"EXCH01");
        sim::MailboxBuilder* boxes[2] = {
            &organisation.Mailbox(testing::kAdminDn, testing::kServerDn).StandardFolders(),
            &organisation.Mailbox(kUserDn, testing::kServerDn).StandardFolders()};
        // The profile's own mailbox is not in the organisation, so only the rows below count.
        sim::Profile& profile =
            organisation.Profile("TavrelManager")
                .ExchangeService(testing::kServerDn, u"/o=Example/cn=Recipients/cn=gone")
                .Model();
        profile.publicFolders = false;
        for (const Row& row : c.rows) {
            sim::PropMap props;
            if (row.isDefault) props[mapi::PR_DEFAULT_STORE] = *row.isDefault;
            if (row.mailbox >= 0) props[mapi::PR_ENTRYID] = boxes[row.mailbox]->ProfileStoreEntryId();
            props[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"Store");
            profile.extraStoreRows.push_back(props);
        }
        platform::portable::PutRegistryString(platform::RegistryRoot::CurrentUser,
                                              testing::kSettingsKey, "MAPIProfile",
                                              "TavrelManager");

        EXPECT_TRUE(Initialize());
        auto opened = sim::Simulator::Instance().CallsTo("IMAPISession::OpenMsgStore");
        if (c.opened < 0) {
            EXPECT_TRUE(opened.empty());
            std::vector<std::string> log = LogUtf8();
            std::vector<std::string> expected = {
                "4:[ExchangeAdaptorDLL::GetProfileName] Using MAPI profile 'TavrelManager'.",
                "2:[ExchangeAdaptorDLL::Initialize] Failed to get default message store, "
                "result=0x80004005."};
            if (c.rows.empty())
                expected.insert(expected.begin() + 1,
                                "4:[ExchangeAdaptorDLL::GetDefaultMsgStore] HrQueryAllRows "
                                "returned no rows.");
            EXPECT_EQ(log, expected);
            EXPECT_EQ(Boxes().size(), 1u);
        } else {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0].args["entryId"], sim::ToHex(boxes[c.opened]->ProfileStoreEntryId()));
            EXPECT_TRUE(Boxes().empty());
        }
        TearDown();
    }
}

}  // namespace
}  // namespace tav
