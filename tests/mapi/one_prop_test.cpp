// HrGetOneProp and HrSetOneProp against a scripted IMAPIProp.
#include <gtest/gtest.h>

#include <vector>

#include "mapi/mapi.h"
#include "mapi_fakes.h"

namespace mapi {
namespace {

class OnePropTest : public test::MapiBufferTest {};

// What the object's GetProps answers for the one requested tag.
struct GetCase {
    const char* what;
    HRESULT getPropsResult;
    bool returnsValue;  // whether GetProps hands back a value array
    ULONG returnedTag;  // tag of the value it hands back
    SCODE errorCode;    // its error code when the tag is a PT_ERROR tag
    HRESULT expected;
};

TEST_F(OnePropTest, GetOnePropTurnsErrorValuesIntoResults) {
    constexpr ULONG kTag = 0x600C001F;
    constexpr ULONG kErrorTag = 0x600C000A;
    const GetCase cases[] = {
        {"the property is there", S_OK, true, kTag, 0, S_OK},
        {"the property is missing", MAPI_W_ERRORS_RETURNED, true, kErrorTag, MAPI_E_NOT_FOUND,
         MAPI_E_NOT_FOUND},
        {"the property cannot be read", MAPI_W_ERRORS_RETURNED, true, kErrorTag, MAPI_E_NO_ACCESS,
         MAPI_E_NO_ACCESS},
        {"an error value without an error code", MAPI_W_ERRORS_RETURNED, true, kErrorTag, S_OK,
         MAPI_E_NOT_FOUND},
        {"GetProps fails", MAPI_E_NETWORK_ERROR, false, 0, 0, MAPI_E_NETWORK_ERROR},
        {"GetProps fails after allocating", MAPI_E_CALL_FAILED, true, kErrorTag, MAPI_E_CALL_FAILED,
         MAPI_E_CALL_FAILED},
        {"GetProps succeeds without values", S_OK, false, 0, 0, MAPI_E_CALL_FAILED},
    };
    static char16_t serviceName[] = u"Tavrel";
    for (const GetCase& c : cases) {
        test::FakeProp prop;
        std::vector<ULONG> requested;
        prop.onGetProps = [&](LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* out) {
            requested.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
            *count = 0;
            *out = nullptr;
            if (c.returnsValue) {
                LPVOID block = nullptr;
                EXPECT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), &block), S_OK);
                *out = static_cast<LPSPropValue>(block);
                (*out)->ulPropTag = c.returnedTag;
                if (PROP_TYPE(c.returnedTag) == PT_ERROR) {
                    (*out)->Value.err = c.errorCode;
                } else {
                    (*out)->Value.lpszW = serviceName;
                }
                *count = 1;
            }
            return c.getPropsResult;
        };
        LPSPropValue value = reinterpret_cast<LPSPropValue>(&prop);
        EXPECT_EQ(HrGetOneProp(&prop, kTag, &value), c.expected) << c.what;
        EXPECT_EQ(requested, std::vector<ULONG>{kTag}) << c.what;
        if (c.expected == S_OK) {
            ASSERT_NE(value, nullptr) << c.what;
            EXPECT_EQ(value->Value.lpszW, serviceName);
            MAPIFreeBuffer(value);
        } else {
            EXPECT_EQ(value, nullptr) << c.what;
        }
        EXPECT_EQ(NewLiveBuffers(), 0u)
            << c.what << ": the value buffer is the caller's only on success";
    }
}

struct SetCase {
    const char* what;
    HRESULT setPropsResult;
    bool reportsProblem;
    HRESULT expected;
};

TEST_F(OnePropTest, SetOnePropReportsTheProblemOfItsProperty) {
    const SetCase cases[] = {
        {"SetProps succeeds", S_OK, false, S_OK},
        {"SetProps reports a problem", S_OK, true, MAPI_E_NO_ACCESS},
        {"SetProps fails", MAPI_E_NOT_ENOUGH_MEMORY, false, MAPI_E_NOT_ENOUGH_MEMORY},
    };
    for (const SetCase& c : cases) {
        test::FakeProp prop;
        SPropValue value{};
        value.ulPropTag = PR_SENTMAIL_ENTRYID;
        const SPropValue* received = nullptr;
        prop.onSetProps = [&](ULONG count, LPSPropValue values, LPSPropProblemArray* problems) {
            EXPECT_EQ(count, 1u);
            received = values;
            *problems = nullptr;
            if (c.reportsProblem) {
                LPVOID block = nullptr;
                EXPECT_EQ(MAPIAllocateBuffer(CbNewSPropProblemArray(1), &block), S_OK);
                *problems = static_cast<LPSPropProblemArray>(block);
                (*problems)->cProblem = 1;
                (*problems)->aProblem[0] = {0, PR_SENTMAIL_ENTRYID, MAPI_E_NO_ACCESS};
            }
            return c.setPropsResult;
        };
        EXPECT_EQ(HrSetOneProp(&prop, &value), c.expected) << c.what;
        EXPECT_EQ(received, &value) << c.what;
        EXPECT_EQ(NewLiveBuffers(), 0u) << c.what << ": the problem array is freed";
    }
}

}  // namespace
}  // namespace mapi
