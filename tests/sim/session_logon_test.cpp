// The entry points and the session: MAPIInitialize's balance, which profiles MAPILogonEx logs on
// to, the message-store table and the stores the session opens.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/session.h"
#include "sim/simulator.h"
#include "sim/store.h"

namespace {

using mapi::ULONG;
using sim::Simulator;

constexpr ULONG kLogonFlags = 0x80008033;  // the flags of the library's logon
constexpr char16_t kServer[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/"
    u"cn=Servers/cn=EXCH01";
constexpr char16_t kOwnDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=admin";
constexpr char16_t kUserDn[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";

class SessionLogonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        platform::portable::ResetRegistry();
        sim::InstallProvider();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        sim::OrgBuilder b;
        b.Server(kServer);
        b.Mailbox(kOwnDn, kServer).StandardFolders();
        b.Mailbox(kUserDn, kServer).StandardFolders();
        b.Profile("TavrelManager").ExchangeService(kServer, kOwnDn);
    }
    void TearDown() override {
        while (Simulator::Instance().MapiInitializeBalance() > 0) mapi::MAPIUninitialize();
        EXPECT_EQ(Simulator::Instance().LiveObjectLabels(), std::vector<std::string>{});
        EXPECT_EQ(Simulator::Instance().OpenSessions(), 0);
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
    }

    static void Initialize() {
        mapi::MAPIINIT_0 init{mapi::MAPI_INIT_VERSION, 0};
        ASSERT_EQ(mapi::MAPIInitialize(&init), mapi::S_OK);
    }
    static mapi::ComPtr<mapi::IMAPISession> Logon(const char16_t* profile = u"TavrelManager") {
        mapi::ComPtr<mapi::IMAPISession> session;
        EXPECT_EQ(mapi::MAPILogonEx(0, profile, nullptr, kLogonFlags, session.Put()), mapi::S_OK);
        return session;
    }
    static mapi::RowSetPtr StoreRows(mapi::IMAPISession& session) {
        mapi::ComPtr<mapi::IMAPITable> table;
        EXPECT_EQ(session.GetMsgStoresTable(0, table.Put()), mapi::S_OK);
        mapi::SizedSPropTagArray<3> columns{
            3, {mapi::PR_DEFAULT_STORE, mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W}};
        mapi::RowSetPtr rows;
        EXPECT_EQ(mapi::HrQueryAllRows(table.Get(), columns.get(), nullptr, nullptr, 0, rows.Put()),
                  mapi::S_OK);
        return rows;
    }

    std::size_t buffers_ = 0;
};

TEST_F(SessionLogonTest, InitializeIsCountedAndRecorded) {
    auto& simulator = Simulator::Instance();
    mapi::MAPIUninitialize();  // a surplus call changes nothing but is counted
    EXPECT_EQ(simulator.MapiInitializeBalance(), 0);
    EXPECT_EQ(simulator.MapiUninitializeUnmatched(), 1);
    mapi::MAPIINIT_0 init{mapi::MAPI_INIT_VERSION, mapi::MAPI_MULTITHREAD_NOTIFICATIONS};
    ASSERT_EQ(mapi::MAPIInitialize(&init), mapi::S_OK);
    ASSERT_EQ(mapi::MAPIInitialize(nullptr), mapi::S_OK);
    EXPECT_EQ(simulator.MapiInitializeBalance(), 2);
    auto calls = simulator.CallsTo("MAPIInitialize");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args.at("version"), "0");
    EXPECT_EQ(calls[0].args.at("flags"), "0x00000001");
    EXPECT_EQ(calls[1].args.at("init"), "null");

