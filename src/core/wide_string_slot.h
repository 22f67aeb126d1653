// The 28-byte wide-string slot in which wide strings cross the boundary with the console:
//
//   offset  0  reserved (4 bytes, not read)
//   offset  4  text area (16 bytes): the text itself while the capacity is below 8 (at most 7
//              characters and a terminator), otherwise its first bytes hold the address of a
//              zero-terminated heap block
//   offset 20  length in characters, terminator not counted
//   offset 24  capacity in characters (7 while the text is held in the slot)
//
// The text area holds the address as bytes, so the layout is the same on every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tav {

struct WideStringSlot {
    std::uint32_t reserved;
    unsigned char textArea[16];
    std::uint32_t length;
    std::uint32_t capacity;
};

static_assert(sizeof(WideStringSlot) == 28);
static_assert(offsetof(WideStringSlot, textArea) == 4);
static_assert(offsetof(WideStringSlot, length) == 20);
static_assert(offsetof(WideStringSlot, capacity) == 24);

inline constexpr std::uint32_t kSlotInlineCapacity = 7;

// An empty slot holding its text in place.
void InitSlot(WideStringSlot& slot);
// Replaces the slot's text; texts of 8 characters or more go to a heap block owned by the slot.
void AssignSlot(WideStringSlot& slot, std::u16string_view text);
// Frees the slot's heap block, if any, and leaves the slot empty.
void FreeSlot(WideStringSlot& slot);
// The text of a slot the library made.
std::u16string_view SlotText(const WideStringSlot& slot);
// The text of a slot someone else made: nullopt for a null slot, a length beyond the capacity,
// an in-place length above 7 or a missing heap block.
std::optional<std::u16string> ReadSlot(const WideStringSlot* slot);
// The address stored in the text area of a heap slot.
const char16_t* SlotHeapText(const WideStringSlot& slot);

}  // namespace tav
