#include "core/wide_string_list.h"

namespace tav {

void InitList(WideStringList& list) {
    auto* sentinel = new WideStringNode{};
    sentinel->next = sentinel;
    sentinel->prev = sentinel;
    InitSlot(sentinel->text);
    list.reserved = 0;
    list.sentinel = sentinel;
    list.count = 0;
}

void AppendToList(WideStringList& list, std::u16string_view text) {
    auto* node = new WideStringNode{};
    InitSlot(node->text);
    try {
        AssignSlot(node->text, text);
    } catch (...) {
        delete node;
        throw;
    }
    WideStringNode* sentinel = list.sentinel;
    node->next = sentinel;
    node->prev = sentinel->prev;
    sentinel->prev->next = node;
    sentinel->prev = node;
    ++list.count;
}

void ClearList(WideStringList& list) {
    WideStringNode* sentinel = list.sentinel;
    if (!sentinel) return;
    for (WideStringNode* node = sentinel->next; node != sentinel;) {
        WideStringNode* next = node->next;
        sentinel->next = next;
        next->prev = sentinel;
        FreeSlot(node->text);
        delete node;
        --list.count;
        node = next;
    }
}

void DestroyList(WideStringList& list) {
    ClearList(list);
    delete list.sentinel;
    list.sentinel = nullptr;
}

std::vector<std::u16string> ListEntries(const WideStringList& list) {
    std::vector<std::u16string> entries;
    for (const WideStringNode* node = list.sentinel->next; node != list.sentinel; node = node->next)
        entries.emplace_back(SlotText(node->text));
    return entries;
}

std::optional<std::vector<std::u16string>> ReadList(const WideStringList* list) {
    if (!list) return std::nullopt;
    std::vector<std::u16string> entries;
    const WideStringNode* sentinel = list->sentinel;
    if (!sentinel) return entries;
    const WideStringNode* node = sentinel->next;
    // Two links a step: it meets node on a ring that never passes the sentinel, which ends the
    // walk long before a huge count would.
    const WideStringNode* ahead = node;
    std::uint32_t walked = 0;
    for (; node != sentinel; ++walked) {
        if (!node || walked == list->count) return std::nullopt;
        std::optional<std::u16string> text = ReadSlot(&node->text);
        if (!text) return std::nullopt;
        entries.push_back(std::move(*text));
        node = node->next;
        for (int i = 0; i < 2 && ahead && ahead != sentinel; ++i) ahead = ahead->next;
        if (node && node == ahead && node != sentinel) return std::nullopt;
    }
    // Fewer links than the count says is as broken as more.
    if (walked != list->count) return std::nullopt;
    return entries;
}

}  // namespace tav
