// HrGWResolveProxy against the simulated directory and ProxyTypeMatch on its own: the entry's own
// address when its type already is the wanted one, else the first proxy of that type in stored
// order whatever the case of its prefix, malformed proxies ending the search, and the four result
// codes with nothing left allocated but the returned address.
#include "addrbook/smtp_address.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/adaptor_session.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using testing::LibraryTest;
namespace portable = mapi::portable;

constexpr char16_t kX400[] = u"X400:c=US;a= ;p=Example;o=Exchange;s=Doe;g=John;";

struct Resolved {
    mapi::HRESULT result = 0;
    std::optional<std::u16string> address;  // nullopt: no address returned
    mapi::ULONG isMapiRecipient = 0;
};

// One call; the returned address must be a live MAPI buffer, which is freed here.
Resolved Resolve(mapi::IAddrBook* book, const sim::Bytes& entryId,
                 std::u16string_view type = u"SMTP") {
    Resolved r;
    r.isMapiRecipient = 77;
    char16_t* address = reinterpret_cast<char16_t*>(&r);  // must be overwritten
    std::vector<std::uint8_t> id = entryId;
    r.result = HrGWResolveProxy(book, static_cast<mapi::ULONG>(id.size()),
                                reinterpret_cast<mapi::LPENTRYID>(id.data()), type,
                                &r.isMapiRecipient, &address);
    if (address) {
        EXPECT_TRUE(portable::IsLiveBuffer(address));
        r.address = std::u16string(address);
        mapi::MAPIFreeBuffer(address);
    }
    return r;
}

class SmtpAddress : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        ASSERT_TRUE(Initialize());
        sim::Simulator::Instance().ClearRecords();
    }
    sim::AddressEntryBuilder& Entry(std::u16string name) {
        return builder_.User(name, u"/o=Example/ou=Site/cn=Recipients/cn=" + name);
    }
    static mapi::IAddrBook* Book() { return Session().addrBook.Get(); }
};