    sim::Fault fault;
    fault.method = "MAPIInitialize";
    fault.result = mapi::E_FAIL;
    simulator.AddFault(fault);
    EXPECT_EQ(mapi::MAPIInitialize(&init), mapi::E_FAIL);
    EXPECT_EQ(simulator.MapiInitializeBalance(), 2);
    mapi::MAPIUninitialize();
    mapi::MAPIUninitialize();
    EXPECT_EQ(simulator.MapiInitializeBalance(), 0);
    EXPECT_EQ(simulator.MapiUninitializeUnmatched(), 1);
    mapi::MAPIUninitialize();
    EXPECT_EQ(simulator.MapiUninitializeUnmatched(), 2);
    EXPECT_EQ(simulator.CallsTo("MAPIUninitialize").size(), 4u);
}

TEST_F(SessionLogonTest, LogsOnOnlyToAnExistingConfiguredProfile) {
    sim::OrgBuilder b;
    b.Profile("Empty");
    b.Profile("Unconfigured").UnconfiguredExchangeService();
    const struct {
        const char* name;
        bool initialize;
        const char16_t* profile;
        ULONG flags;
        std::vector<sim::ServiceDialogAnswer> script;
        mapi::HRESULT result;
        std::size_t dialogs;
    } cases[] = {
        {"before MAPIInitialize",
         false,
         u"TavrelManager",
         kLogonFlags,
         {},
         mapi::MAPI_E_NOT_INITIALIZED,
         0},
        {"configured", true, u"TavrelManager", kLogonFlags, {}, mapi::S_OK, 0},
        {"name in another case", true, u"TAVRELMANAGER", kLogonFlags, {}, mapi::S_OK, 0},
        {"missing", true, u"Nobody", kLogonFlags, {}, mapi::MAPI_E_LOGON_FAILED, 0},
        {"no Exchange service", true, u"Empty", kLogonFlags, {}, mapi::MAPI_E_LOGON_FAILED, 0},
        {"unconfigured, no prompting",
         true,
         u"Unconfigured",
         kLogonFlags & ~mapi::MAPI_LOGON_UI,
         {},
         mapi::MAPI_E_LOGON_FAILED,
         0},
        {"unconfigured, prompt cancelled",
         true,
         u"Unconfigured",
         kLogonFlags,
         {},
         mapi::MAPI_E_USER_CANCEL,
         1},
        {"unconfigured, prompt filled in",
         true,
         u"Unconfigured",
         kLogonFlags,
         {{false, kServer, kUserDn}},
         mapi::S_OK,
         1},
    };
    auto& simulator = Simulator::Instance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.ClearRecords();
        simulator.Org().serviceDialogAnswers = c.script;
        if (c.initialize) Initialize();
        mapi::ComPtr<mapi::IMAPISession> session;
        EXPECT_EQ(mapi::MAPILogonEx(0, c.profile, nullptr, c.flags, session.Put()), c.result);
        EXPECT_EQ(static_cast<bool>(session), c.result == mapi::S_OK);
        EXPECT_EQ(simulator.OpenSessions(), session ? 1 : 0);
        EXPECT_EQ(simulator.ServiceDialogs().size(), c.dialogs);
        if (c.dialogs) {
            EXPECT_EQ(simulator.ServiceDialogs()[0].method, "MAPILogonEx");
        }
        auto calls = simulator.CallsTo("MAPILogonEx");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].args.at("flags"), c.flags == kLogonFlags ? "0x80008033" : "0x80008032");
        session.Reset();
        EXPECT_EQ(simulator.OpenSessions(), 0);
        if (c.initialize) mapi::MAPIUninitialize();
    }
    EXPECT_TRUE(simulator.Org().FindProfile("Unconfigured")->services[0].configured);
}

