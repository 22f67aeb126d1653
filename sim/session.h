// The MAPI session (IMAPISession) that MAPILogonEx hands out, logged on to one profile's
// Exchange service. Label "session:<profile>"; Simulator::OpenSessions counts the sessions made
// and not yet released (the last Release ends a session, Logoff or not).
//
// Labels of the session side's objects (CallRecord::object, Fault::object):
//   session:<profile>        IMAPISession
//   msgstores                its message-store table
//   addrbook                 IAddrBook
//   mailuser:<display name>  IMailUser opened from the address book (one-offs too)
//   distlist:<display name>  IDistList; its member table "members:<display name>"
//   profadmin                IProfAdmin; its profile table "profiles"
//   serviceadmin:<profile>   IMsgServiceAdmin; its service table "services:<profile>"
// Profile names in labels are converted from the system code page to UTF-8.
//
// The session takes what it needs from the profile when it is made (the service's server and
// mailbox DN, the public-folders switch and the extra store rows), so it keeps working when the
// profile is deleted while it is logged on.
//
//   GetMsgStoresTable  a snapshot table (label "msgstores") with, in this order: the row of the
//                      service's mailbox (MessageStoreTableRow, PR_DEFAULT_STORE true) when the
//                      organisation has a mailbox of that DN; the public folders (PR_DEFAULT_STORE
//                      false, PR_MDB_PROVIDER the public store's GUID) unless the profile turns
//                      them off; then Profile::extraStoreRows as they are. The public folders'
//                      entry id names no mailbox, so OpenMsgStore on it fails with
//                      MAPI_E_NOT_FOUND.
//   OpenMsgStore       OpenStore (sim/store.h) with the flags given (recorded); the store
//                      hands out IExchangeManageStore. A store-manager id for the session's own
//                      mailbox needs no administrative right. lpInterface null or
//                      IID_IMsgStore, else MAPI_E_INTERFACE_NOT_SUPPORTED.
//   OpenAddressBook    a new IAddrBook (sim/address_book.h) per call; lpInterface null or
//                      IID_IAddrBook.
//   CompareEntryIDs    store entry ids by mailbox DN, folder and message ids by object,
//                      address-book ids by entry; MAPI_E_UNKNOWN_ENTRYID for ids of no provider.
//   QueryIdentity      the address-book entry whose PR_EMAIL_ADDRESS is the session's mailbox
//                      DN; MAPI_E_NOT_FOUND without one.
//   AdminServices      IMsgServiceAdmin of the profile (MAPI_E_NOT_FOUND once it is deleted).
//   Logoff             ends the session: every later call but Release fails with
//                      MAPI_E_END_OF_SESSION.
//   the other methods answer MAPI_E_NO_SUPPORT.
#pragma once

#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

// What a session is logged on to.
struct SessionInfo {
    std::string profile;      // 8-bit profile name
    std::u16string serverDn;  // of the profile's Exchange service
    std::u16string mailboxDn;
    bool publicFolders = true;
    std::vector<PropMap> extraStoreRows;
    bool unicode = false;  // logged on with MAPI_UNICODE
};

mapi::ComPtr<mapi::IMAPISession> MakeSession(SessionInfo info);

// The public store's provider GUID (PR_MDB_PROVIDER of the public folders row).
Bytes PublicStoreProviderUid();

}  // namespace sim
