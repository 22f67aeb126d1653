// Opening stores: the profile's store, other mailboxes through the store manager with and
// without administrative rights, the store manager itself, and what the store reports.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/builder.h"
#include "sim/manage_store.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/store.h"

namespace {

using mapi::ComPtr;
using mapi::ULONG;
using sim::Simulator;

const std::u16string kServer =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
const std::u16string kAdmin = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=admin";
const std::u16string kUser = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
const std::u16string kLocked = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=boss";

class StoreOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        sim::OrgBuilder b;
        b.Server(kServer);
        admin_ = &b.Mailbox(kAdmin, kServer).StandardFolders().Model();
        b.Mailbox(kUser, kServer).StandardFolders().OwnerDisplayName(u"John Doe");
        b.Mailbox(kLocked, kServer).AdminAccess(false);
    }
    void TearDown() override {
        EXPECT_EQ(Simulator::Instance().LiveObjects(), 0);
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
    }

    ComPtr<mapi::IMsgStore> ProfileStore(bool viaSession = true) {
        ComPtr<mapi::IMsgStore> store;
        EXPECT_EQ(sim::OpenStore(sim::ProfileStoreEntryId(*admin_), mapi::MDB_WRITE, viaSession,
                                 store.Put()),
                  mapi::S_OK);
        return store;
    }

    static mapi::HRESULT StoreEntryId(mapi::IExchangeManageStore* xms, const std::u16string& dn,
                                      ULONG flags, sim::Bytes* id) {
        std::string server(kServer.begin(), kServer.end());
        std::string mailbox(dn.begin(), dn.end());
        mapi::MapiBuffer<mapi::ENTRYID> entryId;
        ULONG cb = 0;
        mapi::HRESULT hr =
            xms->CreateStoreEntryID(server.data(), mailbox.data(), flags, &cb, entryId.Put());
        if (entryId) {
            auto bytes = reinterpret_cast<const std::uint8_t*>(entryId.Get());
            id->assign(bytes, bytes + cb);
        }
        return hr;
    }

    sim::Mailbox* admin_ = nullptr;
    std::size_t buffers_ = 0;
};

TEST_F(StoreOpenTest, OtherMailboxesOpenOnlyWithAdministrativePrivilegeAndRight) {
    struct Case {
        const char* name;
        std::u16string dn;
        ULONG flags;
        mapi::HRESULT expect;
    };
    const Case cases[] = {
        {"admin privilege and right", kUser, 0x9, mapi::S_OK},
        {"no admin privilege", kUser, mapi::OPENSTORE_TAKE_OWNERSHIP, mapi::MAPI_E_NO_ACCESS},
        {"no right on the mailbox", kLocked, 0x9, mapi::MAPI_E_NO_ACCESS},
        {"no such mailbox", u"/o=Example/cn=Recipients/cn=nobody", 0x9, mapi::MAPI_E_NOT_FOUND},
        {"DN in other letter case",
         u"/O=EXAMPLE/OU=First Administrative Group/cn=Recipients/CN=JDOE", 0x9, mapi::S_OK},
    };
    ComPtr<mapi::IMsgStore> store = ProfileStore();
    ComPtr<mapi::IExchangeManageStore> xms;
    ASSERT_EQ(store.As(xms), mapi::S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Bytes id;
        // As with Exchange, the id is made whether or not the mailbox can be opened.
        ASSERT_EQ(StoreEntryId(xms.Get(), c.dn, c.flags, &id), mapi::S_OK);
        ComPtr<mapi::IMsgStore> other;
        EXPECT_EQ(sim::OpenStore(id, 0xA5, true, other.Put()), c.expect);
        EXPECT_EQ(static_cast<bool>(other), c.expect == mapi::S_OK);
    }
    auto calls = Simulator::Instance().CallsTo("IExchangeManageStore::CreateStoreEntryID");
    ASSERT_EQ(calls.size(), std::size(cases));
    EXPECT_EQ(calls[0].args.at("flags"), "0x00000009");
    EXPECT_EQ(calls[0].args.at("storeDn"), sim::ToUtf8(kServer));
    EXPECT_EQ(calls[0].object, "xms:" + sim::ToUtf8(kAdmin));
}

TEST_F(StoreOpenTest, TheLogonMailboxOpensThroughTheStoreManagerWithoutAdminPrivilege) {
    ComPtr<mapi::IMsgStore> store = ProfileStore();
    ComPtr<mapi::IExchangeManageStore> xms;
    ASSERT_EQ(store.As(xms), mapi::S_OK);
    sim::Bytes id;
    ASSERT_EQ(StoreEntryId(xms.Get(), kAdmin, 0, &id), mapi::S_OK);
    ComPtr<mapi::IMsgStore> own;
    EXPECT_EQ(sim::OpenStore(id, 0, true, own.Put()), mapi::MAPI_E_NO_ACCESS);
    EXPECT_EQ(sim::OpenStore(id, 0, true, own.Put(), kAdmin), mapi::S_OK);
}

