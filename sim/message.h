// Messages (IMessage) of a simulated store.
//
// An open message works on a copy of the model message: GetProps, SetProps, DeleteProps,
// ModifyRecipients and property streams change the copy, SaveChanges stores it (a new message
// from CreateMessage appears in its folder only then), and changes not saved are discarded when
// the last reference is released. After SaveChanges without KEEP_OPEN_READWRITE the message
// refuses further changes (MAPI_E_NO_ACCESS), as it does when it was opened read-only.
//
// ModifyRecipients: MODRECIP_ADD appends the entries (each gets a PR_ROWID), MODRECIP_MODIFY and
// MODRECIP_REMOVE act on the rows named by PR_ROWID, no flag replaces the whole list.
// GetRecipientTable lists them. SubmitMessage (MAPI_E_NO_RECIPIENTS without recipients) sets
// PR_CLIENT_SUBMIT_TIME and PR_MESSAGE_DELIVERY_TIME from the platform clock, clears
// MSGFLAG_UNSENT, saves, records a DeliveredMail (the store's mailbox, the properties and the
// recipients) in Organisation::delivered and files the sent copy: into the folder that
// PR_SENTMAIL_ENTRYID names (any of its forms, when it is a folder of this store); else deleted
// when PR_DELETE_AFTER_SUBMIT is true; else left in its folder.
// OpenProperty gives IStream on PT_UNICODE, PT_STRING8 and PT_BINARY properties (see stream.h).
#pragma once

#include <cstdint>

#include "mapi/mapi.h"
#include "sim/entry_ids.h"
#include "sim/model.h"
#include "sim/store.h"

namespace sim {

mapi::HRESULT OpenMessageObject(const StoreRef& store, std::uint64_t folderId,
                                std::uint64_t messageId, bool writable,
                                mapi::ComPtr<mapi::IMessage>* out);
mapi::HRESULT CreateMessageObject(const StoreRef& store, std::uint64_t folderId, bool associated,
                                  mapi::ComPtr<mapi::IMessage>* out);

// A message's properties as GetProps (long-term) and contents tables (short-term) show them.
PropMap MessageProps(const Mailbox& mailbox, std::uint64_t folderId, const Message& message,
                     IdForm form);

}  // namespace sim
