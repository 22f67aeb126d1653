// The data structures of the Extended MAPI ABI (mapidefs.h, mapix.h, objidl.h), field for field
// in the SDK's order. Arrays declared with one element ([1]) are variable-length: their real
// length is the count in front of them, and the CbNew... functions give the byte size of an
// instance with n elements. The SizedX<N> templates are the same layouts with a fixed count,
// for instances built on the stack.
#pragma once

#include <cstddef>

#include "mapi/mapi_types.h"

namespace mapi {

// An entry identifier: four flag bytes and the provider's bytes.
struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;

constexpr ULONG CbNewENTRYID(ULONG cb) {
    return static_cast<ULONG>(offsetof(ENTRYID, ab)) + cb;
}

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
using LPSBinary = SBinary*;

// Multi-valued property arrays: a count and a separately allocated array.
struct SShortArray {
    ULONG cValues;
    SHORT* lpi;
};
struct SLongArray {
    ULONG cValues;
    LONG* lpl;
};
struct SRealArray {
    ULONG cValues;
    float* lpflt;
};
struct SDoubleArray {
    ULONG cValues;
    double* lpdbl;
};
struct SCurrencyArray {
    ULONG cValues;
    CURRENCY* lpcur;
};
struct SAppTimeArray {
    ULONG cValues;
    double* lpat;
};
struct SDateTimeArray {
    ULONG cValues;
    FILETIME* lpft;
};
struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
struct SLPSTRArray {
    ULONG cValues;
    LPSTR* lppszA;
};
struct SWStringArray {
    ULONG cValues;
    LPWSTR* lppszW;
};
struct SGuidArray {
    ULONG cValues;
    GUID* lpguid;
};
struct SLargeIntegerArray {
    ULONG cValues;
    LARGE_INTEGER* lpli;
};

// A list of entry identifiers has the layout of a binary array.
using ENTRYLIST = SBinaryArray;
using LPENTRYLIST = ENTRYLIST*;

// The value of a property; which member is valid follows from the property type of the tag.
union PV {
    SHORT i;                  // PT_I2
    LONG l;                   // PT_LONG
    ULONG ul;                 // PT_LONG
    float flt;                // PT_R4
    double dbl;               // PT_DOUBLE
    USHORT b;                 // PT_BOOLEAN
    CURRENCY cur;             // PT_CURRENCY
    double at;                // PT_APPTIME
    FILETIME ft;              // PT_SYSTIME
    LPSTR lpszA;              // PT_STRING8
    SBinary bin;              // PT_BINARY
    LPWSTR lpszW;             // PT_UNICODE
    LPGUID lpguid;            // PT_CLSID
    LARGE_INTEGER li;         // PT_I8
    SShortArray MVi;          // PT_MV_I2
    SLongArray MVl;           // PT_MV_LONG
    SRealArray MVflt;         // PT_MV_R4
    SDoubleArray MVdbl;       // PT_MV_DOUBLE
    SCurrencyArray MVcur;     // PT_MV_CURRENCY
    SAppTimeArray MVat;       // PT_MV_APPTIME
    SDateTimeArray MVft;      // PT_MV_SYSTIME
    SBinaryArray MVbin;       // PT_MV_BINARY
    SLPSTRArray MVszA;        // PT_MV_STRING8
    SWStringArray MVszW;      // PT_MV_UNICODE
    SGuidArray MVguid;        // PT_MV_CLSID
    SLargeIntegerArray MVli;  // PT_MV_I8
    SCODE err;                // PT_ERROR
    LONG x;                   // PT_NULL, PT_OBJECT: no usable value
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;

constexpr ULONG CbNewSPropTagArray(ULONG n) {
    return static_cast<ULONG>(offsetof(SPropTagArray, aulPropTag) + n * sizeof(ULONG));
}

// A property tag array of fixed length N with the layout of SPropTagArray.
template <ULONG N>
struct SizedSPropTagArray {
    static_assert(N > 0);
    ULONG cValues = N;
    ULONG aulPropTag[N] = {};

