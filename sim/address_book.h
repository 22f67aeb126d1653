// The session's address book (IAddrBook, label "addrbook") over Organisation::addressBook, its
// mail users (IMailUser, label "mailuser:<display name>") and distribution lists (IDistList,
// label "distlist:<display name>"), and MAPI's address dialog with its scripted user.
//
// Entry properties: what the model holds, plus PR_ENTRYID, PR_RECORD_KEY (the entry id),
// PR_OBJECT_TYPE (MAPI_MAILUSER / MAPI_DISTLIST), PR_DISPLAY_TYPE (DT_MAILUSER / DT_DISTLIST
// unless the model sets one) and PR_SEARCH_KEY ("<ADDRTYPE>:<ADDRESS>" upper-cased, 8-bit with its
// terminator) when the entry has an address type and an e-mail address. Strings are served in
// either width (sim/props.h); a property the entry lacks comes back as PT_ERROR with
// MAPI_W_ERRORS_RETURNED. Opened entries read the model live and fail with MAPI_E_OBJECT_DELETED
// once their entry is gone.
//
// IAddrBook:
//   Address(lpulUIParam, lpAdrParms, lppAdrList): the dialog. Records an AddressDialogRecord
//       (flags, caption and destination titles -- 8-bit unless AB_UNICODEUI or MAPI_UNICODE;
//       cDestFields titles, or the first one when there are no wells but a title array --,
//       cDestFields, nDestFieldFocus, which optional members are set, *lpulUIParam) and consumes
//       the next Organisation::addressDialogAnswers entry:
//         Pick    S_OK with a new address list (the list and each entry's values their own
//                 MAPIAllocateBuffer blocks, FreePadrlist frees it); a list passed in is freed
//                 and replaced. With destination wells (cDestFields > 0) the dialog starts from
//                 the list passed in, so its entries come first, followed by the picks, each
//                 with PR_RECIPIENT_TYPE of the focused well (lpulDestComps[nDestFieldFocus], or
//                 MAPI_TO, MAPI_CC, MAPI_BCC for wells 0, 1, 2). Without wells the list holds the
//                 picks alone. A picked entry carries PR_ENTRYID, PR_DISPLAY_NAME_W,
//                 PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_DISPLAY_TYPE, PR_OBJECT_TYPE and
//                 PR_SEARCH_KEY, as far as it has them. Picks of indexes the address book does
//                 not hold are left out; ADDRESS_ONE does not limit the script, so a scripted
//                 answer can hand the caller several entries even in single selection. An
//                 answer with no picks gives an empty list (the user pressed OK with nothing
//                 selected).
//         Cancel  MAPI_E_USER_CANCEL, the list left as it was.
//         Fail    the answer's code (MAPI_E_CALL_FAILED when it names none), the list as it was.
//       With no scripted answer left the user cancels (AddressDialogRecord::scripted false).
//   OpenEntry(cb, id, iid, flags, type, unk): mail users, distribution lists and one-off ids;
//       lpInterface null, IID_IMAPIProp, IID_IMailUser (mail users), IID_IMAPIContainer or
//       IID_IDistList (lists), else MAPI_E_INTERFACE_NOT_SUPPORTED; MAPI_E_UNKNOWN_ENTRYID for
//       anything else (containers included).
//   PrepareRecips(flags, tags, list): for each entry with a PR_ENTRYID of the address book (or a
//       one-off id), the requested properties first, in the requested order -- from the
//       directory, else the value the entry already had, else PT_ERROR with MAPI_E_NOT_FOUND --
//       followed by the entry's other values in their order; the old value array is freed with
//       MAPIFreeBuffer and replaced by one new MAPIAllocateBuffer block. Entries without
//       PR_ENTRYID are left alone; an entry id of no directory entry leaves its entry alone and
//       makes the result MAPI_E_NOT_FOUND once every entry was seen. tags null only checks.
//   CompareEntryIDs: entries by index (one-offs by their fields); MAPI_E_UNKNOWN_ENTRYID for ids
//       that are neither.
//   CreateOneOff: a one-off entry id (UTF-16 with MAPI_UNICODE, else 8-bit strings).
//   the other methods answer MAPI_E_NO_SUPPORT.
// IDistList::GetContentsTable lists the members (label "members:<display name>"); OpenEntry
// works as the address book's. IDistList's editing methods answer MAPI_E_NO_SUPPORT.
#pragma once

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

mapi::ComPtr<mapi::IAddrBook> MakeAddressBook();

// The properties of an entry as the address book serves them (see above).
PropMap AddressEntryProps(const AddressEntry& entry);

// The entry whose PR_EMAIL_ADDRESS equals address (ASCII case-insensitively), or null.
AddressEntry* FindEntryByAddress(std::u16string_view address);

}  // namespace sim
