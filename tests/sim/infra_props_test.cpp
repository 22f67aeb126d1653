// Property conversion between the model and MAPI buffers, and the GetProps / SetProps semantics
// the simulated objects share.
#include <gtest/gtest.h>

#include <cstdint>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/props.h"

namespace {

using mapi::ULONG;
using sim::PropMap;
using sim::PropValue;

// Every allocation of a test is freed again by its end.
class InfraPropsTest : public ::testing::Test {
  protected:
    void SetUp() override { before_ = mapi::portable::GetBufferStats().liveBuffers; }
    void TearDown() override {
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, before_);
        EXPECT_EQ(mapi::portable::GetBufferStats().badFrees, 0u);
    }
    std::size_t before_ = 0;
};

mapi::MapiBuffer<mapi::SPropValue> GetProps(const PropMap& props, std::vector<ULONG> tags,
                                            ULONG flags, ULONG* count, mapi::HRESULT* hr) {
    std::vector<ULONG> array(tags.size() + 1);
    array[0] = static_cast<ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), array.begin() + 1);
    mapi::MapiBuffer<mapi::SPropValue> values;
    *hr = sim::GetPropsFromMap(props, reinterpret_cast<mapi::SPropTagArray*>(array.data()), flags,
                               count, values.Put());
    return values;
}

TEST_F(InfraPropsTest, EveryModelTypeSurvivesTheTripThroughAMapiBuffer) {
    const std::pair<ULONG, PropValue> cases[] = {
        {0x60240003, std::int32_t{-7}},
        {mapi::PR_SEND_RICH_INFO, true},
        {0x66A00014, std::int64_t{1} << 40},
        {0x60250040, sim::FileTime{116444736000000000ull}},
        {mapi::PR_SUBJECT_A, std::string("caf\xE9")},
        {mapi::PR_SUBJECT_W, std::u16string(u"caf\u00E9")},
        {mapi::PR_ENTRYID, sim::Bytes{0, 1, 2, 0xFF}},
        {mapi::PR_ENTRYID, sim::Bytes{}},
        {0x68001003, std::vector<std::int32_t>{1, -2, 3}},
        {0x6801101E, std::vector<std::string>{"a", ""}},
        {mapi::PR_EMS_AB_PROXY_ADDRESSES_W,
         std::vector<std::u16string>{u"SMTP:a@example.com", u""}},
        {mapi::PR_ADDITIONAL_REN_ENTRYIDS, std::vector<sim::Bytes>{{1, 2}, {}}},
    };
    for (const auto& [tag, value] : cases) {
        SCOPED_TRACE(sim::DescribeValue(tag, value));
        mapi::MapiBuffer<mapi::SPropValue> values;
        ASSERT_EQ(sim::AllocPropArray({{tag, value}}, values.Put()), mapi::S_OK);
        EXPECT_EQ(values[0].ulPropTag, tag);
        auto parsed = sim::ParseSPropValue(values[0]);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, value);
    }

    // All of them in one array: every value's data lies in the array's own block, each piece
    // aligned as a block of its own would be, and none overlaps another.
    const sim::PropList all(std::begin(cases), std::end(cases));
    const std::size_t linked = mapi::portable::GetBufferStats().linkedAllocations;
    mapi::MapiBuffer<mapi::SPropValue> values;
    ASSERT_EQ(sim::AllocPropArray(all, values.Put()), mapi::S_OK);
    EXPECT_EQ(mapi::portable::GetBufferStats().linkedAllocations, linked);
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(sim::DescribeValue(all[i].first, all[i].second));
        auto parsed = sim::ParseSPropValue(values[i]);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, all[i].second);
    }
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values[8].Value.MVl.lpl) % 8, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(values[10].Value.MVszW.lppszW) % 8, 0u);

    // A value given in another type than its tag's is converted, and its data takes a block of
    // its own.
    mapi::MapiBuffer<mapi::SPropValue> converted;
    ASSERT_EQ(sim::AllocPropArray({{mapi::PR_SUBJECT_A, std::u16string(u"caf\u00E9")}},
                                  converted.Put()),
              mapi::S_OK);
    EXPECT_EQ(mapi::portable::GetBufferStats().linkedAllocations, linked + 1);
    EXPECT_STREQ(converted[0].Value.lpszA, "caf\xE9");
}