    LPSPropTagArray get() { return reinterpret_cast<LPSPropTagArray>(this); }
};

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};

struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;

constexpr ULONG CbNewSPropProblemArray(ULONG n) {
    return static_cast<ULONG>(offsetof(SPropProblemArray, aProblem) + n * sizeof(SPropProblem));
}

struct FlagList {
    ULONG cFlags;
    ULONG ulFlag[1];
};
using LPFlagList = FlagList*;

// Table rows and address lists. A row's or entry's property values are one MAPI buffer of
// their own, freed with the row set (FreeProws) or address list (FreePadrlist).
struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
using LPSRow = SRow*;

struct SRowSet {
    ULONG cRows;
    SRow aRow[1];
};
using LPSRowSet = SRowSet*;

constexpr ULONG CbNewSRowSet(ULONG n) {
    return static_cast<ULONG>(offsetof(SRowSet, aRow) + n * sizeof(SRow));
}

struct ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
};
using LPADRENTRY = ADRENTRY*;

struct ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[1];
};
using LPADRLIST = ADRLIST*;

constexpr ULONG CbNewADRLIST(ULONG n) {
    return static_cast<ULONG>(offsetof(ADRLIST, aEntries) + n * sizeof(ADRENTRY));
}

// Restrictions
struct SRestriction;
using LPSRestriction = SRestriction*;

struct SAndRestriction {
    ULONG cRes;
    LPSRestriction lpRes;
};
struct SOrRestriction {
    ULONG cRes;
    LPSRestriction lpRes;
};
struct SNotRestriction {
    ULONG ulReserved;
    LPSRestriction lpRes;
};
struct SContentRestriction {
    ULONG ulFuzzyLevel;
    ULONG ulPropTag;
    LPSPropValue lpProp;
};
struct SBitMaskRestriction {
    ULONG relBMR;
    ULONG ulPropTag;
    ULONG ulMask;
};
struct SPropertyRestriction {
    ULONG relop;
    ULONG ulPropTag;
    LPSPropValue lpProp;
};
struct SComparePropsRestriction {
    ULONG relop;
    ULONG ulPropTag1;
    ULONG ulPropTag2;
};
struct SSizeRestriction {
    ULONG relop;
    ULONG ulPropTag;
    ULONG cb;
};
struct SExistRestriction {
    ULONG ulReserved1;
    ULONG ulPropTag;
    ULONG ulReserved2;
};
struct SSubRestriction {
    ULONG ulSubObject;
    LPSRestriction lpRes;
};
struct SCommentRestriction {
    ULONG cValues;
    LPSRestriction lpRes;
    LPSPropValue lpProp;
};

struct SRestriction {
    ULONG rt;  // RES_...
    union {
        SComparePropsRestriction resCompareProps;
        SAndRestriction resAnd;
        SOrRestriction resOr;
        SNotRestriction resNot;
        SContentRestriction resContent;
        SPropertyRestriction resProperty;
        SBitMaskRestriction resBitMask;
        SSizeRestriction resSize;
        SExistRestriction resExist;
        SSubRestriction resSub;
        SCommentRestriction resComment;
    } res;
};

// Sort orders
struct SSortOrder {
    ULONG ulPropTag;
    ULONG ulOrder;  // TABLE_SORT_...
};

struct SSortOrderSet {
    ULONG cSorts;
    ULONG cCategories;
    ULONG cExpanded;
    SSortOrder aSort[1];
};
using LPSSortOrderSet = SSortOrderSet*;

constexpr ULONG CbNewSSortOrderSet(ULONG n) {
    return static_cast<ULONG>(offsetof(SSortOrderSet, aSort) + n * sizeof(SSortOrder));
}

template <ULONG N>
struct SizedSSortOrderSet {
    static_assert(N > 0);
    ULONG cSorts = N;
    ULONG cCategories = 0;
    ULONG cExpanded = 0;
    SSortOrder aSort[N] = {};

    LPSSortOrderSet get() { return reinterpret_cast<LPSSortOrderSet>(this); }
};

// Named properties: a property set and either a numeric id (MNID_ID) or a UTF-16 name
// (MNID_STRING).
struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

