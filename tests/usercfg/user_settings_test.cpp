// Writing a user's pending service and routing information, and reading and writing the five
// folder-redirection settings, in the user's configuration message.
#include <gtest/gtest.h>

#include "support/library_fixture.h"
#include "usercfg/folder_redirection_properties.h"

namespace tav {
namespace {

using testing::LibraryTest;
using testing::WideArg;

constexpr char16_t kServer[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=EXCH01";
constexpr char16_t kUser[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
constexpr char16_t kBare[] = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=bare";

constexpr std::uint64_t kEpochTicks = 116444736000000000ULL;
constexpr std::uint64_t Ticks(std::int64_t seconds) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(kEpochTicks) + seconds * 10000000);
}

class UserSettings : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        auto& folder = builder_.Mailbox(kUser, kServer).StandardFolders().Folder(u"TavrelHandheldInfo");
        folder.Message(u"KVO.Tavrel.Handheld.Config").Prop(0x600C001F, std::u16string(u"TES-East"));
        configFolder_ = &folder.Model();
        builder_.Mailbox(kBare, kServer).StandardFolders();
        ASSERT_TRUE(Initialize());
    }
    sim::PropMap& Stored() { return configFolder_->messages.at(0).props; }

    sim::Folder* configFolder_ = nullptr;
};

TEST_F(UserSettings, PendingServiceIsWrittenAndSavedOnce) {
    WideArg user(kUser), server(kServer), service(u"TES-West"), routing(u"");
    ASSERT_TRUE(SetPendingServiceAndRoutingInfoForUser(user, server, service, routing));
    EXPECT_EQ(std::get<std::u16string>(Stored().at(0x601A001F)), u"TES-West");
    EXPECT_EQ(std::get<std::u16string>(Stored().at(0x601B001F)), u"");
    EXPECT_EQ(std::get<std::u16string>(Stored().at(0x600C001F)), u"TES-East");  // untouched
    auto& simulator = sim::Simulator::Instance();
    auto sets = simulator.CallsTo("IMessage::SetProps");
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].args["tags"], "0x601a001f,0x601b001f");
    auto saves = simulator.CallsTo("IMessage::SaveChanges");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].args["flags"], "0x00000004");
    EXPECT_EQ(LogUtf8().front(),
              "4:[ExchangeAdaptorDLL::SetPendingServiceAndRoutingInfoForUser] UserDN=" +
                  sim::ToUtf8(kUser) + ", ServerDN=" + sim::ToUtf8(kServer) +
                  ", Service=TES-West, RoutingInfo=");
}

TEST_F(UserSettings, PendingServiceFailuresEndWithTheUserLine) {
    struct Case {
        const char* name;
        const char16_t* user;
        const char* fault;
        std::string line;  // before "Failed for UserDN"
    };
    const Case cases[] = {
        {"no configuration folder", kBare, "",
         "4:[ExchangeAdaptorDLL::OpenNamedFolder] Folder 'TavrelHandheldInfo' not found."},
        {"SetProps", kUser, "IMessage::SetProps",
         "3:[ExchangeAdaptorDLL::SetPendingServiceAndRoutingInfoForUser] Failed to set "
         "PENDING_SERVICE_NAME='S', PENDING_ROUTING_INFO='R' for user=" +
             sim::ToUtf8(kUser) + "."},
        {"SaveChanges", kUser, "IMessage::SaveChanges",
         "3:[ExchangeAdaptorDLL::SetPendingServiceAndRoutingInfoForUser] SaveChanges failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Simulator::Instance().ClearFaults();
        if (*c.fault) Fail(c.fault, std::int32_t(0x80040115));
        WideArg user(c.user), server(kServer), service(u"S"), routing(u"R");
        EXPECT_FALSE(SetPendingServiceAndRoutingInfoForUser(user, server, service, routing));
        auto log = LogUtf8();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.line);
        EXPECT_EQ(log.back(), "3:[ExchangeAdaptorDLL::SetPendingServiceAndRoutingInfoForUser] "
                              "Failed for UserDN=" +
                                  sim::ToUtf8(c.user));
        // Nothing reached the mailbox.
        EXPECT_EQ(Stored().count(0x601A001F), 0u);
    }
}

TEST_F(UserSettings, RedirectionSettingsKeepTheCallersValuesForMissingProperties) {
    FolderRedirectionSettings settings{true, 7, 1234, 5678, false};
    ASSERT_TRUE(GetFolderRedirectionProperties(kUser, kServer, settings));
    EXPECT_TRUE(settings.RedirSelected);
    EXPECT_EQ(settings.NumSelectedFolders, 7);
    EXPECT_EQ(settings.Time, 1234);
    EXPECT_EQ(settings.SentActivationTime, 5678);
    EXPECT_TRUE(settings.RedirSentItems);  // a missing property means sent items are redirected
    auto log = LogUtf8();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "4:[ExchangeAdaptorDLL::GetFolderRedirectionProperties] Number of props "
                        "returned = 4."),
              log.end());
    EXPECT_EQ(log.back(),
              "4:[ExchangeAdaptorDLL::GetFolderRedirectionProperties] UserDN=" + sim::ToUtf8(kUser) +
                  ", ServerDN=" + sim::ToUtf8(kServer) +
                  ", RedirSelected=1, NumSelectedFolders=7, Time=1234, SentActivationTime=5678, "
                  "RedirSentItems=1");
}