TEST_F(SmtpAddress, AddressFoundOrNotByTypeAndProxies) {
    struct Case {
        const char* name;
        std::function<void(sim::AddressEntryBuilder&)> build;
        mapi::HRESULT result;
        std::optional<std::u16string> address;
    };
    const std::vector<Case> cases{
        {"own address when the type is smtp in lower case, proxies not looked at",
         [](auto& e) {
             e.Prop(mapi::PR_ADDRTYPE_W, std::u16string(u"smtp"))
                 .Prop(mapi::PR_EMAIL_ADDRESS_W, std::u16string(u"Ann.Lee@Example.COM"))
                 .Proxies({u"broken", u"SMTP:other@example.com"});
         },
         mapi::S_OK, u"Ann.Lee@Example.COM"},
        {"the type matches without an e-mail address: the proxies decide",
         [](auto& e) {
             e.Prop(mapi::PR_ADDRTYPE_W, std::u16string(u"SMTP"))
                 .Proxies({u"SMTP:proxy@example.com"});
             e.Model().props.erase(mapi::PR_EMAIL_ADDRESS_W);
         },
         mapi::S_OK, u"proxy@example.com"},
        {"first of the type in stored order: a secondary before the primary",
         [](auto& e) {
             e.Proxies({kX400, u"smtp:john.doe@example.org", u"SMTP:jdoe@example.com"});
         },
         mapi::S_OK, u"john.doe@example.org"},
        {"first of the type in stored order: the primary before a secondary",
         [](auto& e) {
             e.Proxies({kX400, u"smtp:john.doe@example.org"}).Smtp(u"jdoe@example.com");
         },
         mapi::S_OK, u"jdoe@example.com"},
        {"a longer or shorter prefix is another type",
         [](auto& e) {
             e.Proxies({u"SMTPX:a@example.com", u"SMT:b@example.com", u"SmTp:c@x"});
         },
         mapi::S_OK, u"c@x"},
        {"nothing after the colon",
         [](auto& e) {
             e.Proxies({kX400, u"SMTP:"});
         },
         mapi::S_OK, u""},
        {"a string without colon ends the search",
         [](auto& e) {
             e.Proxies({kX400, u"SMTP", u"SMTP:late@example.com"});
         },
         mapi::E_FAIL, std::nullopt},
        {"a string that starts with a colon ends the search",
         [](auto& e) {
             e.Proxies({u":x@example.com", u"SMTP:late@example.com"});
         },
         mapi::E_FAIL, std::nullopt},
        {"only other types",
         [](auto& e) {
             e.Proxies({kX400, u"X500:/o=Example/cn=jdoe", u"\u017FMTP:a@x"});
         },
         mapi::E_PROXY_NOT_FOUND, std::nullopt},
        {"no proxy property", [](auto&) {}, mapi::E_PROXY_NOT_FOUND, std::nullopt},
        {"an empty proxy list", [](auto& e) { e.Proxies({}); }, mapi::S_OK, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::AddressEntryBuilder& entry = Entry(u"Entry");
        c.build(entry);
        const std::size_t buffers = portable::GetBufferStats().liveBuffers;
        Resolved r = Resolve(Book(), entry.EntryId());
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(portable::GetBufferStats().liveBuffers, buffers);
        sim::Simulator::Instance().Org().addressBook.clear();
    }
    EXPECT_EQ(portable::GetBufferStats().badFrees, 0u);
}

TEST_F(SmtpAddress, WantedTypeIsComparedWithoutAsciiCase) {
    auto id = Entry(u"Entry").Proxies({u"smtp:a@example.com", u"x400:c=US;"}).EntryId();
    EXPECT_EQ(Resolve(Book(), id, u"X400").address, u"c=US;");
    EXPECT_EQ(Resolve(Book(), id, u"sMtP").address, u"a@example.com");
    EXPECT_EQ(Resolve(Book(), id, u"X500").result, mapi::E_PROXY_NOT_FOUND);
}

// The flag carries PR_SEND_RICH_INFO on success and stays 0 on failure.
TEST_F(SmtpAddress, MapiRecipientFlagFollowsSendRichInfo) {
    auto rich = Entry(u"Rich").SendRichInfo(true).Smtp(u"r@example.com").EntryId();
    auto plain = Entry(u"Plain").SendRichInfo(false).Smtp(u"p@example.com").EntryId();
    auto missing = Entry(u"Missing").SendRichInfo(true).EntryId();
    EXPECT_EQ(Resolve(Book(), rich).isMapiRecipient, 1u);
    EXPECT_EQ(Resolve(Book(), plain).isMapiRecipient, 0u);
    Resolved r = Resolve(Book(), missing);
    EXPECT_EQ(r.result, mapi::E_PROXY_NOT_FOUND);
    EXPECT_EQ(r.isMapiRecipient, 0u);
}

TEST_F(SmtpAddress, DirectoryThatCannotAnswerGivesEFail) {
    auto id = Entry(u"Entry").Smtp(u"e@example.com").EntryId();
    Fail("IAddrBook::PrepareRecips", mapi::MAPI_E_NO_ACCESS, 1);
    Resolved r = Resolve(Book(), id);
    EXPECT_EQ(r.result, mapi::E_FAIL);
    EXPECT_EQ(r.address, std::nullopt);

    // An identifier the directory does not know.
    sim::Bytes unknown = id;
    unknown.back() ^= 0x5A;
    unknown.push_back(0x77);
    r = Resolve(Book(), unknown);
    EXPECT_EQ(r.result, mapi::E_FAIL);
    EXPECT_EQ(r.address, std::nullopt);

    auto calls = sim::Simulator::Instance().CallsTo("IAddrBook::PrepareRecips");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args["flags"], "0x00000000");
    EXPECT_EQ(calls[1].args["tags"], "0x3002001f,0x3003001f,0x3a40000b,0x800f101f");
}

