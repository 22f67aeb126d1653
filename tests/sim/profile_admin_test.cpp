// Profile administration: profiles and their registry keys, the Exchange service and its
// scripted configuration dialog.
#include "sim/profile_admin.h"

#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"

namespace {

using mapi::ULONG;
using platform::RegistryRoot;
using sim::Simulator;

class ProfileAdminTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        platform::portable::ResetRegistry();
        sim::InstallProvider();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        ASSERT_EQ(mapi::MAPIAdminProfiles(0, admin_.Put()), mapi::S_OK);
    }
    void TearDown() override {
        admin_.Reset();
        EXPECT_EQ(Simulator::Instance().LiveObjectLabels(), std::vector<std::string>{});
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
        platform::portable::ResetRegistry();
    }

    static bool KeyExists(std::string_view name) {
        return platform::portable::RegistryKeyExists(RegistryRoot::CurrentUser,
                                                     sim::ProfileKeyPath(name));
    }
    mapi::ComPtr<mapi::IMsgServiceAdmin> Services(const char* profile) {
        mapi::ComPtr<mapi::IMsgServiceAdmin> services;
        EXPECT_EQ(admin_->AdminServices(profile, "", 0, mapi::MAPI_DIALOG, services.Put()),
                  mapi::S_OK);
        return services;
    }
    // The service table's first row, read as the library reads it.
    static sim::Bytes FirstServiceUid(mapi::IMsgServiceAdmin& services, std::u16string* name) {
        mapi::ComPtr<mapi::IMAPITable> table;
        EXPECT_EQ(services.GetMsgServiceTable(0, table.Put()), mapi::S_OK);
        mapi::SizedSPropTagArray<2> columns{2, {mapi::PR_SERVICE_NAME_W, mapi::PR_SERVICE_UID}};
        mapi::RowSetPtr rows;
        EXPECT_EQ(mapi::HrQueryAllRows(table.Get(), columns.get(), nullptr, nullptr, 0, rows.Put()),
                  mapi::S_OK);
        if (!rows || rows->cRows == 0) return {};
        const mapi::SPropValue* values = rows->aRow[0].lpProps;
        EXPECT_EQ(values[0].ulPropTag, mapi::PR_SERVICE_NAME_W);
        EXPECT_EQ(values[1].ulPropTag, mapi::PR_SERVICE_UID);
        *name = values[0].Value.lpszW;
        return sim::Bytes(values[1].Value.bin.lpb,
                          values[1].Value.bin.lpb + values[1].Value.bin.cb);
    }

    mapi::ComPtr<mapi::IProfAdmin> admin_;
    std::size_t buffers_ = 0;
};

TEST(ProfileKeyName, EscapesHighBytesAndKeepsTheFirst64Bytes) {
    const std::string a63(63, 'A');
    const struct {
        std::string name, key;
    } cases[] = {
        {"TavrelManager", "TavrelManager"},
        {"Caf\xE9", "Caf[y~"},  // 0xE9: low nibble 9 -> 'y', high nibble E -> '~'
        {"\x80", "[px"},
        {std::string(70, 'B'), std::string(64, 'B')},
        {a63 + "\xFF" + "tail", a63 + "[\x7F\x7F"},  // the 64th byte is escaped, the rest dropped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sim::EscapedProfileKeyName(c.name), c.key);
    }
    EXPECT_EQ(sim::ProfileKeyPath("Caf\xE9"), std::u16string(sim::kProfilesKey) + u"\\Caf[y~");
}

