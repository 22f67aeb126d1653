// Result codes of COM and Extended MAPI (winerror.h, mapicode.h), as 32-bit signed values.
//
// The Windows SDK defines several of these names as macros. When a translation unit includes
// <windows.h> as well, the macros are set aside while the constants below are declared and come
// back afterwards; such code must then use the names unqualified (S_OK, not mapi::S_OK).
#pragma once

#include "mapi/mapi_types.h"

#if defined(_WIN32)
#pragma push_macro("S_OK")
#pragma push_macro("S_FALSE")
#pragma push_macro("E_FAIL")
#pragma push_macro("E_NOINTERFACE")
#pragma push_macro("E_INVALIDARG")
#pragma push_macro("E_OUTOFMEMORY")
#pragma push_macro("E_ACCESSDENIED")
#pragma push_macro("E_NOTIMPL")
#pragma push_macro("E_POINTER")
#pragma push_macro("E_ABORT")
#pragma push_macro("E_HANDLE")
#pragma push_macro("E_UNEXPECTED")
#pragma push_macro("FAILED")
#pragma push_macro("SUCCEEDED")
#undef S_OK
#undef S_FALSE
#undef E_FAIL
#undef E_NOINTERFACE
#undef E_INVALIDARG
#undef E_OUTOFMEMORY
#undef E_ACCESSDENIED
#undef E_NOTIMPL
#undef E_POINTER
#undef E_ABORT
#undef E_HANDLE
#undef E_UNEXPECTED
#undef FAILED
#undef SUCCEEDED
#endif

namespace mapi {

// A result code from its unsigned 32-bit spelling.
constexpr HRESULT MakeResult(std::uint32_t code) {
    return static_cast<HRESULT>(code);
}

constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// COM
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);

// MAPI: the general codes shared with COM
inline constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
inline constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
inline constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;

// MAPI: object and session errors
inline constexpr HRESULT MAPI_E_NO_SUPPORT = MakeResult(0x80040102);
inline constexpr HRESULT MAPI_E_BAD_CHARWIDTH = MakeResult(0x80040103);
inline constexpr HRESULT MAPI_E_STRING_TOO_LONG = MakeResult(0x80040105);
inline constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = MakeResult(0x80040106);
inline constexpr HRESULT MAPI_E_INVALID_ENTRYID = MakeResult(0x80040107);
inline constexpr HRESULT MAPI_E_INVALID_OBJECT = MakeResult(0x80040108);
inline constexpr HRESULT MAPI_E_OBJECT_CHANGED = MakeResult(0x80040109);
inline constexpr HRESULT MAPI_E_OBJECT_DELETED = MakeResult(0x8004010A);
inline constexpr HRESULT MAPI_E_BUSY = MakeResult(0x8004010B);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_DISK = MakeResult(0x8004010D);
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_RESOURCES = MakeResult(0x8004010E);
inline constexpr HRESULT MAPI_E_NOT_FOUND = MakeResult(0x8004010F);
inline constexpr HRESULT MAPI_E_VERSION = MakeResult(0x80040110);
inline constexpr HRESULT MAPI_E_LOGON_FAILED = MakeResult(0x80040111);
inline constexpr HRESULT MAPI_E_SESSION_LIMIT = MakeResult(0x80040112);
inline constexpr HRESULT MAPI_E_USER_CANCEL = MakeResult(0x80040113);
inline constexpr HRESULT MAPI_E_UNABLE_TO_ABORT = MakeResult(0x80040114);
inline constexpr HRESULT MAPI_E_NETWORK_ERROR = MakeResult(0x80040115);
inline constexpr HRESULT MAPI_E_DISK_ERROR = MakeResult(0x80040116);
inline constexpr HRESULT MAPI_E_TOO_COMPLEX = MakeResult(0x80040117);
inline constexpr HRESULT MAPI_E_BAD_COLUMN = MakeResult(0x80040118);
inline constexpr HRESULT MAPI_E_EXTENDED_ERROR = MakeResult(0x80040119);
inline constexpr HRESULT MAPI_E_COMPUTED = MakeResult(0x8004011A);
inline constexpr HRESULT MAPI_E_CORRUPT_DATA = MakeResult(0x8004011B);
inline constexpr HRESULT MAPI_E_UNCONFIGURED = MakeResult(0x8004011C);
inline constexpr HRESULT MAPI_E_FAILONEPROVIDER = MakeResult(0x8004011D);
inline constexpr HRESULT MAPI_E_UNKNOWN_CPID = MakeResult(0x8004011E);
inline constexpr HRESULT MAPI_E_UNKNOWN_LCID = MakeResult(0x8004011F);
inline constexpr HRESULT MAPI_E_PASSWORD_CHANGE_REQUIRED = MakeResult(0x80040120);
inline constexpr HRESULT MAPI_E_PASSWORD_EXPIRED = MakeResult(0x80040121);
inline constexpr HRESULT MAPI_E_INVALID_WORKSTATION_ACCOUNT = MakeResult(0x80040122);
inline constexpr HRESULT MAPI_E_INVALID_ACCESS_TIME = MakeResult(0x80040123);
inline constexpr HRESULT MAPI_E_ACCOUNT_DISABLED = MakeResult(0x80040124);
inline constexpr HRESULT MAPI_E_END_OF_SESSION = MakeResult(0x80040200);
inline constexpr HRESULT MAPI_E_UNKNOWN_ENTRYID = MakeResult(0x80040201);
inline constexpr HRESULT MAPI_E_MISSING_REQUIRED_COLUMN = MakeResult(0x80040202);
inline constexpr HRESULT MAPI_W_NO_SERVICE = MakeResult(0x00040203);

