// Another user's mailbox, opened with administrative rights through the store manager, and the
// root folder of a store.
#pragma once

#include <string_view>

#include "mapi/mapi_interfaces.h"

namespace tav {

// Needs the session and the store manager of the adaptor session; without them E_FAIL and no
// log line. On success *store holds one reference for the caller.
mapi::HRESULT OpenMsgStore(std::u16string_view mailboxDn, std::u16string_view serverDn,
                           mapi::IMsgStore** store);
mapi::HRESULT OpenRootFolder(mapi::IMsgStore* store, mapi::IMAPIFolder** root);

}  // namespace tav