TEST_F(SessionLogonTest, StoreTableListsTheProfileMailboxAsDefault) {
    Initialize();
    sim::Row extra;
    extra[mapi::PR_DEFAULT_STORE] = true;
    extra[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"Archive");
    Simulator::Instance().Org().FindProfile("TavrelManager")->extraStoreRows.push_back(extra);
    auto session = Logon();
    mapi::RowSetPtr rows = StoreRows(*session);
    ASSERT_EQ(rows.Count(), 3u);
    const mapi::SPropValue* own = rows[0].lpProps;
    EXPECT_EQ(own[0].ulPropTag, mapi::PR_DEFAULT_STORE);
    EXPECT_EQ(own[0].Value.b, 1);
    ASSERT_EQ(own[1].ulPropTag, mapi::PR_ENTRYID);
    EXPECT_EQ(sim::Bytes(own[1].Value.bin.lpb, own[1].Value.bin.lpb + own[1].Value.bin.cb),
              sim::ProfileStoreEntryId(*Simulator::Instance().Org().FindMailbox(kOwnDn)));
    const mapi::SPropValue* pub = rows[1].lpProps;
    EXPECT_EQ(pub[0].Value.b, 0);
    EXPECT_EQ(std::u16string(pub[2].Value.lpszW), u"Public Folders");
    EXPECT_EQ(std::u16string(rows[2].lpProps[2].Value.lpszW), u"Archive");
    // An extra row without an entry id has the error value in that column.
    EXPECT_EQ(rows[2].lpProps[1].ulPropTag,
              mapi::CHANGE_PROP_TYPE(mapi::PR_ENTRYID, mapi::PT_ERROR));

    mapi::ComPtr<mapi::IMsgStore> store;
    EXPECT_EQ(session->OpenMsgStore(0, pub[1].Value.bin.cb,
                                    reinterpret_cast<mapi::LPENTRYID>(pub[1].Value.bin.lpb),
                                    nullptr, mapi::MDB_WRITE, store.Put()),
              mapi::MAPI_E_NOT_FOUND);
}

TEST_F(SessionLogonTest, AServiceWhoseMailboxIsUnknownHasNoDefaultStore) {
    Initialize();
    sim::OrgBuilder b;
    b.Profile("Stale").ExchangeService(kServer, u"/o=Example/cn=departed").Model().publicFolders =
        false;
    mapi::RowSetPtr rows = StoreRows(*Logon(u"Stale"));
    EXPECT_EQ(rows.Count(), 0u);
}

TEST_F(SessionLogonTest, OpensTheDefaultStoreAndOtherMailboxesThroughTheStoreManager) {
    Initialize();
    auto session = Logon();
    const sim::Bytes own =
        sim::ProfileStoreEntryId(*Simulator::Instance().Org().FindMailbox(kOwnDn));
    mapi::ComPtr<mapi::IMsgStore> store;
    ASSERT_EQ(
        session->OpenMsgStore(0, static_cast<ULONG>(own.size()),
                              reinterpret_cast<mapi::LPENTRYID>(const_cast<uint8_t*>(own.data())),
                              nullptr, mapi::MDB_WRITE, store.Put()),
        mapi::S_OK);
    mapi::ComPtr<mapi::IExchangeManageStore> xms;
    ASSERT_EQ(
        store->QueryInterface(mapi::IID_IExchangeManageStore, reinterpret_cast<void**>(xms.Put())),
        mapi::S_OK);
    mapi::MapiBuffer<mapi::ENTRYID> userId;
    ULONG cb = 0;
    ASSERT_EQ(xms->CreateStoreEntryID(const_cast<char*>("/o=Example/ou=First Administrative Group/"
                                                        "cn=Configuration/cn=Servers/cn=EXCH01"),
                                      const_cast<char*>("/o=Example/ou=First Administrative Group/"
                                                        "cn=Recipients/cn=jdoe"),
                                      mapi::OPENSTORE_USE_ADMIN_PRIVILEGE, &cb, userId.Put()),
              mapi::S_OK);
    const ULONG kOtherFlags =
        mapi::MDB_NO_DIALOG | mapi::MDB_WRITE | mapi::MDB_TEMPORARY | mapi::MDB_NO_MAIL;
    mapi::ComPtr<mapi::IMsgStore> user;
    ASSERT_EQ(session->OpenMsgStore(0, cb, userId.Get(), nullptr, kOtherFlags, user.Put()),
              mapi::S_OK);
    EXPECT_EQ(
        session->OpenMsgStore(0, cb, userId.Get(), &mapi::IID_IMAPITable, kOtherFlags, store.Put()),
        mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);

    auto opens = Simulator::Instance().CallsTo("IMAPISession::OpenMsgStore");
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[0].args.at("flags"), "0x00000004");
    EXPECT_EQ(opens[1].args.at("flags"), "0x000000a5");
    EXPECT_EQ(opens[0].object, "session:TavrelManager");
}

