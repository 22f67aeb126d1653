// MAPIInitialize, MAPIUninitialize, MAPILogonEx and MAPIAdminProfiles reach the registered
// provider, or fail without one.
#include <gtest/gtest.h>

#include <string>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_provider.h"

namespace mapi {
namespace {

// What the provider below was called with.
struct Calls {
    int initialize = 0;
    int uninitialize = 0;
    int logon = 0;
    int admin = 0;
    LPVOID init = nullptr;
    ULONG_PTR uiParam = 0;
    std::u16string profile;
    ULONG logonFlags = 0;
    ULONG adminFlags = 0;
};
Calls calls;

HRESULT MAPI_CALL Initialize(LPVOID init) {
    ++calls.initialize;
    calls.init = init;
    return S_OK;
}
void MAPI_CALL Uninitialize() {
    ++calls.uninitialize;
}
HRESULT MAPI_CALL LogonEx(ULONG_PTR uiParam, LPTSTR profile, LPTSTR, ULONG flags,
                          LPMAPISESSION* session) {
    ++calls.logon;
    calls.uiParam = uiParam;
    calls.profile = profile.w();
    calls.logonFlags = flags;
    *session = nullptr;
    return MAPI_E_LOGON_FAILED;
}
HRESULT MAPI_CALL AdminProfiles(ULONG flags, LPPROFADMIN* admin) {
    ++calls.admin;
    calls.adminFlags = flags;
    *admin = nullptr;
    return MAPI_E_NO_ACCESS;
}

class ProviderForwardingTest : public ::testing::Test {
  protected:
    void SetUp() override { calls = Calls{}; }
    void TearDown() override { portable::SetProvider(nullptr); }

    // Calls all four entry points and returns the three results.
    struct Results {
        HRESULT initialize, logon, admin;
        bool sessionNulled, adminNulled;
    };
    static Results CallAll() {
        MAPIINIT_0 init{MAPI_INIT_VERSION, 0};
        int notAnObject = 0;
        auto* session = reinterpret_cast<LPMAPISESSION>(&notAnObject);
        auto* admin = reinterpret_cast<LPPROFADMIN>(&notAnObject);
        Results r{};
        r.initialize = MAPIInitialize(&init);
        r.logon = MAPILogonEx(0, u"TavrelManager", nullptr, 0x80008033, &session);
        r.admin = MAPIAdminProfiles(0, &admin);
        MAPIUninitialize();
        r.sessionNulled = session == nullptr;
        r.adminNulled = admin == nullptr;
        return r;
    }
};

TEST_F(ProviderForwardingTest, WithoutProviderNothingIsInitialized) {
    EXPECT_FALSE(portable::HasProvider());
    const Results r = CallAll();
    EXPECT_EQ(r.initialize, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(r.logon, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(r.admin, MAPI_E_NOT_INITIALIZED);
    EXPECT_TRUE(r.sessionNulled);
    EXPECT_TRUE(r.adminNulled);
}

TEST_F(ProviderForwardingTest, ForwardsArgumentsAndResultsToTheProvider) {
    portable::Provider provider{Initialize, Uninitialize, LogonEx, AdminProfiles};
    portable::SetProvider(&provider);
    provider = portable::Provider{};  // the runtime keeps its own copy
    EXPECT_TRUE(portable::HasProvider());

    const Results r = CallAll();
    EXPECT_EQ(r.initialize, S_OK);
    EXPECT_EQ(r.logon, MAPI_E_LOGON_FAILED);
    EXPECT_EQ(r.admin, MAPI_E_NO_ACCESS);
    EXPECT_EQ(calls.initialize, 1);
    EXPECT_NE(calls.init, nullptr);
    EXPECT_EQ(calls.uninitialize, 1);
    EXPECT_EQ(calls.logon, 1);
    EXPECT_EQ(calls.profile, u"TavrelManager");
    EXPECT_EQ(calls.logonFlags, 0x80008033u);
    EXPECT_EQ(calls.admin, 1);
}

TEST_F(ProviderForwardingTest, EntriesTheProviderLeavesOutAreNotInitialized) {
    portable::Provider provider;
    provider.initialize = Initialize;
    portable::SetProvider(&provider);
    const Results r = CallAll();
    EXPECT_EQ(r.initialize, S_OK);
    EXPECT_EQ(r.logon, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(r.admin, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(calls.uninitialize, 0);

    portable::SetProvider(nullptr);
    EXPECT_EQ(CallAll().initialize, MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(calls.initialize, 1);
}

}  // namespace
}  // namespace mapi
