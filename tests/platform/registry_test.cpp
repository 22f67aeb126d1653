#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

constexpr std::u16string_view kKey = u"Software\\Morvane\\Tavrel Enterprise Server\\Manager";

class PortableRegistry : public ::testing::Test {
protected:
    void SetUp() override { portable::ResetRegistry(); }
    void TearDown() override {
        EXPECT_EQ(portable::OpenRegistryHandleCount(), 0u);
        portable::ResetRegistry();
    }
};

TEST_F(PortableRegistry, KeysOpenOnlyWhenTheyExistAndIgnoreAsciiCase) {
    RegistryHandle key = nullptr;
    EXPECT_EQ(OpenRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyRead, &key), kErrorFileNotFound);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(CreateRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyAllAccess, &key), kErrorSuccess);
    EXPECT_EQ(CloseRegistryKey(key), kErrorSuccess);
    EXPECT_EQ(CloseRegistryKey(key), kErrorInvalidHandle);

    ASSERT_EQ(OpenRegistryKey(RegistryRoot::CurrentUser,
                              u"SOFTWARE\\morvane\\TAVREL enterprise server\\manager\\", kKeyRead,
                              &key),
              kErrorSuccess);
    CloseRegistryKey(key);
    EXPECT_EQ(OpenRegistryKey(RegistryRoot::LocalMachine, kKey, kKeyRead, &key), kErrorFileNotFound);
    // Parents exist, created on the way, under their own names.
    EXPECT_EQ(portable::RegistrySubKeys(RegistryRoot::CurrentUser, u"Software\\Morvane"),
              std::vector<std::u16string>{u"Tavrel Enterprise Server"});

    portable::DenyRegistryKey(RegistryRoot::CurrentUser, kKey);
    EXPECT_EQ(OpenRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyRead, &key), kErrorAccessDenied);
    EXPECT_EQ(CreateRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyAllAccess, &key),
              kErrorAccessDenied);

    EXPECT_TRUE(portable::DeleteRegistryKey(RegistryRoot::CurrentUser, u"Software\\Morvane"));
    EXPECT_FALSE(portable::RegistryKeyExists(RegistryRoot::CurrentUser, kKey));
    EXPECT_TRUE(portable::RegistryKeyExists(RegistryRoot::CurrentUser, u"Software"));
}

TEST_F(PortableRegistry, ValuesReadAndWrittenAsTheWin32CallsDo) {
    portable::PutRegistryString(RegistryRoot::CurrentUser, kKey, "MAPIProfile", "TavrelManager");
    RegistryHandle key = nullptr;
    ASSERT_EQ(OpenRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyRead, &key), kErrorSuccess);

    std::uint8_t data[32] = {};
    std::uint32_t type = 0, size = sizeof data;
    ASSERT_EQ(ReadRegistryValue(key, "mapiprofile", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 14u);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "TavrelManager");

    size = 8;
    EXPECT_EQ(ReadRegistryValue(key, "MAPIProfile", &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 14u);
    size = 0;
    EXPECT_EQ(ReadRegistryValue(key, "MAPIProfile", nullptr, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 14u);
    EXPECT_EQ(ReadRegistryValue(key, "Other", &type, data, &size), kErrorFileNotFound);

    const std::uint8_t text[] = "Other";
    EXPECT_EQ(WriteRegistryValue(key, "MAPIProfile", kRegSz, text, sizeof text), kErrorAccessDenied);
    CloseRegistryKey(key);

    ASSERT_EQ(OpenRegistryKey(RegistryRoot::CurrentUser, kKey, kKeyRead | kKeyWrite, &key),
              kErrorSuccess);
    EXPECT_EQ(WriteRegistryValue(key, "MAPIProfile", kRegSz, text, sizeof text), kErrorSuccess);
    CloseRegistryKey(key);
    auto stored = portable::GetRegistryValue(RegistryRoot::CurrentUser, kKey, "MAPIProfile");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->data, std::vector<std::uint8_t>(text, text + sizeof text));
    EXPECT_EQ(portable::RegistryValueNames(RegistryRoot::CurrentUser, kKey),
              std::vector<std::string>{"MAPIProfile"});
}

TEST_F(PortableRegistry, EnvironmentExpansion) {
    portable::SetEnvironmentValue("TAV_PROFILE", std::string("Admin"));
    portable::SetEnvironmentValue("TAV_UNSET", std::nullopt);
    struct Case {
        const char* source;
        const char* expanded;
    };
    for (const Case& c : {Case{"%TAV_PROFILE%-Profile", "Admin-Profile"},
                          Case{"%tav_profile%", "Admin"},
                          Case{"%TAV_UNSET%x", "%TAV_UNSET%x"},
                          Case{"100% %TAV_PROFILE%", "100% Admin"},
                          Case{"50%", "50%"},
                          Case{"", ""}}) {
        char out[64] = {};
        std::uint32_t needed = ExpandEnvironment(c.source, out, sizeof out);
        EXPECT_STREQ(out, c.expanded) << c.source;
        EXPECT_EQ(needed, std::strlen(c.expanded) + 1) << c.source;
    }
    char small[4] = {'x', 0};
    EXPECT_EQ(ExpandEnvironment("%TAV_PROFILE%-Profile", small, sizeof small), 14u);
    EXPECT_EQ(small[0], 'x');  // nothing written when it does not fit
}

}  // namespace
}  // namespace platform
