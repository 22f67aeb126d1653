// The list of wide strings as the console reads and writes it in place: a 12-byte container
// (reserved, address of the sentinel node, number of entries) and 36-byte nodes (next, previous,
// wide-string slot) on a ring through the sentinel, which carries no text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/wide_string_slot.h"

namespace tav {

struct WideStringNode {
    WideStringNode* next;
    WideStringNode* prev;
    WideStringSlot text;
};

struct WideStringList {
    std::uint32_t reserved;
    WideStringNode* sentinel;
    std::uint32_t count;
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(WideStringNode) == 36);
static_assert(offsetof(WideStringNode, next) == 0);
static_assert(offsetof(WideStringNode, prev) == 4);
static_assert(offsetof(WideStringNode, text) == 8);
static_assert(sizeof(WideStringList) == 12);
static_assert(offsetof(WideStringList, sentinel) == 4);
static_assert(offsetof(WideStringList, count) == 8);
#endif

// An empty list with its sentinel.
void InitList(WideStringList& list);
// Appends a copy of the text after the newest entry.
void AppendToList(WideStringList& list, std::u16string_view text);
// Unlinks and frees every entry, oldest first; the sentinel stays.
void ClearList(WideStringList& list);
// Clears the list and frees its sentinel.
void DestroyList(WideStringList& list);
// The entries of a list the library made, oldest first.
std::vector<std::u16string> ListEntries(const WideStringList& list);

// The entries of a list someone else built, oldest first. A list without sentinel is empty.
// Rejected (nullopt): a null list, a broken link, links that do not lead back to the sentinel
// within the count (a ring past the sentinel is found however large the count), a count other
// than the number of links, or an entry whose slot cannot be read.
std::optional<std::vector<std::u16string>> ReadList(const WideStringList* list);

}  // namespace tav
