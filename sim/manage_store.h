// IExchangeManageStore, the Exchange store manager a store hands out through QueryInterface.
//
// CreateStoreEntryID(store DN, mailbox DN, flags) records the flags and makes a store entry id
// for the mailbox named (8-bit DNs in the system code page), whether or not the mailbox exists:
// as with Exchange, the store is found, and rights are checked, when the session opens it
// (OpenStore: MAPI_E_NOT_FOUND, MAPI_E_NO_ACCESS). A missing mailbox DN is
// MAPI_E_INVALID_PARAMETER. The other methods answer MAPI_E_NO_SUPPORT.
#pragma once

#include "mapi/mapi.h"
#include "sim/store.h"

namespace sim {

mapi::ComPtr<mapi::IExchangeManageStore> MakeManageStore(StoreRef store);

}  // namespace sim
