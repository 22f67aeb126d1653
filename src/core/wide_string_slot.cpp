#include "core/wide_string_slot.h"

#include <algorithm>
#include <cstring>

namespace tav {
namespace {

bool OnHeap(const WideStringSlot& slot) { return slot.capacity > kSlotInlineCapacity; }

char16_t* InlineText(WideStringSlot& slot) { return reinterpret_cast<char16_t*>(slot.textArea); }
const char16_t* InlineText(const WideStringSlot& slot) {
    return reinterpret_cast<const char16_t*>(slot.textArea);
}

void StoreHeapText(WideStringSlot& slot, char16_t* text) {
    std::memset(slot.textArea, 0, sizeof slot.textArea);
    std::memcpy(slot.textArea, &text, sizeof text);
}

}  // namespace

const char16_t* SlotHeapText(const WideStringSlot& slot) {
    char16_t* text = nullptr;
    std::memcpy(&text, slot.textArea, sizeof text);
    return text;
}

void InitSlot(WideStringSlot& slot) {
    slot.reserved = 0;
    std::memset(slot.textArea, 0, sizeof slot.textArea);
    slot.length = 0;
    slot.capacity = kSlotInlineCapacity;
}

void FreeSlot(WideStringSlot& slot) {
    if (OnHeap(slot)) delete[] SlotHeapText(slot);
    InitSlot(slot);
}

void AssignSlot(WideStringSlot& slot, std::u16string_view text) {
    FreeSlot(slot);
    const auto length = static_cast<std::uint32_t>(text.size());
    if (length <= kSlotInlineCapacity) {
        std::copy(text.begin(), text.end(), InlineText(slot));
        InlineText(slot)[length] = 0;
    } else {
        auto* block = new char16_t[length + 1];
        std::copy(text.begin(), text.end(), block);
        block[length] = 0;
        StoreHeapText(slot, block);
        slot.capacity = length;
    }
    slot.length = length;
}

std::u16string_view SlotText(const WideStringSlot& slot) {
    return {OnHeap(slot) ? SlotHeapText(slot) : InlineText(slot), slot.length};
}

std::optional<std::u16string> ReadSlot(const WideStringSlot* slot) {
    if (!slot || slot->length > slot->capacity) return std::nullopt;
    if (!OnHeap(*slot)) {
        if (slot->length > kSlotInlineCapacity) return std::nullopt;
        char16_t units[kSlotInlineCapacity];
        std::memcpy(units, slot->textArea, sizeof units);
        return std::u16string(units, slot->length);
    }
    const char16_t* text = SlotHeapText(*slot);
    if (!text) return std::nullopt;
    return std::u16string(text, slot->length);
}

}  // namespace tav
