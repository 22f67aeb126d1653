#include <gtest/gtest.h>

#include <cstring>

#include "core/wide_string_list.h"
#include "core/wide_string_slot.h"

namespace tav {
namespace {

TEST(WideStringSlot, InPlaceBelowEightCharactersOnTheHeapFromEight) {
    struct Case {
        std::u16string text;
        bool onHeap;
    };
    for (const Case& c : {Case{u"", false}, Case{u"1234567", false}, Case{u"12345678", true},
                          Case{std::u16string(300, u'x'), true}}) {
        WideStringSlot slot;
        InitSlot(slot);
        AssignSlot(slot, u"a previous text on the heap");
        AssignSlot(slot, c.text);
        EXPECT_EQ(slot.length, c.text.size());
        EXPECT_EQ(SlotText(slot), c.text);
        if (c.onHeap) {
            EXPECT_EQ(slot.capacity, c.text.size());
            const char16_t* heap = SlotHeapText(slot);
            ASSERT_NE(heap, nullptr);
            EXPECT_EQ(heap[c.text.size()], 0);
        } else {
            EXPECT_EQ(slot.capacity, 7u);
            char16_t inPlace[8];
            std::memcpy(inPlace, slot.textArea, sizeof inPlace);
            EXPECT_EQ(std::u16string(inPlace), c.text);
        }
        EXPECT_EQ(ReadSlot(&slot), c.text);
        FreeSlot(slot);
        EXPECT_EQ(slot.length, 0u);
    }
}

// Slots that the console filled in: read only what is consistent.
TEST(WideStringSlot, ReadsForeignSlotsDefensively) {
    char16_t heapText[] = u"somebody@example.com";
    auto heapSlot = [&](std::uint32_t length, std::uint32_t capacity, char16_t* text) {
        WideStringSlot slot{};
        std::memcpy(slot.textArea, &text, sizeof text);
        slot.length = length;
        slot.capacity = capacity;
        return slot;
    };
    WideStringSlot shortInPlace{};
    std::memcpy(shortInPlace.textArea, u"abc", 8);
    shortInPlace.length = 3;
    shortInPlace.capacity = 3;  // any capacity below 8 keeps the text in place

    EXPECT_EQ(ReadSlot(nullptr), std::nullopt);
    EXPECT_EQ(ReadSlot(&shortInPlace), u"abc");
    WideStringSlot tooLong = shortInPlace;
    tooLong.length = 5;
    EXPECT_EQ(ReadSlot(&tooLong), std::nullopt);
    WideStringSlot heap = heapSlot(20, 31, heapText);
    EXPECT_EQ(ReadSlot(&heap), u"somebody@example.com");
    WideStringSlot nullHeap = heapSlot(20, 31, nullptr);
    EXPECT_EQ(ReadSlot(&nullHeap), std::nullopt);
    WideStringSlot beyondCapacity = heapSlot(40, 31, heapText);
    EXPECT_EQ(ReadSlot(&beyondCapacity), std::nullopt);
}

class ForeignList : public ::testing::Test {
protected:
    // A list as the console would build it, in memory the test owns.
    void Build(std::initializer_list<std::u16string> texts) {
        for (auto& node : nodes_) FreeSlot(node.text);
        nodes_.assign(texts.size(), WideStringNode{});
        InitSlot(sentinel_.text);
        WideStringNode* previous = &sentinel_;
        std::size_t i = 0;
        for (const auto& text : texts) {
            InitSlot(nodes_[i].text);
            AssignSlot(nodes_[i].text, text);
            nodes_[i].prev = previous;
            previous->next = &nodes_[i];
            previous = &nodes_[i++];
        }
        previous->next = &sentinel_;
        sentinel_.prev = previous;
        list_ = WideStringList{0, &sentinel_, static_cast<std::uint32_t>(texts.size())};
    }
    void TearDown() override {
        for (auto& node : nodes_) FreeSlot(node.text);
    }

    WideStringNode sentinel_{};
    std::vector<WideStringNode> nodes_;
    WideStringList list_{};
};

TEST_F(ForeignList, ReadsWellFormedLists) {
    Build({u"a@example.com", u"b", u"c@example.org"});
    EXPECT_EQ(ReadList(&list_),
              (std::vector<std::u16string>{u"a@example.com", u"b", u"c@example.org"}));
    WideStringList noSentinel{0, nullptr, 4};
    EXPECT_EQ(ReadList(&noSentinel), std::vector<std::u16string>{});
    EXPECT_EQ(ReadList(nullptr), std::nullopt);
}

TEST_F(ForeignList, RejectsMalformedLists) {
    Build({u"a@example.com", u"b", u"c@example.org"});
    list_.count = 2;  // the links go on past the count
    EXPECT_EQ(ReadList(&list_), std::nullopt);

    Build({u"a@example.com", u"b", u"c@example.org"});
    nodes_[2].next = &nodes_[0];  // a ring that never returns to the sentinel
    list_.count = 1000;
    EXPECT_EQ(ReadList(&list_), std::nullopt);

    // Links that circle without the sentinel are refused however large the count: the walk
    // does not go on until the count runs out (4 billion entries would exhaust memory first).
    for (std::size_t loopTo : {0u, 1u, 2u}) {
        SCOPED_TRACE(loopTo);
        Build({u"a@example.com", u"b", u"c@example.org"});
        nodes_[2].next = &nodes_[loopTo];
        list_.count = 0xFFFFFFFFu;
        EXPECT_EQ(ReadList(&list_), std::nullopt);
    }

    Build({u"a@example.com", u"b", u"c@example.org"});
    list_.count = 4;  // the links come back to the sentinel before the count
    EXPECT_EQ(ReadList(&list_), std::nullopt);

    Build({u"a@example.com", u"b"});
    nodes_[1].next = nullptr;
    EXPECT_EQ(ReadList(&list_), std::nullopt);

    Build({u"a@example.com", u"b"});
    nodes_[1].text.length = 9;  // beyond its in-place capacity
    EXPECT_EQ(ReadList(&list_), std::nullopt);
    nodes_[1].text.length = 1;
}

TEST(WideStringList, OwnListsAppendAndClear) {
    WideStringList list;
    InitList(list);
    AppendToList(list, u"one");
    AppendToList(list, u"a second, longer entry");
    EXPECT_EQ(ListEntries(list), (std::vector<std::u16string>{u"one", u"a second, longer entry"}));
    EXPECT_EQ(ReadList(&list), ListEntries(list));
    ClearList(list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.sentinel->next, list.sentinel);
    AppendToList(list, u"again");
    EXPECT_EQ(list.count, 1u);
    DestroyList(list);
    EXPECT_EQ(list.sentinel, nullptr);
}

}  // namespace
}  // namespace tav