// MAPI: property errors
inline constexpr HRESULT MAPI_E_BAD_VALUE = MakeResult(0x80040301);
inline constexpr HRESULT MAPI_E_INVALID_TYPE = MakeResult(0x80040302);
inline constexpr HRESULT MAPI_E_TYPE_NO_SUPPORT = MakeResult(0x80040303);
inline constexpr HRESULT MAPI_E_UNEXPECTED_TYPE = MakeResult(0x80040304);
inline constexpr HRESULT MAPI_E_TOO_BIG = MakeResult(0x80040305);
inline constexpr HRESULT MAPI_E_DECLINE_COPY = MakeResult(0x80040306);
inline constexpr HRESULT MAPI_E_UNEXPECTED_ID = MakeResult(0x80040307);
inline constexpr HRESULT MAPI_W_ERRORS_RETURNED = MakeResult(0x00040380);

// MAPI: table errors
inline constexpr HRESULT MAPI_E_UNABLE_TO_COMPLETE = MakeResult(0x80040400);
inline constexpr HRESULT MAPI_E_TIMEOUT = MakeResult(0x80040401);
inline constexpr HRESULT MAPI_E_TABLE_EMPTY = MakeResult(0x80040402);
inline constexpr HRESULT MAPI_E_TABLE_TOO_BIG = MakeResult(0x80040403);
inline constexpr HRESULT MAPI_E_INVALID_BOOKMARK = MakeResult(0x80040405);
inline constexpr HRESULT MAPI_W_POSITION_CHANGED = MakeResult(0x00040481);
inline constexpr HRESULT MAPI_W_APPROX_COUNT = MakeResult(0x00040482);

// MAPI: transport errors
inline constexpr HRESULT MAPI_E_WAIT = MakeResult(0x80040500);
inline constexpr HRESULT MAPI_E_CANCEL = MakeResult(0x80040501);
inline constexpr HRESULT MAPI_E_NOT_ME = MakeResult(0x80040502);
inline constexpr HRESULT MAPI_W_CANCEL_MESSAGE = MakeResult(0x00040580);

// MAPI: message store, folder and message errors
inline constexpr HRESULT MAPI_E_CORRUPT_STORE = MakeResult(0x80040600);
inline constexpr HRESULT MAPI_E_NOT_IN_QUEUE = MakeResult(0x80040601);
inline constexpr HRESULT MAPI_E_NO_SUPPRESS = MakeResult(0x80040602);
inline constexpr HRESULT MAPI_E_COLLISION = MakeResult(0x80040604);
inline constexpr HRESULT MAPI_E_NOT_INITIALIZED = MakeResult(0x80040605);
inline constexpr HRESULT MAPI_E_NON_STANDARD = MakeResult(0x80040606);
inline constexpr HRESULT MAPI_E_NO_RECIPIENTS = MakeResult(0x80040607);
inline constexpr HRESULT MAPI_E_SUBMITTED = MakeResult(0x80040608);
inline constexpr HRESULT MAPI_E_HAS_FOLDERS = MakeResult(0x80040609);
inline constexpr HRESULT MAPI_E_HAS_MESSAGES = MakeResult(0x8004060A);
inline constexpr HRESULT MAPI_E_FOLDER_CYCLE = MakeResult(0x8004060B);
inline constexpr HRESULT MAPI_W_PARTIAL_COMPLETION = MakeResult(0x00040680);

// MAPI: address book errors
inline constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = MakeResult(0x80040700);

// Exchange gateway proxy resolution: no proxy address of the requested type.
inline constexpr HRESULT E_PROXY_NOT_FOUND = MakeResult(0x800B0001);

}  // namespace mapi

#if defined(_WIN32)
#pragma pop_macro("S_OK")
#pragma pop_macro("S_FALSE")
#pragma pop_macro("E_FAIL")
#pragma pop_macro("E_NOINTERFACE")
#pragma pop_macro("E_INVALIDARG")
#pragma pop_macro("E_OUTOFMEMORY")
#pragma pop_macro("E_ACCESSDENIED")
#pragma pop_macro("E_NOTIMPL")
#pragma pop_macro("E_POINTER")
#pragma pop_macro("E_ABORT")
#pragma pop_macro("E_HANDLE")
#pragma pop_macro("E_UNEXPECTED")
#pragma pop_macro("FAILED")
#pragma pop_macro("SUCCEEDED")
#endif
