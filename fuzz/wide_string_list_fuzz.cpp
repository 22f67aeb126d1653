// The reader of console lists (ReadList) over lists of arbitrary shape: nodes whose links point
// anywhere among the nodes or nowhere, any count, slots with any length, capacity and place.
//
// Input: node count (1 byte, 1..8), sentinel index, count (1 byte: 0..254, 255 means 0xFFFFFFFF),
// then per node: next index, previous index, slot form (0 in place, 1 heap, 2 heap without
// block), length, capacity (bytes), then capacity units of text (at most 7 in place). An index
// of 8 or more is a null link (a null sentinel for the sentinel index).
//
// Properties: the reader ends; it accepts exactly the lists whose links lead from the sentinel
// back to it in exactly count links through readable slots, and then returns those texts in link
// order; what it accepts builds into a list of the library's own that reads back the same.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/wide_string_list.h"
#include "fuzz_input.h"

namespace {

constexpr unsigned kMaxNodes = 8;

struct Shape {
    std::array<tav::WideStringNode, kMaxNodes> nodes{};
    std::array<std::u16string, kMaxNodes> heap;     // the heap blocks, capacity + 1 units
    std::array<std::optional<std::u16string>, kMaxNodes> text;  // what ReadSlot must give
    std::array<unsigned, kMaxNodes> next{};
    unsigned count = 0;
};

tav::WideStringNode* At(Shape& shape, unsigned index) {
    return index < shape.count ? &shape.nodes[index] : nullptr;
}

void ReadNode(tav::fuzz::Input& in, Shape& shape, unsigned i) {
    tav::WideStringNode& node = shape.nodes[i];
    shape.next[i] = in.Byte();
    const unsigned prev = in.Byte();
    node.next = At(shape, shape.next[i]);
    node.prev = At(shape, prev);
    const unsigned form = in.Byte() % 3;
    tav::WideStringSlot& slot = node.text;
    slot.length = in.Byte();
    slot.capacity = in.Byte();
    if (form == 0) {
        // In place: the reader insists on a capacity below 8 (it decides the place).
        slot.capacity %= tav::kSlotInlineCapacity + 1;
        const std::u16string units = in.Units(tav::kSlotInlineCapacity);
        std::memcpy(slot.textArea, units.data(), units.size() * sizeof(char16_t));
        std::u16string full(tav::kSlotInlineCapacity, u'\0');
        std::copy(units.begin(), units.end(), full.begin());
        if (slot.length <= slot.capacity) shape.text[i] = full.substr(0, slot.length);
        return;
    }
    slot.capacity = std::max<std::uint32_t>(slot.capacity, tav::kSlotInlineCapacity + 1);
    const char16_t* block = nullptr;
    if (form == 1) {
        shape.heap[i] = in.Units(slot.capacity);
        shape.heap[i].resize(slot.capacity, u'.');
        block = shape.heap[i].c_str();
    }
    std::memcpy(slot.textArea, &block, sizeof block);
    if (slot.length <= slot.capacity && block) shape.text[i] = shape.heap[i].substr(0, slot.length);
}

// The texts the reader must return, or nullopt where it must refuse: the walk from the
// sentinel along the next links, each node at most once.
std::optional<std::vector<std::u16string>> Expected(const Shape& shape, unsigned sentinel,
                                                    std::uint32_t count) {
    std::vector<std::u16string> texts;
    std::array<bool, kMaxNodes> seen{};
    unsigned node = shape.next[sentinel];
    for (std::uint32_t walked = 0; node != sentinel; ++walked) {
        if (node >= shape.count || walked == count || seen[node]) return std::nullopt;
        seen[node] = true;
        if (!shape.text[node]) return std::nullopt;
        texts.push_back(*shape.text[node]);
        node = shape.next[node];
    }
    // The count must be the number of links.
    if (texts.size() != count) return std::nullopt;
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tav::fuzz::Input in(data, size);
    Shape shape;
    shape.count = in.Byte() % kMaxNodes + 1;
    const unsigned sentinel = in.Byte();
    const unsigned countByte = in.Byte();
    tav::WideStringList list{};
    list.count = countByte == 255 ? 0xFFFFFFFFu : countByte;
    list.sentinel = At(shape, sentinel);
    for (unsigned i = 0; i < shape.count; ++i) ReadNode(in, shape, i);

    const std::optional<std::vector<std::u16string>> read = tav::ReadList(&list);
    if (!list.sentinel) {
        TAV_FUZZ_CHECK(read && read->empty());
        return 0;
    }
    const auto expected = Expected(shape, sentinel, list.count);
    TAV_FUZZ_CHECK(read.has_value() == expected.has_value());
    if (!read) return 0;
    TAV_FUZZ_CHECK(*read == *expected);
    TAV_FUZZ_CHECK(read->size() <= list.count);

    // What was read, as a list of the library's own, reads back the same.
    tav::WideStringList own{};
    tav::InitList(own);
    for (const std::u16string& text : *read) tav::AppendToList(own, text);
    TAV_FUZZ_CHECK(own.count == read->size());
    const auto again = tav::ReadList(&own);
    TAV_FUZZ_CHECK(again && *again == *read);
    TAV_FUZZ_CHECK(tav::ListEntries(own) == *read);
    tav::DestroyList(own);
    TAV_FUZZ_CHECK(own.sentinel == nullptr);
    return 0;
}
