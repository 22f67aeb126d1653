// Entry ids and source keys: both forms of an object id reach the same object, differ in bytes,
// and are told apart from other kinds of ids and from damaged bytes.
#include <gtest/gtest.h>

#include "sim/entry_ids.h"

namespace {

using sim::Bytes;
using sim::IdForm;

TEST(InfraEntryIdsTest, FolderAndMessageIdsParseBackInBothForms) {
    struct Case {
        std::uint32_t mailbox;
        std::uint64_t folder;
        std::uint64_t message;
    };
    const Case cases[] = {{1, 7, 0}, {2, 7, 0}, {3, 0xABCDEF, 0}, {1, 7, 8}, {65536, 1, 0xFFFFFF}};
    for (const Case& c : cases) {
        for (IdForm form : {IdForm::LongTerm, IdForm::ShortTerm}) {
            SCOPED_TRACE(testing::Message() << c.mailbox << '/' << c.folder << '/' << c.message
                                            << (form == IdForm::LongTerm ? " long" : " short"));
            Bytes id = c.message ? sim::MessageEntryId(c.mailbox, c.folder, c.message, form)
                                 : sim::FolderEntryId(c.mailbox, c.folder, form);
            auto ref = sim::ParseStoreObjectId(id);
            ASSERT_TRUE(ref.has_value());
            EXPECT_EQ(ref->mailbox, c.mailbox);
            EXPECT_EQ(ref->folder, c.folder);
            EXPECT_EQ(ref->message, c.message);
            EXPECT_EQ(ref->form, form);
            EXPECT_FALSE(sim::ParseStoreEntryId(id).has_value());
            EXPECT_FALSE(sim::ParseAddressEntryId(id).has_value());
        }
    }
}

TEST(InfraEntryIdsTest, TheTwoFormsAndTheSourceKeyOfOneFolderDifferInBytes) {
    Bytes longTerm = sim::FolderEntryId(1, 42, IdForm::LongTerm);
    Bytes shortTerm = sim::FolderEntryId(1, 42, IdForm::ShortTerm);
    Bytes key = sim::SourceKey(1, 42);
    EXPECT_NE(longTerm, shortTerm);
    EXPECT_EQ(longTerm.size(), shortTerm.size());
    EXPECT_NE(Bytes(longTerm.begin() + 4, longTerm.end()),
              Bytes(shortTerm.begin() + 4, shortTerm.end()));
    EXPECT_EQ(key.size(), 22u);
    EXPECT_FALSE(sim::ParseStoreObjectId(key).has_value());
    EXPECT_NE(sim::SourceKey(1, 42), sim::SourceKey(2, 42));
    EXPECT_NE(sim::FolderEntryId(1, 42, IdForm::LongTerm),
              sim::FolderEntryId(2, 42, IdForm::LongTerm));
}

TEST(InfraEntryIdsTest, DamagedObjectIdsAreRejected) {
    Bytes good = sim::MessageEntryId(3, 10, 11, IdForm::ShortTerm);
    struct Case {
        const char* name;
        std::size_t offset;  // byte to change; size() means truncate by one
    };
    const Case cases[] = {{"flags", 1},          {"store uid", 8}, {"type word", 20},
                          {"database guid", 30}, {"tail", 45},     {"truncated", good.size()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bad = good;
        if (c.offset == good.size()) {
            bad.pop_back();
        } else {
            bad[c.offset] ^= 0x40;
        }
        EXPECT_FALSE(sim::ParseStoreObjectId(bad).has_value());
    }
    EXPECT_FALSE(sim::ParseStoreObjectId(nullptr, 0).has_value());
}

TEST(InfraEntryIdsTest, StoreEntryIdsCarryDnsOriginAndFlags) {
    sim::StoreIdInfo info;
    info.serverDn = u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EX1";
    info.mailboxDn = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=j\u00F6rg";
    info.origin = sim::StoreIdOrigin::StoreManager;
    info.openStoreFlags = 0x9;
    Bytes id = sim::StoreEntryId(info);
    auto parsed = sim::ParseStoreEntryId(id);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->serverDn, info.serverDn);
    EXPECT_EQ(parsed->mailboxDn, info.mailboxDn);
    EXPECT_EQ(parsed->origin, sim::StoreIdOrigin::StoreManager);
    EXPECT_EQ(parsed->openStoreFlags, 0x9u);
    EXPECT_FALSE(sim::ParseStoreObjectId(id).has_value());
    id.pop_back();
    EXPECT_FALSE(sim::ParseStoreEntryId(id).has_value());
}

TEST(InfraEntryIdsTest, AddressBookAndOneOffIdsRoundTrip) {
    sim::AddressEntry user;
    user.index = 12;
    sim::AddressEntry list;
    list.index = 13;
    list.kind = sim::EntryKind::DistList;
    auto a = sim::ParseAddressEntryId(sim::AddressEntryId(user));
    auto b = sim::ParseAddressEntryId(sim::AddressEntryId(list));
    auto c = sim::ParseAddressEntryId(sim::AddressContainerEntryId(0));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->index, 12u);
    EXPECT_EQ(a->kind, sim::EntryKind::MailUser);
    EXPECT_EQ(b->kind, sim::EntryKind::DistList);
    EXPECT_TRUE(c->container);
    EXPECT_FALSE(a->container);

    sim::OneOff recipient{u"Ann", u"SMTP", u"ann@example.com", false};
    Bytes id = sim::OneOffEntryId(recipient);
    auto parsed = sim::ParseOneOffEntryId(id.data(), id.size());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->displayName, u"Ann");
    EXPECT_EQ(parsed->addressType, u"SMTP");
    EXPECT_EQ(parsed->address, u"ann@example.com");
    EXPECT_FALSE(parsed->sendRichInfo);
    EXPECT_FALSE(sim::ParseOneOffEntryId(id.data(), id.size() - 1).has_value());
}

}  // namespace
