// ScDupPropset: deep copies of property value arrays in a single buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "mapi_fakes.h"

namespace mapi {
namespace {

class ScDupPropsetTest : public test::MapiBufferTest {
  protected:
    // The copy's block, as the accounting sees it: [begin, begin + bytes).
    void ExpectInsideCopy(const void* p, const char* what) const {
        if (!p) return;
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        const auto begin = reinterpret_cast<std::uintptr_t>(copyBegin_);
        EXPECT_TRUE(at >= begin && at < begin + copyBytes_) << what << " points outside the copy";
    }

    LPSPropValue Dup(std::vector<SPropValue>& values) {
        LPSPropValue copy = nullptr;
        EXPECT_EQ(
            ScDupPropset(static_cast<int>(values.size()), values.data(), MAPIAllocateBuffer, &copy),
            S_OK);
        copyBegin_ = copy;
        copyBytes_ = NewLiveBytes();
        EXPECT_EQ(NewLiveBuffers(), 1u);
        EXPECT_EQ(portable::GetBufferStats().liveLinkedBlocks, 0u) << "one block, no links";
        return copy;
    }

  private:
    const void* copyBegin_ = nullptr;
    std::size_t copyBytes_ = 0;
};

SPropValue Value(ULONG tag) {
    SPropValue v{};
    v.ulPropTag = tag;
    return v;
}

// Source data the copies must not share; the test overwrites it after copying.
struct Sources {
    char narrow[16] = "Select Mailbox";
    char16_t wide[16] = u"TavrelSynch";
    BYTE bytes[5] = {0, 1, 2, 0xFE, 0xFF};
    GUID guid = PS_PUBLIC_STRINGS;
    LONG longs[3] = {7, -1, 0x60220003};
    char a1[5] = "X400", a2[8] = "smtp:a@";
    LPSTR narrowList[2] = {a1, a2};
    char16_t w1[8] = u"SMTP:x", w2[8] = u"";
    LPWSTR wideList[2] = {w1, w2};
    BYTE k1[2] = {9, 8}, k2[3] = {7, 6, 5};
    SBinary binList[2] = {{2, k1}, {3, k2}};
    FILETIME times[2] = {{1, 2}, {3, 4}};

    void Scribble() { std::memset(static_cast<void*>(this), 0x5A, sizeof(*this)); }
};

TEST_F(ScDupPropsetTest, CopiesEveryKindOfValueIntoOneBuffer) {
    Sources src;
    std::vector<SPropValue> values;
    auto add = [&](ULONG tag, auto fill) {
        SPropValue v = Value(tag);
        fill(v.Value);
        values.push_back(v);
    };
    add(PR_DISPLAY_NAME_A, [&](PV& v) { v.lpszA = src.narrow; });
    add(PR_DISPLAY_NAME_W, [&](PV& v) { v.lpszW = src.wide; });
    add(PR_ENTRYID, [&](PV& v) { v.bin = {sizeof src.bytes, src.bytes}; });
    add(PR_SOURCE_KEY, [&](PV& v) { v.bin = {0, nullptr}; });
    add(PROP_TAG(PT_CLSID, 0x6700), [&](PV& v) { v.lpguid = &src.guid; });
    add(PROP_TAG(PT_MV_LONG, 0x6701), [&](PV& v) { v.MVl = {3, src.longs}; });
    add(PROP_TAG(PT_MV_STRING8, 0x6702), [&](PV& v) { v.MVszA = {2, src.narrowList}; });
    add(PR_EMS_AB_PROXY_ADDRESSES_W, [&](PV& v) { v.MVszW = {2, src.wideList}; });
    add(PR_ADDITIONAL_REN_ENTRYIDS, [&](PV& v) { v.MVbin = {2, src.binList}; });
    add(PROP_TAG(PT_MV_SYSTIME, 0x6703), [&](PV& v) { v.MVft = {2, src.times}; });
    add(PR_RECIPIENT_TYPE, [&](PV& v) { v.l = MAPI_BCC; });
    add(PR_SEND_RICH_INFO, [&](PV& v) { v.b = 1; });
    add(PROP_TAG(PT_SYSTIME, 0x6025), [&](PV& v) { v.ft = {0xD53E8000, 0x019DB1DE}; });
    add(PROP_TAG(PT_I8, 0x6704), [&](PV& v) { v.li.QuadPart = -5; });
    add(CHANGE_PROP_TYPE(PR_SUBJECT_W, PT_ERROR), [&](PV& v) { v.err = MAPI_E_NOT_FOUND; });
    add(PROP_TAG(PT_MV_UNICODE | MV_INSTANCE, 0x800F), [&](PV& v) { v.lpszW = src.w1; });

    LPSPropValue copy = Dup(values);
    src.Scribble();
    ASSERT_NE(copy, nullptr);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(copy[i].ulPropTag, values[i].ulPropTag) << i;
    }

