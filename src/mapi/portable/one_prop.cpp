// HrGetOneProp and HrSetOneProp: one property through IMAPIProp::GetProps and SetProps.
#include "mapi/mapi_codes.h"
#include "mapi/mapi_runtime.h"
#include "mapi/mapi_structs.h"
#include "mapi/mapi_tags.h"

using namespace mapi;

// The value comes back in its own MAPI buffer. A property the object does not have comes back
// from GetProps as a PT_ERROR value with a warning; here its error code is the result and the
// buffer is freed, so the caller never sees a warning.
extern "C" HRESULT MAPI_CALL HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag,
                                          LPSPropValue* lppProp) {
    if (!lppProp) return MAPI_E_INVALID_PARAMETER;
    *lppProp = nullptr;
    if (!lpMapiProp) return MAPI_E_INVALID_PARAMETER;

    SizedSPropTagArray<1> tags{1, {ulPropTag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT hr = lpMapiProp->GetProps(tags.get(), 0, &count, &values);
    if (FAILED(hr)) {
        MAPIFreeBuffer(values);
        return hr;
    }
    if (!values || count != 1) {
        MAPIFreeBuffer(values);
        return MAPI_E_CALL_FAILED;
    }
    if (PROP_TYPE(values->ulPropTag) == PT_ERROR) {
        hr = FAILED(values->Value.err) ? values->Value.err : MAPI_E_NOT_FOUND;
        MAPIFreeBuffer(values);
        return hr;
    }
    *lppProp = values;
    return S_OK;
}

// A problem SetProps reports for the property is the result.
extern "C" HRESULT MAPI_CALL HrSetOneProp(LPMAPIPROP lpMapiProp, LPSPropValue lpProp) {
    if (!lpMapiProp || !lpProp) return MAPI_E_INVALID_PARAMETER;
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = lpMapiProp->SetProps(1, lpProp, &problems);
    if (SUCCEEDED(hr) && problems && problems->cProblem > 0) hr = problems->aProblem[0].scode;
    MAPIFreeBuffer(problems);
    return FAILED(hr) ? hr : S_OK;
}