TEST_F(SessionLogonTest, LogoffEndsTheSessionButNotItsReference) {
    Initialize();
    auto session = Logon();
    mapi::ComPtr<mapi::IAddrBook> book;
    EXPECT_EQ(session->OpenAddressBook(0, nullptr, mapi::AB_NO_DIALOG, book.Put()), mapi::S_OK);
    EXPECT_TRUE(book);
    EXPECT_EQ(session->Logoff(0, 0, 0), mapi::S_OK);
    mapi::ComPtr<mapi::IMAPITable> table;
    EXPECT_EQ(session->GetMsgStoresTable(0, table.Put()), mapi::MAPI_E_END_OF_SESSION);
    EXPECT_FALSE(table);
    EXPECT_EQ(Simulator::Instance().OpenSessions(), 1);
}

// The library's provisioning: a new profile, the Exchange service added and configured in its
// dialog, then the logon that finds the configured mailbox as the default store.
TEST_F(SessionLogonTest, AProfileProvisionedStepByStepLogsOnToItsMailbox) {
    Initialize();
    Simulator::Instance().Org().serviceDialogAnswers = {{false, kServer, kUserDn}};
    {
        mapi::ComPtr<mapi::IProfAdmin> admin;
        ASSERT_EQ(mapi::MAPIAdminProfiles(0, admin.Put()), mapi::S_OK);
        ASSERT_EQ(admin->CreateProfile("Fresh", "", 0, 0), mapi::S_OK);
        mapi::ComPtr<mapi::IMsgServiceAdmin> services;
        ASSERT_EQ(admin->AdminServices("Fresh", "", 0, mapi::MAPI_DIALOG, services.Put()),
                  mapi::S_OK);
        ASSERT_EQ(services->CreateMsgService("MSEMS", "Microsoft Exchange", 0, 0), mapi::S_OK);
        mapi::ComPtr<mapi::IMAPITable> table;
        ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), mapi::S_OK);
        mapi::SizedSPropTagArray<2> columns{2, {mapi::PR_SERVICE_NAME_W, mapi::PR_SERVICE_UID}};
        mapi::RowSetPtr rows;
        ASSERT_EQ(mapi::HrQueryAllRows(table.Get(), columns.get(), nullptr, nullptr, 0, rows.Put()),
                  mapi::S_OK);
        ASSERT_EQ(rows.Count(), 1u);
        auto* uid = reinterpret_cast<mapi::LPMAPIUID>(rows[0].lpProps[1].Value.bin.lpb);
        ASSERT_EQ(services->ConfigureMsgService(
                      uid, 0, mapi::SERVICE_UI_ALWAYS | mapi::SERVICE_UI_ALLOWED, 0, nullptr),
                  mapi::S_OK);
    }
    mapi::RowSetPtr rows = StoreRows(*Logon(u"Fresh"));
    ASSERT_GE(rows.Count(), 1u);
    EXPECT_EQ(rows[0].lpProps[0].Value.b, 1);
    EXPECT_EQ(sim::Bytes(rows[0].lpProps[1].Value.bin.lpb,
                         rows[0].lpProps[1].Value.bin.lpb + rows[0].lpProps[1].Value.bin.cb),
              sim::ProfileStoreEntryId(*Simulator::Instance().Org().FindMailbox(kUserDn)));
}

}  // namespace