    EXPECT_STREQ(copy[0].Value.lpszA, "Select Mailbox");
    ExpectInsideCopy(copy[0].Value.lpszA, "PT_STRING8");
    EXPECT_EQ(std::u16string(copy[1].Value.lpszW), u"TavrelSynch");
    ExpectInsideCopy(copy[1].Value.lpszW, "PT_UNICODE");
    ASSERT_EQ(copy[2].Value.bin.cb, 5u);
    EXPECT_EQ(std::vector<BYTE>(copy[2].Value.bin.lpb, copy[2].Value.bin.lpb + 5),
              (std::vector<BYTE>{0, 1, 2, 0xFE, 0xFF}));
    ExpectInsideCopy(copy[2].Value.bin.lpb, "PT_BINARY");
    EXPECT_EQ(copy[3].Value.bin.cb, 0u);
    EXPECT_TRUE(*copy[4].Value.lpguid == PS_PUBLIC_STRINGS);
    ExpectInsideCopy(copy[4].Value.lpguid, "PT_CLSID");

    ASSERT_EQ(copy[5].Value.MVl.cValues, 3u);
    EXPECT_EQ(copy[5].Value.MVl.lpl[2], 0x60220003);
    ExpectInsideCopy(copy[5].Value.MVl.lpl, "PT_MV_LONG");
    ASSERT_EQ(copy[6].Value.MVszA.cValues, 2u);
    EXPECT_STREQ(copy[6].Value.MVszA.lppszA[0], "X400");
    EXPECT_STREQ(copy[6].Value.MVszA.lppszA[1], "smtp:a@");
    ExpectInsideCopy(copy[6].Value.MVszA.lppszA, "PT_MV_STRING8 array");
    ExpectInsideCopy(copy[6].Value.MVszA.lppszA[1], "PT_MV_STRING8 element");
    ASSERT_EQ(copy[7].Value.MVszW.cValues, 2u);
    EXPECT_EQ(std::u16string(copy[7].Value.MVszW.lppszW[0]), u"SMTP:x");
    EXPECT_EQ(std::u16string(copy[7].Value.MVszW.lppszW[1]), u"");
    ExpectInsideCopy(copy[7].Value.MVszW.lppszW[1], "PT_MV_UNICODE element");
    ASSERT_EQ(copy[8].Value.MVbin.cValues, 2u);
    EXPECT_EQ(copy[8].Value.MVbin.lpbin[1].cb, 3u);
    EXPECT_EQ(copy[8].Value.MVbin.lpbin[1].lpb[2], 5);
    ExpectInsideCopy(copy[8].Value.MVbin.lpbin[1].lpb, "PT_MV_BINARY element");
    EXPECT_EQ(copy[9].Value.MVft.lpft[1].dwHighDateTime, 4u);

