// The exports called directly, in the console's layouts, with input no well-behaved console
// sends: null for every pointer, broken lists, huge strings, format conversions inside
// distinguished names, non-ASCII and unpaired-surrogate text, capacities of 0 and 1. Each must
// answer without crashing, reject what it cannot use with "Bad parameters." and leave nothing
// behind (the frame's checks after every test).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "addrbook/ab_item.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::WideArg;

const std::u16string kUsers = u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=";
const std::u16string kUserDn = kUsers + u"jdoe";

std::string BadParameters(const char* operation) {
    return std::string("4:[ExchangeAdaptorDLL::") + operation + "] Bad parameters.";
}

class BadInput : public testing::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        builder_.Mailbox(kUserDn, testing::kServerDn)
            .StandardFolders()
            .Folder(u"TavrelHandheldInfo")
            .Message(u"KVO.Tavrel.Handheld.Config")
            .Prop(0x600C001F, std::u16string(u"TES-East"));
        builder_.Mailbox(kUsers + u"noname", testing::kServerDn)
            .StandardFolders()
            .Folder(u"TavrelHandheldInfo")
            .Message(u"KVO.Tavrel.Handheld.Config");
        ASSERT_TRUE(Initialize());
        sim::Simulator::Instance().ClearRecords();
    }
};

// Every pointer argument of every export that takes one, null in turn.
TEST_F(BadInput, NullForEveryPointerArgument) {
    WideArg a(kUserDn), b(testing::kServerDn), c(u"TavrelService"), d(u"text");
    char16_t buffer[8] = {};
    bool flag = false;
    std::int32_t number = 0;
    WideStringList recipients{};
    InitList(recipients);
    AppendToList(recipients, u"jdoe@example.com");
    ABItemList* noList = nullptr;
    struct Case {
        const char* operation;
        std::function<bool()> call;
    };
    const WideStringSlot* n = nullptr;
    const std::vector<Case> cases = {
        {"GetTavrelServiceNameForUser",
         [&] { return GetTavrelServiceNameForUser(n, b, buffer, 8); }},
        {"GetTavrelServiceNameForUser",
         [&] { return GetTavrelServiceNameForUser(a, n, buffer, 8); }},
        {"GetTavrelServiceNameForUser",
         [&] { return GetTavrelServiceNameForUser(a, b, nullptr, 8); }},
        {"SetPendingServiceAndRoutingInfoForUser",
         [&] { return SetPendingServiceAndRoutingInfoForUser(n, b, c, d); }},
        {"SetPendingServiceAndRoutingInfoForUser",
         [&] { return SetPendingServiceAndRoutingInfoForUser(a, n, c, d); }},
        {"SetPendingServiceAndRoutingInfoForUser",
         [&] { return SetPendingServiceAndRoutingInfoForUser(a, b, n, d); }},
        {"SetPendingServiceAndRoutingInfoForUser",
         [&] { return SetPendingServiceAndRoutingInfoForUser(a, b, c, n); }},
        {"RemoveUserFromLegacyServer", [&] { return RemoveUserFromLegacyServer(n, a, b, c); }},
        {"RemoveUserFromLegacyServer", [&] { return RemoveUserFromLegacyServer(a, n, b, c); }},
        {"RemoveUserFromLegacyServer", [&] { return RemoveUserFromLegacyServer(a, a, n, c); }},
        {"RemoveUserFromLegacyServer", [&] { return RemoveUserFromLegacyServer(a, a, b, n); }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(n, a, b, &flag, &number, &number, &number, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, n, b, &flag, &number, &number, &number, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, n, &flag, &number, &number, &number, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, b, nullptr, &number, &number, &number,
                                                  &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, b, &flag, nullptr, &number, &number, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, b, &flag, &number, nullptr, &number, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, b, &flag, &number, &number, nullptr, &flag);
         }},
        {"EditFolderRedirectionSettings",
         [&] {
             return EditFolderRedirectionSettings(d, a, b, &flag, &number, &number, &number,
                                                  nullptr);
         }},
        {"GetABItem", [] { return GetABItem(nullptr); }},
        {"FreeABItem", [] { return FreeABItem(nullptr); }},
        {"GetABItemList", [] { return GetABItemList(nullptr, 0); }},
        {"FreeABItemList", [] { return FreeABItemList(nullptr); }},
        {"FreeABItemList", [&] { return FreeABItemList(&noList); }},
        {"SendBulletinByEmail", [&] { return SendBulletinByEmail(n, d, &recipients); }},
        {"SendBulletinByEmail", [&] { return SendBulletinByEmail(d, n, &recipients); }},
        {"SendBulletinByEmail", [&] { return SendBulletinByEmail(d, d, nullptr); }},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(i++));
        EXPECT_FALSE(c.call());
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{BadParameters(c.operation)});
        EXPECT_TRUE(sim::Simulator::Instance().Calls().empty());
    }
    EXPECT_EQ(std::u16string(buffer, 8), std::u16string(8, u'\0'));
    DestroyList(recipients);

    // GetDebugLogInfo keeps the log of the call before, and hands out nothing.
    EXPECT_FALSE(GetDebugLogInfo(nullptr));
    EXPECT_EQ(LogUtf8(), std::vector<std::string>{BadParameters("SendBulletinByEmail")});
}