// Every allocation of the routine failing in turn: the working list (E_FAIL), the directory's
// answer (E_FAIL), the returned address (E_OUTOFMEMORY); nothing is left behind on any path.
TEST_F(SmtpAddress, EveryAllocationFailureIsCleanedUp) {
    struct Case {
        const char* name;
        std::function<void(sim::AddressEntryBuilder&)> build;
    };
    const std::vector<Case> cases{
        {"own address",
         [](auto& e) {
             e.Prop(mapi::PR_ADDRTYPE_W, std::u16string(u"SMTP"))
                 .Prop(mapi::PR_EMAIL_ADDRESS_W, std::u16string(u"own@example.com"));
         }},
        {"proxy address",
         [](auto& e) {
             e.Proxies({kX400, u"SMTP:proxy@example.com"});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::AddressEntryBuilder& entry = Entry(u"Entry");
        c.build(entry);
        const sim::Bytes id = entry.EntryId();
        const std::size_t buffers = portable::GetBufferStats().liveBuffers;
        std::vector<mapi::HRESULT> results;
        for (std::size_t succeeding = 0; succeeding < 50; ++succeeding) {
            portable::InjectAllocationFailures(succeeding);
            Resolved r = Resolve(Book(), id);
            portable::ClearAllocationFailures();
            EXPECT_EQ(portable::GetBufferStats().liveBuffers, buffers) << succeeding;
            results.push_back(r.result);
            if (r.result == mapi::S_OK) {
                EXPECT_TRUE(r.address.has_value());
                break;
            }
            EXPECT_EQ(r.address, std::nullopt) << succeeding;
            EXPECT_TRUE(r.result == mapi::E_FAIL || r.result == mapi::E_OUTOFMEMORY)
                << succeeding << ": " << r.result;
        }
        ASSERT_GE(results.size(), 3u);
        EXPECT_EQ(results.back(), mapi::S_OK);
        EXPECT_EQ(results.front(), mapi::E_FAIL);
        EXPECT_EQ(results[results.size() - 2], mapi::E_OUTOFMEMORY);
        sim::Simulator::Instance().Org().addressBook.clear();
    }
    EXPECT_EQ(portable::GetBufferStats().badFrees, 0u);
}

TEST(ProxyTypeMatchTest, OneProxyAgainstTheWantedType) {
    struct Case {
        std::u16string proxy;
        mapi::HRESULT result;
        std::optional<std::u16string> address;
    };
    const std::vector<Case> cases{
        {u"SMTP:jdoe@example.com", mapi::S_OK, u"jdoe@example.com"},
        {u"smtp:jdoe@example.com", mapi::S_OK, u"jdoe@example.com"},
        {u"SMTP:a:b@example.com", mapi::S_OK, u"a:b@example.com"},  // the first colon splits
        {u"SMTP:", mapi::S_OK, u""},
        {u"SMTP", mapi::E_FAIL, std::nullopt},
        {u":jdoe@example.com", mapi::E_FAIL, std::nullopt},
        {u":", mapi::E_FAIL, std::nullopt},
        {u"", mapi::E_FAIL, std::nullopt},
        {kX400, mapi::E_PROXY_NOT_FOUND, std::nullopt},
        {u"SMTPX:jdoe@example.com", mapi::E_PROXY_NOT_FOUND, std::nullopt},
        {u"SMT:jdoe@example.com", mapi::E_PROXY_NOT_FOUND, std::nullopt},
        {u"\u017FMTP:jdoe@example.com", mapi::E_PROXY_NOT_FOUND, std::nullopt},  // long s
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::ToUtf8(c.proxy));
        const std::size_t buffers = portable::GetBufferStats().liveBuffers;
        char16_t junk = u'#';
        char16_t* address = &junk;
        EXPECT_EQ(ProxyTypeMatch(u"SMTP", c.proxy, &address), c.result);
        if (c.address) {
            ASSERT_NE(address, nullptr);
            EXPECT_TRUE(portable::IsLiveBuffer(address));
            EXPECT_EQ(std::u16string(address), *c.address);
            mapi::MAPIFreeBuffer(address);
        } else {
            EXPECT_EQ(address, nullptr);
        }
        EXPECT_EQ(portable::GetBufferStats().liveBuffers, buffers);
    }

    char16_t* address = nullptr;
    portable::InjectAllocationFailures(0);
    EXPECT_EQ(ProxyTypeMatch(u"SMTP", u"SMTP:jdoe@example.com", &address), mapi::E_OUTOFMEMORY);
    portable::ClearAllocationFailures();
    EXPECT_EQ(address, nullptr);
}

}  // namespace
}  // namespace tav