    EXPECT_EQ(copy[10].Value.l, static_cast<LONG>(MAPI_BCC));
    EXPECT_EQ(copy[11].Value.b, 1);
    EXPECT_EQ(copy[12].Value.ft.dwHighDateTime, 0x019DB1DEu);
    EXPECT_EQ(copy[13].Value.li.QuadPart, -5);
    EXPECT_EQ(copy[14].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(std::u16string(copy[15].Value.lpszW), u"SMTP:x");
    ExpectInsideCopy(copy[15].Value.lpszW, "MV_INSTANCE column value");

    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(copy[2].Value.bin.lpb) % 8, 0u);
    MAPIFreeBuffer(copy);
}

// The fixed-size multi-valued types: each array is copied whole, into the copy's block.
TEST_F(ScDupPropsetTest, CopiesFixedSizeMultiValuedArrays) {
    short shorts[2] = {-2, 3};
    float floats[2] = {0.5f, -1.25f};
    double doubles[2] = {2.5, -7.0};
    CURRENCY money[2]{};
    money[1].int64 = -123456789;
    double appTimes[1] = {45000.25};
    GUID guids[2] = {PS_PUBLIC_STRINGS, PS_PUBLIC_STRINGS};
    guids[1].Data1 ^= 0xFFFFu;
    LARGE_INTEGER bigs[2]{};
    bigs[0].QuadPart = INT64_MIN;
    std::vector<SPropValue> values(7);
    values[0] = Value(PROP_TAG(PT_MV_I2, 0x6710)), values[0].Value.MVi = {2, shorts};
    values[1] = Value(PROP_TAG(PT_MV_R4, 0x6711)), values[1].Value.MVflt = {2, floats};
    values[2] = Value(PROP_TAG(PT_MV_DOUBLE, 0x6712)), values[2].Value.MVdbl = {2, doubles};
    values[3] = Value(PROP_TAG(PT_MV_CURRENCY, 0x6713)), values[3].Value.MVcur = {2, money};
    values[4] = Value(PROP_TAG(PT_MV_APPTIME, 0x6714)), values[4].Value.MVat = {1, appTimes};
    values[5] = Value(PROP_TAG(PT_MV_CLSID, 0x6715)), values[5].Value.MVguid = {2, guids};
    values[6] = Value(PROP_TAG(PT_MV_I8, 0x6716)), values[6].Value.MVli = {2, bigs};

    LPSPropValue copy = Dup(values);
    ASSERT_NE(copy, nullptr);
    std::memset(shorts, 0, sizeof shorts), std::memset(floats, 0, sizeof floats);
    std::memset(doubles, 0, sizeof doubles), std::memset(money, 0, sizeof money);
    std::memset(appTimes, 0, sizeof appTimes), std::memset(guids, 0, sizeof guids);
    std::memset(bigs, 0, sizeof bigs);

    ASSERT_EQ(copy[0].Value.MVi.cValues, 2u);
    EXPECT_EQ(copy[0].Value.MVi.lpi[0], -2);
    EXPECT_EQ(copy[0].Value.MVi.lpi[1], 3);
    EXPECT_EQ(copy[1].Value.MVflt.lpflt[1], -1.25f);
    EXPECT_EQ(copy[2].Value.MVdbl.lpdbl[0], 2.5);
    EXPECT_EQ(copy[3].Value.MVcur.lpcur[1].int64, -123456789);
    ASSERT_EQ(copy[4].Value.MVat.cValues, 1u);
    EXPECT_EQ(copy[4].Value.MVat.lpat[0], 45000.25);
    EXPECT_TRUE(copy[5].Value.MVguid.lpguid[0] == PS_PUBLIC_STRINGS);
    EXPECT_EQ(copy[5].Value.MVguid.lpguid[1].Data1, PS_PUBLIC_STRINGS.Data1 ^ 0xFFFFu);
    EXPECT_EQ(copy[6].Value.MVli.lpli[0].QuadPart, INT64_MIN);
    ExpectInsideCopy(copy[0].Value.MVi.lpi, "PT_MV_I2");
    ExpectInsideCopy(copy[3].Value.MVcur.lpcur, "PT_MV_CURRENCY");
    ExpectInsideCopy(copy[5].Value.MVguid.lpguid, "PT_MV_CLSID");
    ExpectInsideCopy(copy[6].Value.MVli.lpli, "PT_MV_I8");
    for (int i = 1; i <= 6; ++i) {
        // 8-byte elements must stay aligned inside the one block.
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(copy[i].Value.MVli.lpli) % 4, 0u) << i;
    }
    MAPIFreeBuffer(copy);
}

TEST_F(ScDupPropsetTest, RefusesValuesItCannotCopy) {
    LONG none[1] = {0};
    struct Case {
        const char* what;
        SPropValue value;
    };
    SPropValue emptyMulti = Value(PROP_TAG(PT_MV_LONG, 0x6701));
    emptyMulti.Value.MVl = {0, none};
    const Case cases[] = {
        {"property id PROP_ID_NULL", Value(PR_NULL)},
        {"property id PROP_ID_INVALID", Value(PROP_TAG(PT_LONG, PROP_ID_INVALID))},
        {"a multi-valued value without elements", emptyMulti},
        {"an unknown property type", Value(PROP_TAG(0x0099, 0x6705))},
    };
    for (const Case& c : cases) {
        SPropValue values[2] = {Value(PR_RECIPIENT_TYPE), c.value};
        LPSPropValue copy = values;
        EXPECT_EQ(ScDupPropset(2, values, MAPIAllocateBuffer, &copy), MAPI_E_INVALID_PARAMETER)
            << c.what;
        EXPECT_EQ(copy, nullptr) << c.what;
    }
    EXPECT_EQ(portable::GetBufferStats().allocations, 0u) << "nothing is allocated for a refusal";

    LPSPropValue copy = nullptr;
    SPropValue one = Value(PR_RECIPIENT_TYPE);
    EXPECT_EQ(ScDupPropset(1, &one, nullptr, &copy), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(ScDupPropset(-1, &one, MAPIAllocateBuffer, &copy), MAPI_E_INVALID_PARAMETER);
}

TEST_F(ScDupPropsetTest, PassesOnTheAllocatorsFailure) {
    char text[] = "a@b";
    SPropValue value = Value(PR_EMAIL_ADDRESS_A);
    value.Value.lpszA = text;
    portable::InjectAllocationFailures(0, 1);
    LPSPropValue copy = &value;
    EXPECT_EQ(ScDupPropset(1, &value, MAPIAllocateBuffer, &copy), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(copy, nullptr);
}

}  // namespace
}  // namespace mapi
