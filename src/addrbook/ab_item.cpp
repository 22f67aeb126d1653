#include "addrbook/ab_item.h"

#include <cstring>
#include <new>

namespace tav {
namespace {

WideStringSlot* Slots(ABItem& item) { return &item.Name; }
constexpr int kSlotCount = 6;

}  // namespace

void InitABItem(ABItem& item) {
    for (int i = 0; i < kSlotCount; ++i) InitSlot(Slots(item)[i]);
    std::memset(item.ReservedWords, 0, sizeof item.ReservedWords);
}

void ClearABItem(ABItem& item) {
    for (int i = 0; i < kSlotCount; ++i) FreeSlot(Slots(item)[i]);
}

ABItem* NewABItem() {
    auto* item = new ABItem;
    InitABItem(*item);
    return item;
}

void DeleteABItem(ABItem* item) {
    if (!item) return;
    ClearABItem(*item);
    delete item;
}

ABItemList* NewABItemList() { return new ABItemList{0, nullptr, nullptr, nullptr}; }

std::size_t ABItemCount(const ABItemList& list) {
    return static_cast<std::size_t>(list.last - list.first);
}

void ReserveABItems(ABItemList& list, std::size_t capacity) {
    if (capacity <= static_cast<std::size_t>(list.end - list.first)) return;
    const std::size_t count = ABItemCount(list);
    auto* storage = static_cast<ABItem*>(::operator new(capacity * sizeof(ABItem)));
    // The records own their heap texts through plain pointers, so they move bytewise.
    if (count) std::memcpy(static_cast<void*>(storage), list.first, count * sizeof(ABItem));
    ::operator delete(list.first);
    list.first = storage;
    list.last = storage + count;
    list.end = storage + capacity;
}

void AppendABItem(ABItemList& list, const ABItem& item) {
    ABItem copy{};
    InitABItem(copy);
    try {
        for (int i = 0; i < kSlotCount; ++i)
            AssignSlot(Slots(copy)[i], SlotText((&item.Name)[i]));
    } catch (...) {
        ClearABItem(copy);
        throw;
    }
    std::memcpy(copy.ReservedWords, item.ReservedWords, sizeof copy.ReservedWords);

    if (list.last == list.end) {
        const std::size_t count = ABItemCount(list);
        try {
            ReserveABItems(list, count ? count * 2 : 1);
        } catch (...) {
            ClearABItem(copy);
            throw;
        }
    }
    std::memcpy(static_cast<void*>(list.last), &copy, sizeof(ABItem));
    ++list.last;
}

void DeleteABItemList(ABItemList* list) {
    if (!list) return;
    for (ABItem* item = list->first; item != list->last; ++item) ClearABItem(*item);
    ::operator delete(list->first);
    delete list;
}

}  // namespace tav