TEST_F(InfraPropsTest, GetPropsReportsMissingPropertiesAsErrorValuesWithAWarning) {
    PropMap props;
    props[mapi::PR_DISPLAY_NAME_W] = std::u16string(u"Inbox");
    ULONG count = 0;
    mapi::HRESULT hr = 0;
    auto values = GetProps(props, {mapi::PR_DISPLAY_NAME_W, mapi::PR_SOURCE_KEY}, 0, &count, &hr);
    EXPECT_EQ(hr, mapi::MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(values[0].ulPropTag, mapi::PR_DISPLAY_NAME_W);
    EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"Inbox");
    EXPECT_EQ(values[1].ulPropTag, mapi::CHANGE_PROP_TYPE(mapi::PR_SOURCE_KEY, mapi::PT_ERROR));
    EXPECT_EQ(values[1].Value.err, mapi::MAPI_E_NOT_FOUND);

    values = GetProps(props, {mapi::PR_DISPLAY_NAME_W}, 0, &count, &hr);
    EXPECT_EQ(hr, mapi::S_OK);
}

TEST_F(InfraPropsTest, StringWidthFollowsTheRequestedTypeOrTheUnicodeFlag) {
    struct Case {
        const char* name;
        ULONG requested;
        ULONG flags;
        ULONG expectTag;
    };
    const ULONG unspecified = mapi::CHANGE_PROP_TYPE(mapi::PR_SUBJECT_W, mapi::PT_UNSPECIFIED);
    const Case cases[] = {
        {"wide as stored", mapi::PR_SUBJECT_W, 0, mapi::PR_SUBJECT_W},
        {"8-bit converted", mapi::PR_SUBJECT_A, 0, mapi::PR_SUBJECT_A},
        {"unspecified, unicode", unspecified, mapi::MAPI_UNICODE, mapi::PR_SUBJECT_W},
        {"unspecified, 8-bit", unspecified, 0, mapi::PR_SUBJECT_A},
    };
    PropMap props;
    props[mapi::PR_SUBJECT_W] = std::u16string(u"Caf\u00E9 \u20AC \u4E2D");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ULONG count = 0;
        mapi::HRESULT hr = 0;
        auto values = GetProps(props, {c.requested}, c.flags, &count, &hr);
        ASSERT_EQ(hr, mapi::S_OK);
        EXPECT_EQ(values[0].ulPropTag, c.expectTag);
        if (c.expectTag == mapi::PR_SUBJECT_A) {
            // Windows-1252: é and € exist, the CJK character does not.
            EXPECT_EQ(std::string(values[0].Value.lpszA), "Caf\xE9 \x80 ?");
        } else {
            EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"Caf\u00E9 \u20AC \u4E2D");
        }
    }
}

