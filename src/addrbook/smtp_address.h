// The address of a requested type for an address-book entry: its own e-mail address when its
// address type is that type, otherwise the first proxy address of that type.
#pragma once

#include <string_view>

#include "mapi/mapi_interfaces.h"

namespace tav {

// S_OK with *address a MAPIAllocateBuffer string (the caller frees it), or with *address null when
// the entry has an empty proxy list; E_PROXY_NOT_FOUND, E_FAIL or E_OUTOFMEMORY otherwise.
mapi::HRESULT HrGWResolveProxy(mapi::IAddrBook* addressBook, mapi::ULONG entryIdSize,
                               mapi::LPENTRYID entryId, std::u16string_view addressType,
                               mapi::ULONG* isMapiRecipient, char16_t** address);

// One proxy "type:address": S_OK with the address, E_PROXY_NOT_FOUND for another type, E_FAIL
// for a proxy without type or colon.
mapi::HRESULT ProxyTypeMatch(std::u16string_view addressType, std::u16string_view proxy,
                             char16_t** address);

}  // namespace tav
