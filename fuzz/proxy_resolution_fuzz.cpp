// SMTP address resolution (HrGWResolveProxy) over address-book entries of arbitrary content in the
// simulated directory: address type, e-mail address, rich-info flag and proxy list each present
// or not, any wanted type, and optionally one of the routine's MAPI allocations failing.
//
// Input: a flags byte (bit 0 address type, 1 e-mail address, 2 proxy list, 3 rich-info flag
// present, 4 its value; bits 5-7: n > 0 fails the allocation after n - 1 that succeed), then
// the wanted type, the address type and the e-mail address (a length byte, then that many UTF-16LE
// units each), a proxy count (modulo 17) and the proxies in the same form.
//
// Properties: the result is the entry's own address when its type is the wanted one, else that
// of the first proxy of the wanted type, a proxy without type or colon ending the search
// (E_FAIL), no proxy property meaning E_PROXY_NOT_FOUND and an empty list S_OK without address;
// the MAPI-recipient flag is the rich-info flag on success and 0 otherwise; a failed allocation
// gives E_FAIL or E_OUTOFMEMORY; the returned address is the one live MAPI buffer left.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "addrbook/smtp_address.h"
#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/exports.h"
#include "fuzz_input.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"

namespace {

namespace portable = mapi::portable;


constexpr char16_t kServerDn[] = u"/o=Example/ou=Site/cn=Configuration/cn=Servers/cn=EXCH01";
constexpr char16_t kAdminDn[] = u"/o=Example/ou=Site/cn=Recipients/cn=tavadmin";

struct Entry {
    std::u16string wanted;
    std::optional<std::u16string> addressType, email;
    std::optional<std::vector<std::u16string>> proxies;
    std::optional<bool> rich;
    unsigned failAfter = 0;
};

struct Outcome {
    mapi::HRESULT result = mapi::S_OK;
    std::optional<std::u16string> address;
    mapi::ULONG isMapiRecipient = 0;
    bool operator==(const Outcome&) const = default;
};

// MAPI hands strings out zero-terminated: a stored zero unit ends them.
std::u16string AsRead(const std::u16string& text) { return text.substr(0, text.find(u'\0')); }

bool SameType(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

Outcome Expected(const Entry& e) {
    Outcome out;
    out.isMapiRecipient = e.rich.value_or(false) ? 1 : 0;
    if (e.addressType && e.email && SameType(AsRead(*e.addressType), e.wanted)) {
        out.address = AsRead(*e.email);
        return out;
    }
    if (!e.proxies) return {mapi::E_PROXY_NOT_FOUND, std::nullopt, 0};
    if (e.proxies->empty()) return out;
    for (const std::u16string& stored : *e.proxies) {
        const std::u16string proxy = AsRead(stored);
        const std::size_t colon = proxy.find(u':');
        if (colon == 0 || colon == std::u16string::npos) return {mapi::E_FAIL, std::nullopt, 0};
        if (SameType(proxy.substr(0, colon), e.wanted)) {
            out.address = proxy.substr(colon + 1);
            return out;
        }
    }
    return {mapi::E_PROXY_NOT_FOUND, std::nullopt, 0};
}

std::u16string Text(tav::fuzz::Input& in) { return in.Units(in.Byte()); }

Entry ReadEntry(tav::fuzz::Input& in) {
    Entry e;
    const unsigned flags = in.Byte();
    e.failAfter = flags >> 5;
    e.wanted = Text(in);
    std::u16string addressType = Text(in), email = Text(in);
    if (flags & 1) e.addressType = addressType;
    if (flags & 2) e.email = email;
    if (flags & 8) e.rich = (flags & 16) != 0;
    std::vector<std::u16string> proxies;
    for (unsigned count = in.Byte() % 17; count > 0; --count) proxies.push_back(Text(in));
    if (flags & 4) e.proxies = std::move(proxies);
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::portable::ResetRegistry();
    platform::portable::ResetMessageBoxes();
    platform::portable::ResetCom();
    sim::Simulator::Instance().Reset();
    sim::InstallProvider();
    sim::OrgBuilder builder;
    builder.Server(kServerDn, u"EXCH01");
    sim::MailboxBuilder& admin = builder.Mailbox(kAdminDn, kServerDn).StandardFolders();
    builder.User(u"Tavrel Administrator", admin).Smtp(u"tavadmin@example.com");
    builder.Profile("TavrelManager").ExchangeService(kServerDn, kAdminDn);
    platform::portable::PutRegistryString(
        platform::RegistryRoot::CurrentUser,
        u"Software\\Morvane\\Tavrel Enterprise Server\\Manager\\ExchangeAdaptor", "MAPIProfile",
        "TavrelManager");
    TAV_FUZZ_CHECK(Initialize());
    // The log's texts are held where the leak checker does not look for pointers.
    tav::ClearLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tav::fuzz::Input in(data, size);
    const Entry e = ReadEntry(in);

    sim::Organisation& org = sim::Simulator::Instance().Org();
    const std::size_t entries = org.addressBook.size();
    sim::OrgBuilder builder;
    sim::AddressEntryBuilder& entry = builder.User(u"Fuzzed", u"/o=Example/ou=Site/cn=Recipients/cn=fuzzed");
    sim::AddressEntry& model = entry.Model();
    model.props.erase(mapi::PR_ADDRTYPE_W);
    model.props.erase(mapi::PR_EMAIL_ADDRESS_W);
    model.props.erase(mapi::PR_SEND_RICH_INFO);
    model.props.erase(mapi::PR_EMS_AB_PROXY_ADDRESSES_W);
    if (e.addressType) entry.Prop(mapi::PR_ADDRTYPE_W, *e.addressType);
    if (e.email) entry.Prop(mapi::PR_EMAIL_ADDRESS_W, *e.email);
    if (e.rich) entry.SendRichInfo(*e.rich);
    if (e.proxies) entry.Proxies(*e.proxies);
    sim::Bytes id = entry.EntryId();

    const std::size_t buffers = portable::GetBufferStats().liveBuffers;
    if (e.failAfter) portable::InjectAllocationFailures(e.failAfter - 1);
    Outcome got;
    got.isMapiRecipient = 77;
    char16_t junk = u'#';
    char16_t* address = &junk;
    got.result = tav::HrGWResolveProxy(tav::Session().addrBook.Get(),
                                       static_cast<mapi::ULONG>(id.size()),
                                       reinterpret_cast<mapi::LPENTRYID>(id.data()), e.wanted,
                                       &got.isMapiRecipient, &address);
    portable::ClearAllocationFailures();
    if (address) {
        TAV_FUZZ_CHECK(address != &junk);
        TAV_FUZZ_CHECK(portable::IsLiveBuffer(address));
        got.address = std::u16string(address);
        mapi::MAPIFreeBuffer(address);
    }
    TAV_FUZZ_CHECK(portable::GetBufferStats().liveBuffers == buffers);
    TAV_FUZZ_CHECK(portable::GetBufferStats().badFrees == 0);

    const Outcome expected = Expected(e);
    if (got.result == mapi::E_FAIL || got.result == mapi::E_OUTOFMEMORY) {
        // Allowed only where an allocation failed or the entry itself calls for E_FAIL.
        TAV_FUZZ_CHECK(e.failAfter != 0 || expected.result == got.result);
        TAV_FUZZ_CHECK(!got.address && got.isMapiRecipient == 0);
    } else {
        TAV_FUZZ_CHECK(got == expected);
    }
    org.addressBook.resize(entries);
    return 0;
}
