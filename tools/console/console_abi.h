// The console's side of the boundary: the records it reads in place and the signatures of the
// fourteen exports as it calls them. Wide strings go over as 28-byte slots and lists of wide
// strings as the 12-byte container with 36-byte nodes (core/wide_string_slot.h and
// core/wide_string_list.h describe both); the address-book records are read by their offsets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/wide_string_list.h"
#include "core/wide_string_slot.h"

namespace console {

using tav::WideStringList;
using tav::WideStringSlot;

// ABItem: six slots at 0, 28, 56, 84, 112 and 140, then four reserved words (184 bytes).
inline constexpr std::size_t kABItemSize = 184;
inline constexpr std::size_t kABItemSlotCount = 6;
inline constexpr const char* kABItemMembers[kABItemSlotCount] = {
    "Name", "Reserved", "DisplayName", "HomeMDB", "MailboxDN", "SMTPAddress"};

struct ABItem {
    unsigned char bytes[kABItemSize];
};
static_assert(sizeof(ABItem) == kABItemSize);

// ABItemList: a reserved word, then the first element, the end of the elements and the end of
// the storage (16 bytes on the 32-bit target).
struct ABItemList {
    std::uint32_t reserved;
    unsigned char* first;
    unsigned char* last;
    unsigned char* storageEnd;
};
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(ABItemList) == 16);
static_assert(offsetof(ABItemList, first) == 4);
static_assert(offsetof(ABItemList, last) == 8);
static_assert(offsetof(ABItemList, storageEnd) == 12);
#endif

// The exports. All use the C calling convention; bool is one byte.
using InitializeFn = bool (*)();
using IsInitializedFn = bool (*)();
using UninitializeFn = bool (*)();
using GetMailStoreTypeFn = std::int32_t (*)();
using GetDebugLogInfoFn = bool (*)(WideStringList** container);
using GetABItemFn = bool (*)(ABItem** item);
using FreeABItemFn = bool (*)(ABItem** item);
using GetABItemListFn = bool (*)(ABItemList** list, std::uint32_t excludeDistLists);
using FreeABItemListFn = bool (*)(ABItemList** list);
using SendBulletinByEmailFn = bool (*)(const WideStringSlot* subject, const WideStringSlot* body,
                                       const WideStringList* recipients);
using GetTavrelServiceNameForUserFn = bool (*)(const WideStringSlot* userDN,
                                               const WideStringSlot* serverDN,
                                               char16_t* serviceName, std::uint32_t capacity);
using RemoveUserFromLegacyServerFn = bool (*)(const WideStringSlot* userDN,
                                              const WideStringSlot* adminDN,
                                              const WideStringSlot* adminServerDN,
                                              const WideStringSlot* service);
using SetPendingServiceAndRoutingInfoForUserFn = bool (*)(const WideStringSlot* userDN,
                                                          const WideStringSlot* serverDN,
                                                          const WideStringSlot* service,
                                                          const WideStringSlot* routingInfo);
using EditFolderRedirectionSettingsFn =
    bool (*)(const WideStringSlot* displayName, const WideStringSlot* userDN,
             const WideStringSlot* serverDN, bool* redirSelected, std::int32_t* numSelectedFolders,
             std::int32_t* time, std::int32_t* sentActivationTime, bool* redirSentItems);

}  // namespace console