// Recipient lists that are not a ring through the sentinel with as many links as the count.
TEST_F(BadInput, BrokenRecipientListsAreRefusedWithinBoundedWalks) {
    WideArg subject(u"Subject"), body(u"Body");
    WideStringNode sentinel{}, nodes[3]{};
    WideStringList list{};
    auto build = [&] {
        InitSlot(sentinel.text);
        WideStringNode* previous = &sentinel;
        for (WideStringNode& node : nodes) {
            InitSlot(node.text);
            AssignSlot(node.text, u"jdoe@example.com");
            node.prev = previous;
            previous->next = &node;
            previous = &node;
        }
        previous->next = &sentinel;
        sentinel.prev = previous;
        list = WideStringList{0, &sentinel, 3};
    };
    struct Case {
        const char* name;
        std::function<void()> damage;
    };
    const std::vector<Case> cases = {
        {"ring past the sentinel, largest count",
         [&] {
             nodes[2].next = &nodes[0];
             list.count = 0xFFFFFFFF;
         }},
        {"node linked to itself",
         [&] {
             nodes[1].next = &nodes[1];
             list.count = 0xFFFFFFFF;
         }},
        {"null link", [&] { nodes[1].next = nullptr; }},
        {"sentinel links to null", [&] { sentinel.next = nullptr; }},
        {"count above the links", [&] { list.count = 4; }},
        {"count below the links", [&] { list.count = 2; }},
        {"count zero", [&] { list.count = 0; }},
        {"slot longer than its capacity", [&] { nodes[0].text.length = 100; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        build();
        c.damage();
        EXPECT_FALSE(SendBulletinByEmail(subject, body, &list));
        EXPECT_EQ(LogUtf8(), std::vector<std::string>{BadParameters("SendBulletinByEmail")});
        for (WideStringNode& node : nodes) {
            node.text.length = 0;
            FreeSlot(node.text);
        }
    }
    EXPECT_TRUE(sim::Simulator::Instance().CallsTo("IMAPIFolder::CreateMessage").empty());

    // A list without sentinel is an empty list, answered as one.
    WideStringList noSentinel{0, nullptr, 3};
    WideStringList empty{};
    InitList(empty);
    EXPECT_FALSE(SendBulletinByEmail(subject, body, &empty));
    std::vector<std::string> emptyLog = LogUtf8();
    EXPECT_FALSE(SendBulletinByEmail(subject, body, &noSentinel));
    EXPECT_EQ(LogUtf8(), emptyLog);
    DestroyList(empty);
}

// Text the console may pass that no mailbox has: it reaches the log as text (never as a format),
// within the line buffer, and the lookups simply fail.
TEST_F(BadInput, HugeFormatLikeAndIllFormedText) {
    const std::vector<std::pair<const char*, std::u16string>> texts = {
        {"100000 characters", std::u16string(100000, u'x')},
        {"format conversions", kUsers + u"%s%n%x%%"},
        {"non-ASCII", kUsers + u"j\u00F6rg.m\u00FCller-\u4E2D\u6587"},
        {"unpaired surrogates", kUsers + u"a\xD800" + u"b\xDC00"},
    };
    WideArg server(testing::kServerDn), service(u"TavrelService"), admin(testing::kAdminDn);
    for (const auto& [name, text] : texts) {
        SCOPED_TRACE(name);
        WideArg dn(text);
        char16_t buffer[32];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_FALSE(GetTavrelServiceNameForUser(dn, server, buffer, 32));
        std::vector<std::u16string> log = Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(buffer[0], u'\0');
        for (const auto& line : log) EXPECT_LT(line.size(), DiagnosticLog::kLineBufferSize);
        if (text.size() < 1000) {
            EXPECT_EQ(log[0], u"4:[ExchangeAdaptorDLL::GetTavrelServiceNameForUser] UserDN=" +
                                  text + u", ServerDN=" + testing::kServerDn);
        }
        EXPECT_FALSE(SetPendingServiceAndRoutingInfoForUser(dn, server, dn, dn));
        EXPECT_FALSE(RemoveUserFromLegacyServer(dn, dn, server, service));
        EXPECT_FALSE(RemoveUserFromLegacyServer(dn, admin, server, dn));

        // As a bulletin's subject, body and recipient the text is only data.
        WideStringList recipients{};
        InitList(recipients);
        AppendToList(recipients, text);
        bool sent = SendBulletinByEmail(dn, dn, &recipients);
        DestroyList(recipients);
        EXPECT_TRUE(sent) << ::testing::PrintToString(LogUtf8());
    }
}

// The service name into buffers of 0 and 1 characters: nothing is written past the capacity,
// and only an empty name fits.
TEST_F(BadInput, ServiceNameCapacitiesZeroAndOne) {
    struct Case {
        const char16_t* user;
        std::uint32_t capacity;
        bool result;
        std::u16string buffer;  // after the call, 4 characters
    };
    const std::vector<Case> cases = {
        {u"jdoe", 0, false, u"####"},
        {u"jdoe", 1, false, std::u16string(1, u'\0') + u"###"},
        {u"noname", 0, true, u"####"},
        {u"noname", 1, true, std::u16string(1, u'\0') + u"###"},
    };
    WideArg server(testing::kServerDn);
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::ToUtf8(c.user) + " " + std::to_string(c.capacity));
        WideArg dn(kUsers + c.user);
        char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
        EXPECT_EQ(GetTavrelServiceNameForUser(dn, server, buffer, c.capacity), c.result);
        EXPECT_EQ(std::u16string(buffer, 4), c.buffer);
    }
}

}  // namespace
}  // namespace tav