TEST_F(UserSettings, RedirectionSettingsRoundTripAndTimesAtTheEdges) {
    FolderRedirectionSettings written{false, 3, 0, -86400, false};
    ASSERT_TRUE(UpdateFolderRedirectionProperties(kUser, kServer, written));
    EXPECT_EQ(std::get<sim::FileTime>(Stored().at(0x60250040)).value, kEpochTicks);
    EXPECT_EQ(std::get<sim::FileTime>(Stored().at(0x60710040)).value, Ticks(-86400));
    EXPECT_EQ(std::get<std::int32_t>(Stored().at(0x60700003)), 0);
    EXPECT_EQ(std::get<std::int32_t>(Stored().at(0x60220003)), 0);
    EXPECT_EQ(std::get<std::int32_t>(Stored().at(0x60240003)), 3);
    EXPECT_EQ(sim::Simulator::Instance().CallsTo("IMessage::SaveChanges").size(), 1u);

    FolderRedirectionSettings read{true, 0, 99, 99, true};
    ASSERT_TRUE(GetFolderRedirectionProperties(kUser, kServer, read));
    EXPECT_FALSE(read.RedirSelected);
    EXPECT_EQ(read.NumSelectedFolders, 3);
    EXPECT_EQ(read.Time, 0);
    EXPECT_EQ(read.SentActivationTime, -86400);
    EXPECT_FALSE(read.RedirSentItems);

    struct Case {
        std::uint64_t stored;
        std::int32_t expected;  // 77 means: the field kept its value
    };
    const Case cases[] = {
        {Ticks(2147483647), 2147483647},           // 2038-01-19 03:14:07
        {Ticks(2147483648), 77},                   // one second later: out of range
        {Ticks(-1), -1},                           // a second before 1970
        {kEpochTicks - 5000000, 0},                // half a second before: truncated toward zero
        {Ticks(-2147483648LL), -2147483647 - 1},   // 1901-12-13 20:45:52
        {Ticks(-2147483649LL), 77},                // before that: refused as well
        {0x8000000000000000ULL, 77},               // the top bit set: no time at all
        {0xFFFFFFFFFFFFFFFFULL, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        Stored()[0x60250040] = sim::FileTime{c.stored};
        FolderRedirectionSettings settings{false, 0, 77, 0, false};
        ASSERT_TRUE(GetFolderRedirectionProperties(kUser, kServer, settings));
        EXPECT_EQ(settings.Time, c.expected);
    }
}

TEST_F(UserSettings, RedirectionSettingsFailures) {
    struct Case {
        const char* name;
        const char16_t* user;
        const char* fault;
        int nth;
        bool update;
        std::string line;
    };
    const std::string user = sim::ToUtf8(kUser);
    const Case cases[] = {
        {"no folder", kBare, "", 0, false,
         "4:[ExchangeAdaptorDLL::OpenNamedFolder] Folder 'TavrelHandheldInfo' not found."},
        {"sent items unreadable", kUser, "IMessage::GetProps", 1, false,
         "3:[ExchangeAdaptorDLL::GetFolderRedirectionProperties] Failed to get properties for "
         "user=" + user + ", prop=1617952771."},
        {"GetProps", kUser, "IMessage::GetProps", 2, false,
         "3:[ExchangeAdaptorDLL::GetFolderRedirectionProperties] Failed to get properties for "
         "user=" + user + "."},
        {"SetProps", kUser, "IMessage::SetProps", 0, true,
         "3:[ExchangeAdaptorDLL::UpdateFolderRedirectionProperties] Failed to update properties "
         "for user=" + user + "."},
        {"SaveChanges", kUser, "IMessage::SaveChanges", 0, true,
         "3:[ExchangeAdaptorDLL::UpdateFolderRedirectionProperties] SaveChanges failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearLog();
        sim::Simulator::Instance().ClearFaults();
        if (*c.fault) Fail(c.fault, std::int32_t(0x80040115), c.nth);
        FolderRedirectionSettings settings{true, 5, 6, 7, false};
        bool done = c.update ? UpdateFolderRedirectionProperties(c.user, kServer, settings)
                             : GetFolderRedirectionProperties(c.user, kServer, settings);
        EXPECT_FALSE(done);
        auto log = LogUtf8();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[log.size() - 2], c.line);
        std::string op = c.update ? "UpdateFolderRedirectionProperties" : "GetFolderRedirectionProperties";
        EXPECT_EQ(log.back(), "3:[ExchangeAdaptorDLL::" + op + "] Failed for UserDN=" + sim::ToUtf8(c.user));
        EXPECT_EQ(Stored().count(0x60240003), 0u);  // nothing saved
    }
}

}  // namespace
}  // namespace tav
