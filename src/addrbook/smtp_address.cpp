#include "addrbook/smtp_address.h"

#include <algorithm>

#include "core/text.h"
#include "mapi/mapi.h"

namespace tav {
namespace {

// A MAPIAllocateBuffer copy of the text, zero-terminated.
mapi::HRESULT AllocateText(std::u16string_view text, char16_t** out) {
    void* buffer = nullptr;
    auto bytes = static_cast<mapi::ULONG>((text.size() + 1) * sizeof(char16_t));
    if (mapi::FAILED(mapi::MAPIAllocateBuffer(bytes, &buffer)) || !buffer)
        return mapi::E_OUTOFMEMORY;
    auto* copy = static_cast<char16_t*>(buffer);
    std::copy(text.begin(), text.end(), copy);
    copy[text.size()] = 0;
    *out = copy;
    return mapi::S_OK;
}

bool IsError(const mapi::SPropValue& value) {
    return mapi::PROP_TYPE(value.ulPropTag) == mapi::PT_ERROR;
}

// A one-entry address list holding the entry identifier as a MAPI_TO recipient.
mapi::HRESULT BuildWorkingList(mapi::ULONG entryIdSize, mapi::LPENTRYID entryId,
                               mapi::AdrListPtr& list) {
    if (mapi::FAILED(list.Allocate(1))) return mapi::E_FAIL;

    mapi::SPropValue values[2] = {};
    values[0].ulPropTag = mapi::PR_ENTRYID;
    values[0].Value.bin = {entryIdSize, reinterpret_cast<mapi::LPBYTE>(entryId)};
    values[1].ulPropTag = mapi::PR_RECIPIENT_TYPE;
    values[1].Value.l = mapi::MAPI_TO;
    mapi::LPSPropValue copy = nullptr;
    if (mapi::FAILED(mapi::ScDupPropset(2, values, mapi::MAPIAllocateBuffer, &copy)))
        return mapi::E_FAIL;
    list->aEntries[0].cValues = 2;
    list->aEntries[0].rgPropVals = copy;
    return mapi::S_OK;
}

}  // namespace

mapi::HRESULT ProxyTypeMatch(std::u16string_view addressType, std::u16string_view proxy,
                             char16_t** address) {
    *address = nullptr;
    std::size_t colon = std::min(proxy.find(u':'), proxy.size());
    if (colon == 0 || colon >= proxy.size()) return mapi::E_FAIL;
    if (!EqualsIgnoreAsciiCase(proxy.substr(0, colon), addressType)) return mapi::E_PROXY_NOT_FOUND;
    return AllocateText(proxy.substr(colon + 1), address);
}

mapi::HRESULT HrGWResolveProxy(mapi::IAddrBook* addressBook, mapi::ULONG entryIdSize,
                               mapi::LPENTRYID entryId, std::u16string_view addressType,
                               mapi::ULONG* isMapiRecipient, char16_t** address) {
    *isMapiRecipient = 0;
    *address = nullptr;
    mapi::AdrListPtr list;
    if (mapi::FAILED(BuildWorkingList(entryIdSize, entryId, list))) return mapi::E_FAIL;

    mapi::SizedSPropTagArray<4> tags{4,
                                     {mapi::PR_ADDRTYPE_W, mapi::PR_EMAIL_ADDRESS_W,
                                      mapi::PR_SEND_RICH_INFO, mapi::PR_EMS_AB_PROXY_ADDRESSES_W}};
    if (mapi::FAILED(addressBook->PrepareRecips(0, tags.get(), list.Get()))) return mapi::E_FAIL;
    const mapi::ADRENTRY& entry = list->aEntries[0];
    if (entry.cValues < 4 || !entry.rgPropVals) return mapi::E_FAIL;
    const mapi::SPropValue* values = entry.rgPropVals;

    // Positions 0 to 3 hold the requested properties, in the requested order.
    if (values[0].ulPropTag == mapi::PR_ADDRTYPE_W && values[1].ulPropTag == mapi::PR_EMAIL_ADDRESS_W &&
        EqualsIgnoreAsciiCase(WideView(values[0].Value.lpszW), addressType)) {
        if (mapi::FAILED(AllocateText(WideView(values[1].Value.lpszW), address)))
            return mapi::E_OUTOFMEMORY;
    } else {
        if (IsError(values[3]) || values[3].ulPropTag != mapi::PR_EMS_AB_PROXY_ADDRESSES_W)
            return mapi::E_PROXY_NOT_FOUND;
        const mapi::SWStringArray& proxies = values[3].Value.MVszW;
        if (proxies.cValues > 0) {
            mapi::HRESULT hr = mapi::E_PROXY_NOT_FOUND;
            for (mapi::ULONG i = 0; i < proxies.cValues && hr == mapi::E_PROXY_NOT_FOUND; ++i)
                hr = ProxyTypeMatch(addressType, WideView(proxies.lppszW[i]), address);
            if (mapi::FAILED(hr)) return hr;
        }
    }
    if (values[2].ulPropTag == mapi::PR_SEND_RICH_INFO)
        *isMapiRecipient = static_cast<mapi::ULONG>(values[2].Value.b);
    return mapi::S_OK;
}

}  // namespace tav