TEST_F(StoreOpenTest, StoreManagerIsOfferedOnlyByStoresOpenedThroughTheSession) {
    ComPtr<mapi::IExchangeManageStore> xms;
    EXPECT_EQ(ProfileStore(true).As(xms), mapi::S_OK);
    EXPECT_TRUE(xms);
    EXPECT_EQ(ProfileStore(false).As(xms), mapi::E_NOINTERFACE);
    EXPECT_FALSE(xms);

    Simulator::Instance().AddFault(
        {"IMsgStore::QueryInterface", mapi::E_NOINTERFACE, 0, "", false});
    EXPECT_EQ(ProfileStore(true).As(xms), mapi::E_NOINTERFACE);
}

TEST_F(StoreOpenTest, MalformedStoreEntryIdsAreRefused) {
    ComPtr<mapi::IMsgStore> store;
    sim::Bytes id = sim::ProfileStoreEntryId(*admin_);
    id.resize(id.size() - 3);
    EXPECT_EQ(sim::OpenStore(id, 0, true, store.Put()), mapi::MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(sim::OpenStore(sim::FolderEntryId(1, 1, sim::IdForm::LongTerm), 0, true, store.Put()),
              mapi::MAPI_E_INVALID_ENTRYID);
    EXPECT_FALSE(store);
}

TEST_F(StoreOpenTest, StorePropertiesNameTheSpecialFoldersInTheirLongTermForm) {
    ComPtr<mapi::IMsgStore> store = ProfileStore();
    mapi::SizedSPropTagArray<7> tags;
    const ULONG wanted[] = {mapi::PR_DISPLAY_NAME_W,
                            mapi::PR_IPM_SUBTREE_ENTRYID,
                            mapi::PR_IPM_OUTBOX_ENTRYID,
                            mapi::PR_IPM_SENTMAIL_ENTRYID,
                            mapi::PR_IPM_WASTEBASKET_ENTRYID,
                            mapi::PR_MDB_PROVIDER,
                            mapi::PR_DEFAULT_STORE};
    std::copy(std::begin(wanted), std::end(wanted), tags.aulPropTag);
    ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    ASSERT_EQ(store->GetProps(tags.get(), 0, &count, values.Put()), mapi::S_OK);
    ASSERT_EQ(count, 7u);
    EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"Mailbox - admin");
    const sim::SpecialFolders& special = admin_->special;
    const std::uint64_t folders[] = {special.ipmSubtree, special.outbox, special.sentItems,
                                     special.deletedItems};
    for (int i = 0; i < 4; ++i) {
        const mapi::SBinary& bin = values[1 + i].Value.bin;
        EXPECT_EQ(sim::Bytes(bin.lpb, bin.lpb + bin.cb),
                  sim::FolderEntryId(admin_->index, folders[i], sim::IdForm::LongTerm));
    }
    EXPECT_EQ(values[6].Value.b, 1);
}

TEST_F(StoreOpenTest, ReceiveFolderIsTheInboxForIpmClasses) {
    struct Case {
        const char16_t* cls;
        std::u16string expectClass;
        bool inbox;
    };
    const Case cases[] = {{nullptr, u"", true},    {u"", u"", true},
                          {u"IPM", u"IPM", true},  {u"IPM.Note", u"IPM", true},
                          {u"IPC", u"IPC", false}, {u"REPORT.X", u"", true}};
    ComPtr<mapi::IMsgStore> store = ProfileStore();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls ? sim::ToUtf8(c.cls) : "null");
        ULONG cb = 0;
        mapi::MapiBuffer<mapi::ENTRYID> id;
        mapi::MapiBuffer<char16_t> explicitClass;
        mapi::LPTSTR cls = c.cls;
        mapi::LPTSTR got;
        ASSERT_EQ(store->GetReceiveFolder(cls, mapi::MAPI_UNICODE, &cb, id.Put(), &got),
                  mapi::S_OK);
        explicitClass.Attach(got.w());
        auto bytes = reinterpret_cast<const std::uint8_t*>(id.Get());
        auto ref = sim::ParseStoreObjectId(bytes, cb);
        ASSERT_TRUE(ref.has_value());
        EXPECT_EQ(ref->form, sim::IdForm::LongTerm);
        EXPECT_EQ(ref->folder, c.inbox ? admin_->special.inbox : admin_->root->id);
        EXPECT_EQ(std::u16string(explicitClass.Get()), c.expectClass);
    }
}

TEST_F(StoreOpenTest, StoreWithoutInboxHasNoReceiveFolder) {
    ComPtr<mapi::IMsgStore> store;
    ASSERT_EQ(
        sim::OpenStore(sim::ProfileStoreEntryId(*Simulator::Instance().Org().FindMailbox(kLocked)),
                       0, true, store.Put()),
        mapi::S_OK);
    ULONG cb = 0;
    mapi::MapiBuffer<mapi::ENTRYID> id;
    EXPECT_EQ(store->GetReceiveFolder(nullptr, 0, &cb, id.Put(), nullptr), mapi::MAPI_E_NOT_FOUND);
    EXPECT_FALSE(id);
}

TEST_F(StoreOpenTest, StoreOfARemovedMailboxAnswersObjectDeleted) {
    ComPtr<mapi::IMsgStore> store = ProfileStore();
    Simulator::Instance().Org().mailboxes.erase(Simulator::Instance().Org().mailboxes.begin());
    ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    EXPECT_EQ(store->GetProps(nullptr, 0, &count, values.Put()), mapi::MAPI_E_OBJECT_DELETED);
}

}  // namespace
