// The address-book records handed to the console, which reads them in place and gives them back
// through the matching Free export.
//
// ABItem (184 bytes): six wide-string slots at offsets 0, 28, 56, 84, 112 and 140, then four
// reserved 32-bit words at 168. ABItemList (16 bytes on 32-bit targets): a reserved word, then
// pointers to the first element, just past the last and just past the storage; the elements lie
// contiguously, 184 bytes apart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/wide_string_slot.h"

namespace tav {

struct ABItem {
    WideStringSlot Name;
    WideStringSlot Reserved;
    WideStringSlot DisplayName;
    WideStringSlot HomeMDB;
    WideStringSlot MailboxDN;
    WideStringSlot SMTPAddress;
    std::uint32_t ReservedWords[4];
};

static_assert(sizeof(ABItem) == 184);
static_assert(offsetof(ABItem, Reserved) == 28);
static_assert(offsetof(ABItem, DisplayName) == 56);
static_assert(offsetof(ABItem, HomeMDB) == 84);
static_assert(offsetof(ABItem, MailboxDN) == 112);
static_assert(offsetof(ABItem, SMTPAddress) == 140);
static_assert(offsetof(ABItem, ReservedWords) == 168);

struct ABItemList {
    std::uint32_t reserved;
    ABItem* first;
    ABItem* last;  // just past the last element
    ABItem* end;   // just past the storage
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(ABItemList) == 16);
static_assert(offsetof(ABItemList, first) == 4);
static_assert(offsetof(ABItemList, last) == 8);
static_assert(offsetof(ABItemList, end) == 12);
#endif

// A record with all six strings empty.
void InitABItem(ABItem& item);
// Frees the record's strings and leaves it empty.
void ClearABItem(ABItem& item);
ABItem* NewABItem();
void DeleteABItem(ABItem* item);

ABItemList* NewABItemList();
std::size_t ABItemCount(const ABItemList& list);
// Makes room for capacity records in all, so that appending up to that many moves none.
void ReserveABItems(ABItemList& list, std::size_t capacity);
// Appends a copy of the record (its strings and reserved words).
void AppendABItem(ABItemList& list, const ABItem& item);
// Destroys every record, the storage and the list.
void DeleteABItemList(ABItemList* list);

}  // namespace tav