TEST_F(InfraPropsTest, NullTagArrayReturnsEveryPropertyAndTypeMismatchIsNotFound) {
    PropMap props;
    props[mapi::PR_DISPLAY_NAME_A] = std::string("Root");
    props[mapi::PR_DEPTH] = std::int32_t{1};
    ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> all;
    ASSERT_EQ(sim::GetPropsFromMap(props, nullptr, mapi::MAPI_UNICODE, &count, all.Put()),
              mapi::S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(all[0].ulPropTag, mapi::PR_DISPLAY_NAME_W);
    EXPECT_EQ(all[1].ulPropTag, mapi::PR_DEPTH);

    mapi::HRESULT hr = 0;
    auto values =
        GetProps(props, {mapi::CHANGE_PROP_TYPE(mapi::PR_DEPTH, mapi::PT_BINARY)}, 0, &count, &hr);
    EXPECT_EQ(hr, mapi::MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(mapi::PROP_TYPE(values[0].ulPropTag), mapi::PT_ERROR);
}

TEST_F(InfraPropsTest, SetPropsReplacesByIdAndReportsComputedAndUnsupportedValues) {
    PropMap props;
    props[mapi::PR_SUBJECT_A] = std::string("old");
    mapi::SPropValue values[4] = {};
    values[0].ulPropTag = mapi::PR_SUBJECT_W;
    values[0].Value.lpszW = const_cast<char16_t*>(u"new");
    values[1].ulPropTag = mapi::PR_ENTRYID;
    values[1].Value.bin = {0, nullptr};
    values[2].ulPropTag = mapi::PROP_TAG(mapi::PT_DOUBLE, 0x6810);
    values[3].ulPropTag = mapi::PROP_TAG(mapi::PT_ERROR, 0x6811);
    mapi::MapiBuffer<mapi::SPropProblemArray> problems;
    ASSERT_EQ(sim::SetPropsInMap(props, 4, values, {mapi::PR_ENTRYID}, problems.Put()), mapi::S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 2u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 1u);
    EXPECT_EQ(problems->aProblem[0].scode, mapi::MAPI_E_COMPUTED);
    EXPECT_EQ(problems->aProblem[1].ulIndex, 2u);
    EXPECT_EQ(problems->aProblem[1].scode, mapi::MAPI_E_INVALID_TYPE);
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props.begin()->first, mapi::PR_SUBJECT_W);
    EXPECT_EQ(std::get<std::u16string>(props.begin()->second), u"new");
}

TEST_F(InfraPropsTest, RowSetsAndAddressListsFreeCompletelyWithTheirRuntimeFunctions) {
    std::vector<sim::PropList> rows = {
        {{mapi::PR_DISPLAY_NAME_W, std::u16string(u"a")}},
        {{mapi::PR_ENTRYID, sim::Bytes{1, 2, 3}}, {mapi::PR_DEPTH, std::int32_t{1}}}};
    mapi::LPSRowSet set = nullptr;
    ASSERT_EQ(sim::AllocRowSet(rows, &set), mapi::S_OK);
    ASSERT_EQ(set->cRows, 2u);
    EXPECT_EQ(set->aRow[1].cValues, 2u);
    EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, before_ + 3);
    mapi::FreeProws(set);

    mapi::LPADRLIST list = nullptr;
    ASSERT_EQ(sim::AllocAdrList(rows, &list), mapi::S_OK);
    EXPECT_EQ(list->cEntries, 2u);
    mapi::FreePadrlist(list);
}

#if defined(__SANITIZE_ADDRESS__)
// A value's data shares its array's block; a read just past it is still caught, as past a block
// of its own.
TEST(InfraPropsDeathTest, AReadPastAValuesDataIsCaught) {
    mapi::SPropValue* values = nullptr;
    ASSERT_EQ(sim::AllocPropArray({{mapi::PR_ENTRYID, sim::Bytes(8, 1)},
                                   {mapi::PR_DISPLAY_NAME_W, std::u16string(u"x")}},
                                  &values),
              mapi::S_OK);
    EXPECT_EQ(values[0].Value.bin.lpb[7], 1);
    EXPECT_DEATH(
        {
            const volatile unsigned char past = values[0].Value.bin.lpb[8];
            (void)past;
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            const volatile char16_t past = values[1].Value.lpszW[2];
            (void)past;
        },
        "use-after-poison");
    mapi::MAPIFreeBuffer(values);
}
#endif

TEST_F(InfraPropsTest, FailedAllocationsLeaveNothingBehind) {
    // The set, then one block per row: each row's string lies in its value array's block.
    std::vector<sim::PropList> rows(3, {{mapi::PR_DISPLAY_NAME_W, std::u16string(u"x")}});
    std::size_t failures = 0;
    for (std::size_t succeeding = 0;; ++succeeding) {
        SCOPED_TRACE(succeeding);
        mapi::portable::InjectAllocationFailures(succeeding);
        mapi::LPSRowSet set = nullptr;
        mapi::HRESULT hr = sim::AllocRowSet(rows, &set);
        mapi::portable::ClearAllocationFailures();
        if (mapi::SUCCEEDED(hr)) {
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(set->cRows, 3u);
            mapi::FreeProws(set);
            break;
        }
        ++failures;
        EXPECT_EQ(hr, mapi::MAPI_E_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(set, nullptr);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, before_);
        ASSERT_LT(failures, 20u);
    }
    EXPECT_EQ(failures, 1 + rows.size());
}

}  // namespace