// MAPIInitialize's argument.
struct MAPIINIT_0 {
    ULONG ulVersion;  // MAPI_INIT_VERSION
    ULONG ulFlags;
};
using MAPIINIT = MAPIINIT_0;
using LPMAPIINIT = MAPIINIT*;

// The extended error information of GetLastError. The strings are 8-bit unless GetLastError
// was called with MAPI_UNICODE.
struct MAPIERROR {
    ULONG ulVersion = 0;
    LPTSTR lpszError;
    LPTSTR lpszComponent;
    ULONG ulLowLevelError = 0;
    ULONG ulContext = 0;
};
using LPMAPIERROR = MAPIERROR*;

// Callbacks of the address book's dialogs.
using LPFNABSDI = BOOL(MAPI_CALL*)(ULONG_PTR ulUIParam, LPVOID lpvmsg);
using LPFNDISMISS = void(MAPI_CALL*)(ULONG_PTR ulUIParam, LPVOID lpvContext);
using LPFNBUTTON = SCODE(MAPI_CALL*)(ULONG_PTR ulUIParam, LPVOID lpvContext, ULONG cbEntryID,
                                     LPENTRYID lpSelection, ULONG ulFlags);

// Parameters of IAddrBook::Address. The strings are 8-bit unless ulFlags carries AB_UNICODEUI
// (the TStr fields carry either).
struct ADRPARM {
    ULONG cbABContEntryID = 0;
    LPENTRYID lpABContEntryID = nullptr;
    ULONG ulFlags = 0;
    LPVOID lpReserved = nullptr;
    ULONG ulHelpContext = 0;
    LPTSTR lpszHelpFileName;
    LPFNABSDI lpfnABSDI = nullptr;
    LPFNDISMISS lpfnDismiss = nullptr;
    LPVOID lpvDismissContext = nullptr;
    LPTSTR lpszCaption;
    LPTSTR lpszNewEntryTitle;
    LPTSTR lpszDestWellsTitle;
    ULONG cDestFields = 0;
    ULONG nDestFieldFocus = 0;
    LPTSTR* lppszDestTitles = nullptr;
    ULONG* lpulDestComps = nullptr;
    LPSRestriction lpContRestriction = nullptr;
    LPSRestriction lpHierRestriction = nullptr;
};
using LPADRPARM = ADRPARM*;

// IStream::Stat's result.
struct STATSTG {
    char16_t* pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

// Notifications are passed to advise sinks; the library registers none, so their layout is not
// declared here.
struct NOTIFICATION;
using LPNOTIFICATION = NOTIFICATION*;

// On every 32-bit target the layouts must be those of the SDK, which MAPI32 and its providers
// read and write.
inline constexpr bool kPointer32 = sizeof(void*) == 4;
static_assert(!kPointer32 || sizeof(SPropValue) == 16);
static_assert(!kPointer32 || offsetof(SPropValue, Value) == 8);
static_assert(!kPointer32 || sizeof(SBinary) == 8);
static_assert(!kPointer32 || sizeof(SRow) == 12);
static_assert(!kPointer32 || offsetof(SRowSet, aRow) == 4);
static_assert(!kPointer32 || sizeof(ADRENTRY) == 12);
static_assert(!kPointer32 || CbNewADRLIST(1) == 16);
static_assert(!kPointer32 || sizeof(MAPINAMEID) == 12);
static_assert(!kPointer32 || sizeof(SRestriction) == 16);
static_assert(!kPointer32 || sizeof(MAPIERROR) == 20);
static_assert(!kPointer32 || sizeof(ADRPARM) == 72);
static_assert(!kPointer32 || offsetof(ADRPARM, lpszCaption) == 36);
static_assert(!kPointer32 || offsetof(ADRPARM, cDestFields) == 48);
static_assert(!kPointer32 || offsetof(ADRPARM, lppszDestTitles) == 56);
static_assert(!kPointer32 || offsetof(ADRPARM, lpHierRestriction) == 68);
static_assert(!kPointer32 || sizeof(STATSTG) == 72);

}  // namespace mapi
