// The entry identifier of the profile's default message store, from the session's message-store
// table.
#pragma once

#include "core/entry_id_record.h"
#include "mapi/mapi_interfaces.h"

namespace tav {

// On success (0) *record holds a new record the caller frees; every failure gives E_FAIL.
mapi::HRESULT GetDefaultMsgStore(mapi::IMAPISession* session, EntryIdRecord** record);

}  // namespace tav