TEST_F(ProfileAdminTest, CreateAndDeleteKeepTheRegistryKeyInStep) {
    EXPECT_FALSE(KeyExists("Caf\xE9"));
    ASSERT_EQ(admin_->CreateProfile("Caf\xE9", "", 0, 0), mapi::S_OK);
    EXPECT_TRUE(KeyExists("Caf\xE9"));
    EXPECT_EQ(admin_->CreateProfile("Caf\xE9", "", 0, 0), mapi::MAPI_E_NO_ACCESS);
    EXPECT_EQ(admin_->CreateProfile("CAF\xE9", "", 0, 0), mapi::MAPI_E_NO_ACCESS);
    EXPECT_EQ(admin_->CreateProfile(u"Caf\u00E9", u"", 0, mapi::MAPI_UNICODE),
              mapi::MAPI_E_NO_ACCESS);
    EXPECT_EQ(admin_->CreateProfile("", "", 0, 0), mapi::MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(Simulator::Instance().Org().profiles.size(), 1u);

    EXPECT_EQ(admin_->DeleteProfile("Caf\xE9", 0), mapi::S_OK);
    EXPECT_FALSE(KeyExists("Caf\xE9"));
    EXPECT_EQ(admin_->DeleteProfile("Caf\xE9", 0), mapi::MAPI_E_NOT_FOUND);
    EXPECT_TRUE(Simulator::Instance().Org().profiles.empty());
}

TEST_F(ProfileAdminTest, NamesAlikeInTheirFirst64BytesShareOneKey) {
    const std::string first = std::string(64, 'P') + "-one";
    const std::string second = std::string(64, 'P') + "-two";
    ASSERT_EQ(admin_->CreateProfile(first.c_str(), "", 0, 0), mapi::S_OK);
    ASSERT_EQ(admin_->CreateProfile(second.c_str(), "", 0, 0), mapi::S_OK);
    EXPECT_EQ(platform::portable::RegistrySubKeys(RegistryRoot::CurrentUser, sim::kProfilesKey),
              std::vector<std::u16string>{std::u16string(64, u'P')});
    EXPECT_EQ(admin_->DeleteProfile(first.c_str(), 0), mapi::S_OK);
    EXPECT_TRUE(KeyExists(second));
    EXPECT_EQ(admin_->DeleteProfile(second.c_str(), 0), mapi::S_OK);
    EXPECT_FALSE(KeyExists(second));
}

TEST_F(ProfileAdminTest, ProfilesOfTheModelGetTheirKeysUnlessTheSetupSaysOtherwise) {
    sim::OrgBuilder b;
    b.Profile("Built");
    b.Profile("Keyless").Model().registryKey = false;
    EXPECT_FALSE(KeyExists("Built"));
    mapi::ComPtr<mapi::IProfAdmin> again;
    ASSERT_EQ(mapi::MAPIAdminProfiles(0, again.Put()), mapi::S_OK);
    EXPECT_TRUE(KeyExists("Built"));
    EXPECT_FALSE(KeyExists("Keyless"));
    EXPECT_EQ(admin_->CreateProfile("Keyless", "", 0, 0), mapi::MAPI_E_NO_ACCESS);
}

TEST_F(ProfileAdminTest, CreateMsgServiceFindsOnlyAnInstalledExchangeService) {
    ASSERT_EQ(admin_->CreateProfile("P", "", 0, 0), mapi::S_OK);
    EXPECT_EQ(admin_->AdminServices("Missing", "", 0, 0, nullptr), mapi::MAPI_E_INVALID_PARAMETER);
    mapi::ComPtr<mapi::IMsgServiceAdmin> none;
    EXPECT_EQ(admin_->AdminServices("Missing", "", 0, 0, none.Put()), mapi::MAPI_E_NOT_FOUND);
    EXPECT_FALSE(none);

    auto services = Services("P");
    Simulator::Instance().Org().exchangeServiceInstalled = false;
    EXPECT_EQ(services->CreateMsgService("MSEMS", "Microsoft Exchange", 0, 0),
              mapi::MAPI_E_NOT_FOUND);
    Simulator::Instance().Org().exchangeServiceInstalled = true;
    EXPECT_EQ(services->CreateMsgService("MSPST MS", "Personal Folders", 0, 0),
              mapi::MAPI_E_NOT_FOUND);
    std::u16string name;
    EXPECT_TRUE(FirstServiceUid(*services, &name).empty());

    ASSERT_EQ(services->CreateMsgService("MSEMS", "Microsoft Exchange", 0, 0), mapi::S_OK);
    const sim::Bytes uid = FirstServiceUid(*services, &name);
    EXPECT_EQ(name, u"MSEMS");
    ASSERT_EQ(uid.size(), 16u);
    const sim::MsgService& added = Simulator::Instance().Org().profiles[0].services.at(0);
    EXPECT_EQ(added.uid, uid);
    EXPECT_FALSE(added.configured);
    EXPECT_EQ(added.displayName, u"Microsoft Exchange");
}

TEST_F(ProfileAdminTest, ConfigureMsgServiceShowsTheScriptedDialog) {
    using Answer = sim::ServiceDialogAnswer;
    const ULONG kDialog = mapi::SERVICE_UI_ALWAYS | mapi::SERVICE_UI_ALLOWED;
    const struct {
        const char* name;
        bool configuredBefore;
        ULONG flags;
        std::vector<Answer> script;
        mapi::HRESULT result;
        bool dialogShown, scripted, configuredAfter;
    } cases[] = {
        {"filled in",
         false,
         kDialog,
         {Answer{false, u"EXCH01", u"/o=Example/cn=jdoe"}},
         mapi::S_OK,
         true,
         true,
         true},
        {"cancelled",
         false,
         kDialog,
         {Answer{true, {}, {}}},
         mapi::MAPI_E_USER_CANCEL,
         true,
         true,
         false},
        {"nobody scripted it", false, kDialog, {}, mapi::MAPI_E_USER_CANCEL, true, false, false},
        {"allowed, already configured",
         true,
         mapi::SERVICE_UI_ALLOWED,
         {},
         mapi::S_OK,
         false,
         false,
         true},
        {"no dialog, unconfigured", false, 0, {}, mapi::MAPI_E_UNCONFIGURED, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        admin_ = nullptr;
        Simulator::Instance().Reset();
        ASSERT_EQ(mapi::MAPIAdminProfiles(0, admin_.Put()), mapi::S_OK);
        sim::OrgBuilder b;
        if (c.configuredBefore) {
            b.Profile("P").ExchangeService(u"OLD", u"/o=Example/cn=old");
        } else {
            b.Profile("P").UnconfiguredExchangeService();
        }
        Simulator::Instance().Org().serviceDialogAnswers = c.script;
        auto services = Services("P");
        std::u16string name;
        sim::Bytes uid = FirstServiceUid(*services, &name);
        ASSERT_EQ(uid.size(), sizeof(mapi::MAPIUID));
        mapi::MAPIUID id;
        std::copy(uid.begin(), uid.end(), id.ab);

        EXPECT_EQ(services->ConfigureMsgService(&id, 0, c.flags, 0, nullptr), c.result);
        const sim::MsgService& service = Simulator::Instance().Org().profiles[0].services[0];
        EXPECT_EQ(service.configured, c.configuredAfter);
        const auto& dialogs = Simulator::Instance().ServiceDialogs();
        ASSERT_EQ(dialogs.size(), c.dialogShown ? 1u : 0u);
        if (c.dialogShown) {
            EXPECT_EQ(dialogs[0].profile, "P");
            EXPECT_EQ(dialogs[0].flags, c.flags);
            EXPECT_EQ(dialogs[0].scripted, c.scripted);
            EXPECT_EQ(dialogs[0].cancelled, c.result == mapi::MAPI_E_USER_CANCEL);
        }
        if (c.result == mapi::S_OK && c.dialogShown) {
            EXPECT_EQ(service.server, u"EXCH01");
            EXPECT_EQ(service.mailbox, u"/o=Example/cn=jdoe");
            EXPECT_EQ(dialogs[0].mailbox, "/o=Example/cn=jdoe");
        }
        id.ab[0] ^= 0xFF;
        EXPECT_EQ(services->ConfigureMsgService(&id, 0, kDialog, 0, nullptr),
                  mapi::MAPI_E_NOT_FOUND);
    }
}

TEST_F(ProfileAdminTest, ServiceAdminOfADeletedProfileIsDead) {
    ASSERT_EQ(admin_->CreateProfile("Gone", "", 0, 0), mapi::S_OK);
    auto services = Services("Gone");
    ASSERT_EQ(admin_->DeleteProfile("Gone", 0), mapi::S_OK);
    EXPECT_EQ(services->CreateMsgService("MSEMS", "", 0, 0), mapi::MAPI_E_OBJECT_DELETED);
    EXPECT_EQ(Simulator::Instance().CallsTo("IMsgServiceAdmin::CreateMsgService").at(0).object,
              "serviceadmin:Gone");
}

}  // namespace
