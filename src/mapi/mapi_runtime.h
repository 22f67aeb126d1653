// The functions MAPI32 exports that the library calls, with their SDK signatures (mapix.h,
// mapiutil.h). They are C functions at global scope, as MAPI32.DLL exports them; on Windows the
// system's MAPI32 provides them, on Linux the portable runtime tavmapi32. Namespace mapi has
// using-declarations for them.
//
// MAPILogonEx takes the profile name and password as LPTSTR: UTF-16 when the flags carry
// MAPI_UNICODE, 8-bit otherwise.
#pragma once

#include "mapi/mapi_interfaces.h"
#include "mapi/mapi_structs.h"
#include "mapi/mapi_types.h"

namespace mapi {

// The allocator signatures that MAPI passes around as function pointers.
using ALLOCATEBUFFER = SCODE MAPI_CALL(ULONG cbSize, LPVOID* lppBuffer);
using ALLOCATEMORE = SCODE MAPI_CALL(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
using FREEBUFFER = ULONG MAPI_CALL(LPVOID lpBuffer);
using LPALLOCATEBUFFER = ALLOCATEBUFFER*;
using LPALLOCATEMORE = ALLOCATEMORE*;
using LPFREEBUFFER = FREEBUFFER*;

}  // namespace mapi

extern "C" {

// Session
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL MAPIInitialize(mapi::LPVOID lpMapiInit);
MAPI_RUNTIME_API void MAPI_CALL MAPIUninitialize();
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL MAPILogonEx(mapi::ULONG_PTR ulUIParam,
                                                     mapi::LPTSTR lpszProfileName,
                                                     mapi::LPTSTR lpszPassword, mapi::ULONG flFlags,
                                                     mapi::LPMAPISESSION* lppSession);
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL MAPIAdminProfiles(mapi::ULONG ulFlags,
                                                           mapi::LPPROFADMIN* lppProfAdmin);

// Memory. A buffer from MAPIAllocateMore belongs to the buffer it was allocated on and is
// freed with it; MAPIFreeBuffer(nullptr) does nothing.
MAPI_RUNTIME_API mapi::SCODE MAPI_CALL MAPIAllocateBuffer(mapi::ULONG cbSize,
                                                          mapi::LPVOID* lppBuffer);
MAPI_RUNTIME_API mapi::SCODE MAPI_CALL MAPIAllocateMore(mapi::ULONG cbSize, mapi::LPVOID lpObject,
                                                        mapi::LPVOID* lppBuffer);
MAPI_RUNTIME_API mapi::ULONG MAPI_CALL MAPIFreeBuffer(mapi::LPVOID lpBuffer);

// Row sets and address lists: each row's or entry's values, then the list itself.
MAPI_RUNTIME_API void MAPI_CALL FreeProws(mapi::LPSRowSet lpRows);
MAPI_RUNTIME_API void MAPI_CALL FreePadrlist(mapi::LPADRLIST lpAdrlist);

// Copies cValues property values into one new buffer from lpAllocateBuffer, with every string,
// binary, GUID and multi-valued array inside it.
MAPI_RUNTIME_API mapi::SCODE MAPI_CALL ScDupPropset(int cValues, mapi::LPSPropValue lpPropArray,
                                                    mapi::LPALLOCATEBUFFER lpAllocateBuffer,
                                                    mapi::LPSPropValue* lppPropArray);

// One property of an object; a property the object does not have is an error, not a warning.
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL HrGetOneProp(mapi::LPMAPIPROP lpMapiProp,
                                                      mapi::ULONG ulPropTag,
                                                      mapi::LPSPropValue* lppProp);
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL HrSetOneProp(mapi::LPMAPIPROP lpMapiProp,
                                                      mapi::LPSPropValue lpProp);

// All rows of a table, after setting its columns, restriction and sort order where given.
// crowsMax 0 means no limit; a table with more rows fails with MAPI_E_TABLE_TOO_BIG.
MAPI_RUNTIME_API mapi::HRESULT MAPI_CALL HrQueryAllRows(
    mapi::LPMAPITABLE lpTable, mapi::LPSPropTagArray lpPropTags, mapi::LPSRestriction lpRestriction,
    mapi::LPSSortOrderSet lpSortOrderSet, mapi::LONG crowsMax, mapi::LPSRowSet* lppRows);

}  // extern "C"

namespace mapi {

using ::FreePadrlist;
using ::FreeProws;
using ::HrGetOneProp;
using ::HrQueryAllRows;
using ::HrSetOneProp;
using ::MAPIAdminProfiles;
using ::MAPIAllocateBuffer;
using ::MAPIAllocateMore;
using ::MAPIFreeBuffer;
using ::MAPIInitialize;
using ::MAPILogonEx;
using ::MAPIUninitialize;
using ::ScDupPropset;

}  // namespace mapi
