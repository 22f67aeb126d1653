// The adaptor's "MAPIProfile" setting and the key MAPI keeps a profile under. These run without a
// MAPI provider: the settings are read before profile administration is asked for.
#include <gtest/gtest.h>

#include "core/diagnostic_log.h"
#include "core/profile_name.h"
#include "core/registry_key.h"
#include "platform/portable/portable_platform.h"

namespace tav {
namespace {

using platform::RegistryRoot;
namespace portable = platform::portable;

const std::u16string kSettings =
    u"Software\\Morvane\\Tavrel Enterprise Server\\Manager\\ExchangeAdaptor";

class ProfileSetting : public ::testing::Test {
protected:
    void SetUp() override {
        portable::ResetRegistry();
        ClearLog();
    }
    void TearDown() override {
        EXPECT_EQ(portable::OpenRegistryHandleCount(), 0u);
        portable::ResetRegistry();
        ClearLog();
    }
    // The name GetProfileName settles on, as its first log line shows it.
    static std::u16string UsedName() {
        ClearLog();
        std::u16string name;
        GetProfileName(name);
        auto lines = DiagnosticLog::Instance().Lines();
        const std::u16string prefix = u"4:[ExchangeAdaptorDLL::GetProfileName] Using MAPI profile '";
        EXPECT_FALSE(lines.empty());
        if (lines.empty() || lines[0].rfind(prefix, 0) != 0) return u"<no line>";
        return lines[0].substr(prefix.size(), lines[0].size() - prefix.size() - 2);
    }
    static std::optional<portable::RegistryValue> Stored() {
        return portable::GetRegistryValue(RegistryRoot::CurrentUser, kSettings, "MAPIProfile");
    }
    static portable::RegistryValue Sz(std::string_view text, std::uint32_t type = platform::kRegSz) {
        portable::RegistryValue value{type, {text.begin(), text.end()}};
        value.data.push_back(0);
        return value;
    }
};

TEST_F(ProfileSetting, MissingOrUnusableValuesBecomeTheDefaultAndAreWritten) {
    struct Case {
        const char* what;
        std::optional<portable::RegistryValue> stored;
    };
    const Case cases[] = {
        {"no key", std::nullopt},
        {"empty", Sz("")},
        {"a number", portable::RegistryValue{platform::kRegDword, {1, 0, 0, 0}}},
        {"260 characters", Sz(std::string(260, 'p'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        portable::ResetRegistry();
        if (c.stored) portable::PutRegistryValue(RegistryRoot::CurrentUser, kSettings, "MAPIProfile", *c.stored);
        EXPECT_EQ(UsedName(), u"TavrelManager");
        EXPECT_EQ(Stored()->type, platform::kRegSz);
        EXPECT_EQ(Stored()->data, Sz("TavrelManager").data);
    }
}

TEST_F(ProfileSetting, StoredNamesAreUsedAsTheyAre) {
    const std::string longest(259, 'q');
    portable::PutRegistryValue(RegistryRoot::CurrentUser, kSettings, "MAPIProfile", Sz(longest));
    EXPECT_EQ(UsedName(), std::u16string(259, u'q'));
    EXPECT_EQ(Stored()->data, Sz(longest).data);

    portable::PutRegistryValue(RegistryRoot::CurrentUser, kSettings, "MAPIProfile", Sz("Caf\xE9"));
    EXPECT_EQ(UsedName(), u"Caf\u00E9");

    // An expandable value is used expanded and stays as it was stored.
    portable::SetEnvironmentValue("TAV_ADMIN", std::string("Helpdesk"));
    portable::PutRegistryValue(RegistryRoot::CurrentUser, kSettings, "MAPIProfile",
                               Sz("%TAV_ADMIN% Manager", platform::kRegExpandSz));
    EXPECT_EQ(UsedName(), u"Helpdesk Manager");
    EXPECT_EQ(Stored()->type, platform::kRegExpandSz);
    EXPECT_EQ(Stored()->data, Sz("%TAV_ADMIN% Manager").data);
}

TEST_F(ProfileSetting, AnUnreachableKeyLeavesTheNameEmpty) {
    portable::DenyRegistryKey(RegistryRoot::CurrentUser, kSettings);
    EXPECT_EQ(UsedName(), u"");
    EXPECT_FALSE(Stored());
}

TEST(ProfileKeyPath, EscapesHighBytesAndCutsAtSixtyFourBytes) {
    const std::string prefix =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles\\";
    EXPECT_EQ(ProfileKeyPath("TavrelManager"), prefix + "TavrelManager");
    // 0xE9: "[" then 0x70 + 9 ('y') then 0x70 + 0xE ('~').
    EXPECT_EQ(ProfileKeyPath("Caf\xE9"), prefix + "Caf[y~");
    EXPECT_EQ(ProfileKeyPath("\x80\xFF"), prefix + "[px[\x7F\x7F");
    const std::string longName = std::string(63, 'a') + "\xE9" + "tail";
    EXPECT_EQ(ProfileKeyPath(longName), prefix + std::string(63, 'a') + "[y~");
}

TEST(RegistryKeyObject, ReadsWithoutAnOpenKeyFail) {
    portable::ResetRegistry();
    RegistryKey key(RegistryRoot::CurrentUser, "Software\\Nothing");
    char buffer[8] = {'x'};
    EXPECT_FALSE(key.ReadString("v", buffer, sizeof buffer));
    EXPECT_FALSE(key.WriteString("v", "text"));
    EXPECT_FALSE(key.ReadString("v", buffer, sizeof buffer, "default"));
    EXPECT_STREQ(buffer, "default");
    EXPECT_FALSE(key.Open(false));
    EXPECT_TRUE(key.Create());
    EXPECT_TRUE(key.Open(false));  // already open
    EXPECT_TRUE(key.WriteString("v", "a longer text"));
    EXPECT_TRUE(key.ReadString("v", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "a longe");  // cut to the buffer, last byte zero
    key.Close();
    EXPECT_EQ(portable::OpenRegistryHandleCount(), 0u);
}

}  // namespace
}  // namespace tav
