// The message store of one simulated mailbox (IMsgStore), and the entry point through which the
// session opens stores from their entry ids.
//
// Opening (OpenStore): the entry id names a mailbox by DN (MAPI_E_NOT_FOUND when there is none,
// or when its home server is not the server the id names). An id from the store manager opens
// another user's mailbox only when it was made with OPENSTORE_USE_ADMIN_PRIVILEGE and the account
// has administrative access to that mailbox (Mailbox::adminAccess); otherwise
// MAPI_E_NO_ACCESS. The profile's own store needs neither. MDB_WRITE opens for writing.
//
// The store object: GetProps with PR_DISPLAY_NAME_W, PR_ENTRYID, PR_RECORD_KEY, PR_MDB_PROVIDER,
// PR_OBJECT_TYPE, PR_STORE_SUPPORT_MASK, PR_MAILBOX_OWNER_NAME_W, PR_IPM_SUBTREE_ENTRYID,
// PR_IPM_OUTBOX_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID (long-term ids of
// the special folders the mailbox has), PR_DEFAULT_STORE for the profile's store, and the
// mailbox's further store properties; OpenEntry (the empty id opens the root folder); the receive
// folder for "", "IPM" and the classes under it (the Inbox, long-term id; MAPI_E_NOT_FOUND
// otherwise); CompareEntryIDs equating the long- and short-term ids of one object; the named
// property map of the mailbox; QueryInterface for IExchangeManageStore on stores opened through
// the session.
#pragma once

#include <memory>
#include <string>

#include "mapi/mapi.h"
#include "sim/model.h"
#include "sim/table.h"

namespace sim {

// What the objects of one opened store share.
struct StoreContext {
    std::uint32_t mailbox = 0;  // Mailbox::index
    std::u16string dn;          // the mailbox DN, for labels
    bool writable = false;      // opened with MDB_WRITE
    bool viaSession = false;    // opened through IMAPISession::OpenMsgStore
    bool profileStore = false;  // the profile's own store (from the message-store table)
    Bytes entryId;              // the store entry id it was opened with

    // The mailbox, or null once it is gone from the organisation.
    Mailbox* Find() const;
};
using StoreRef = std::shared_ptr<const StoreContext>;

Mailbox* MailboxByIndex(std::uint32_t index);

// Opens a store from its entry id, as IMAPISession::OpenMsgStore does; viaSession decides whether
// the store hands out IExchangeManageStore. A store-manager id for logonMailboxDn (the mailbox
// the session is logged on to) needs no administrative right.
mapi::HRESULT OpenStore(const Bytes& storeEntryId, mapi::ULONG flags, bool viaSession,
                        mapi::IMsgStore** out, std::u16string_view logonMailboxDn = {});

// The row of a mailbox in the session's message-store table: PR_ENTRYID (the profile form of
// its store entry id), PR_DISPLAY_NAME_W, PR_DEFAULT_STORE, PR_MDB_PROVIDER, PR_RECORD_KEY,
// PR_RESOURCE_FLAGS, PR_OBJECT_TYPE.
Row MessageStoreTableRow(const Mailbox& mailbox, bool defaultStore);
// The store entry id the message-store table lists for a mailbox.
Bytes ProfileStoreEntryId(const Mailbox& mailbox);

// OpenEntry on a store or one of its folders: the empty id opens the root folder; folder and
// message ids are accepted in both forms.
mapi::HRESULT OpenStoreEntry(const StoreRef& store, mapi::ULONG cbEntryId,
                             const mapi::ENTRYID* entryId, mapi::LPCIID iid, mapi::ULONG flags,
                             mapi::ULONG* objectType, mapi::LPUNKNOWN* out);

// The special folders a store names (long-term ids), as store and folder properties.
void AddSpecialFolderProps(const Mailbox& mailbox, PropMap& props, bool storeLevel);

}  // namespace sim
