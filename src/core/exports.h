// The functions the library exports to the console, by their plain names, with the C calling
// convention and one-byte boolean results.
#pragma once

#include <cstdint>

#include "addrbook/ab_item.h"
#include "core/wide_string_list.h"
#include "platform/export.h"

extern "C" {

TAV_EXPORT bool Initialize();
TAV_EXPORT bool IsInitialized();
TAV_EXPORT bool Uninitialize();
// The mail-store type the library serves: always 1.
TAV_EXPORT std::int32_t GetMailStoreType();
// Stores the address of the log container, the same for the whole life of the library.
TAV_EXPORT bool GetDebugLogInfo(tav::WideStringList** container);

// The user's service name into the console's buffer of capacity characters; true with an empty
// name for a user who has none.
TAV_EXPORT bool GetTavrelServiceNameForUser(const tav::WideStringSlot* userDn,
                                            const tav::WideStringSlot* serverDn,
                                            char16_t* serviceName, std::uint32_t capacity);
TAV_EXPORT bool SetPendingServiceAndRoutingInfoForUser(const tav::WideStringSlot* userDn,
                                                       const tav::WideStringSlot* serverDn,
                                                       const tav::WideStringSlot* service,
                                                       const tav::WideStringSlot* routingInfo);
// True when the user's handheld record was deleted from the legacy server's mailbox.
TAV_EXPORT bool RemoveUserFromLegacyServer(const tav::WideStringSlot* userDn,
                                           const tav::WideStringSlot* adminDn,
                                           const tav::WideStringSlot* adminServerDn,
                                           const tav::WideStringSlot* service);
// The user's folder-redirection settings edited in the "Choose Folders" dialog: the in/out values
// are the defaults of missing properties and, after OK, the settings written.
TAV_EXPORT bool EditFolderRedirectionSettings(const tav::WideStringSlot* displayName,
                                              const tav::WideStringSlot* userDn,
                                              const tav::WideStringSlot* serverDn,
                                              bool* redirSelected, std::int32_t* numSelectedFolders,
                                              std::int32_t* time, std::int32_t* sentActivationTime,
                                              bool* redirSentItems);

// One mailbox picked in the address book: *item gets a new record the console gives back with
// FreeABItem; an existing record is filled in place.
TAV_EXPORT bool GetABItem(tav::ABItem** item);
TAV_EXPORT bool FreeABItem(tav::ABItem** item);
// Mailboxes picked in the address book, appended to *list (a new list when it is null); a list
// made here is given back with FreeABItemList even when the result is false.
TAV_EXPORT bool GetABItemList(tav::ABItemList** list, std::uint32_t excludeDistLists);
TAV_EXPORT bool FreeABItemList(tav::ABItemList** list);

// One plain-text mail to the addresses as blind copies, from the default store.
TAV_EXPORT bool SendBulletinByEmail(const tav::WideStringSlot* subject,
                                    const tav::WideStringSlot* body,
                                    const tav::WideStringList* recipients);
}
