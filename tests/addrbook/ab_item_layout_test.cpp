// ABItem and ABItemList read the way the console reads them: the record by byte offsets (six
// 28-byte wide-string slots at 0, 28, ..., 140, reserved words at 168), the list through its
// first / last / end pointers over elements 184 bytes apart. The 32-bit offsets of the list are
// asserted at compile time on the mingw build; here the pointers are read through the fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "addrbook/ab_item.h"
#include "support/library_fixture.h"

namespace tav {
namespace {

using sim::AddressDialogAnswer;
using testing::LibraryTest;

constexpr std::size_t kRecordSize = 184;
constexpr std::size_t kSlotOffsets[6] = {0, 28, 56, 84, 112, 140};

std::uint32_t Word(const unsigned char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// A slot as the console reads it: length at 20, capacity at 24, the text in place at 4 while the
// capacity is below 8, else at the address stored at 4; the text ends in a zero.
std::u16string ConsoleText(const unsigned char* slot) {
    const std::uint32_t length = Word(slot + 20);
    const std::uint32_t capacity = Word(slot + 24);
    EXPECT_LE(length, capacity);
    const unsigned char* text = slot + 4;
    if (capacity >= 8)
        std::memcpy(&text, slot + 4, sizeof text);
    else
        EXPECT_EQ(capacity, 7u);
    std::u16string result(length + 1, u'#');
    std::memcpy(result.data(), text, (length + 1) * sizeof(char16_t));
    EXPECT_EQ(result.back(), u'\0');
    result.pop_back();
    return result;
}

bool HeldInPlace(const unsigned char* slot) {
    return Word(slot + 24) < 8;
}

std::vector<std::u16string> ConsoleRecord(const unsigned char* record) {
    std::vector<std::u16string> texts;
    for (std::size_t offset : kSlotOffsets) texts.push_back(ConsoleText(record + offset));
    return texts;
}

std::vector<std::uint32_t> ReservedWords(const unsigned char* record) {
    return {Word(record + 168), Word(record + 172), Word(record + 176), Word(record + 180)};
}

const unsigned char* Bytes(const void* p) {
    return static_cast<const unsigned char*>(p);
}

class RecordLayout : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        AdminOrganisation();
        // "Ann Lee" (7 characters) stays in its slot; the DN and "ann@example.com" do not.
        ann_ = builder_.User(u"Ann Lee", u"/o=Example/cn=alee").Smtp(u"ann@example.com").Index();
        // Eight characters go to the heap.
        bob_ = builder_.User(u"Bob Bart", u"/o=E/cn=b").Smtp(u"b@e.com").Index();
        ASSERT_TRUE(Initialize());
    }
    static void Script(std::vector<AddressDialogAnswer> answers) {
        sim::Simulator::Instance().Org().addressDialogAnswers = std::move(answers);
    }
    std::uint32_t ann_ = 0, bob_ = 0;
};

TEST_F(RecordLayout, GetABItemRecordReadByOffsets) {
    Script({{AddressDialogAnswer::Action::Pick, {ann_}, 0}});
    ABItem* item = nullptr;
    ASSERT_TRUE(GetABItem(&item));
    const unsigned char* record = Bytes(item);
    EXPECT_EQ(ConsoleRecord(record),
              (std::vector<std::u16string>{u"", u"", u"Ann Lee", u"", u"/o=Example/cn=alee",
                                           u"ann@example.com"}));
    EXPECT_TRUE(HeldInPlace(record + 0));
    EXPECT_TRUE(HeldInPlace(record + 56));
    EXPECT_FALSE(HeldInPlace(record + 112));
    EXPECT_EQ(ReservedWords(record), (std::vector<std::uint32_t>{0, 0, 0, 0}));
    EXPECT_TRUE(FreeABItem(&item));
}

TEST_F(RecordLayout, ListElementsLieContiguouslyAcrossGrowth) {
    // Four calls grow the storage several times; the console walks it from first to last.
    Script(std::vector<AddressDialogAnswer>(
        4, {AddressDialogAnswer::Action::Pick, {ann_, bob_, ann_}, 0}));
    ABItemList* list = nullptr;
    for (int round = 0; round < 4; ++round) ASSERT_TRUE(GetABItemList(&list, 0));
    ASSERT_NE(list, nullptr);
    const unsigned char* first = Bytes(list->first);
    const unsigned char* last = Bytes(list->last);
    const unsigned char* end = Bytes(list->end);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ((last - first) % kRecordSize, 0u);
    ASSERT_EQ(static_cast<std::size_t>(last - first), 12 * kRecordSize);
    EXPECT_GE(end, last);
    EXPECT_EQ((end - first) % kRecordSize, 0u);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const unsigned char* record = first + i * kRecordSize;
        const bool isAnn = i % 3 != 1;
        const std::vector<std::u16string> expected =
            isAnn ? std::vector<std::u16string>{u"Ann Lee",
                                                u"",
                                                u"Ann Lee",
                                                u"",
                                                u"/o=Example/cn=alee",
                                                u"ann@example.com"}
                  : std::vector<std::u16string>{u"Bob Bart", u"",          u"Bob Bart",
                                                u"",         u"/o=E/cn=b", u"b@e.com"};
        EXPECT_EQ(ConsoleRecord(record), expected);
        EXPECT_EQ(HeldInPlace(record + 56), isAnn);
        EXPECT_EQ(ReservedWords(record), (std::vector<std::uint32_t>{0, 0, 0, 0}));
    }
    EXPECT_TRUE(FreeABItemList(&list));
}

// Appending copies the record: its six texts and its reserved words; the original stays the
// caller's.
TEST(ABItemListRecords, AppendCopiesTheWholeRecord) {
    ABItemList* list = NewABItemList();
    EXPECT_EQ(ABItemCount(*list), 0u);
    ABItem item;
    InitABItem(item);
    for (int i = 0; i < 5; ++i) {
        std::u16string text = u"entry " + std::u16string(1, char16_t(u'0' + i));
        AssignSlot(item.Name, text);
        AssignSlot(item.SMTPAddress, text + u"@example.com");
        for (std::uint32_t k = 0; k < 4; ++k) item.ReservedWords[k] = 10 * i + k;
        AppendABItem(*list, item);
    }
    AssignSlot(item.Name, u"changed afterwards");
    ClearABItem(item);

    ASSERT_EQ(ABItemCount(*list), 5u);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const unsigned char* record = Bytes(list->first) + i * kRecordSize;
        std::u16string text = u"entry " + std::u16string(1, char16_t(u'0' + i));
        EXPECT_EQ(ConsoleRecord(record),
                  (std::vector<std::u16string>{text, u"", u"", u"", u"", text + u"@example.com"}));
        EXPECT_EQ(ReservedWords(record),
                  (std::vector<std::uint32_t>{10u * i, 10u * i + 1, 10u * i + 2, 10u * i + 3}));
    }
    DeleteABItemList(list);
}

}  // namespace
}  // namespace tav
