// Scalar types of the Extended MAPI ABI, with the widths MAPI32 uses on every target.
//
// Everything lives in namespace mapi so that it never meets the Windows SDK's own typedefs.
// ULONG is 32 bits everywhere (never `unsigned long`, which is 64 bits on LP64 Linux).
// UTF-16 text is char16_t; 8-bit text is char.
#pragma once

#include <cstddef>
#include <cstdint>

// Calling convention of every MAPI entry point and interface method: __stdcall on the i686
// Windows target (STDMETHODCALLTYPE / STDAPICALLTYPE), the platform default elsewhere.
#if defined(_WIN32) && defined(__i386__)
#define MAPI_CALL __stdcall
#else
#define MAPI_CALL
#endif

// Visibility of the functions the portable MAPI runtime (tavmapi32) exports. On Windows the
// functions come from the system's MAPI32 through its import library.
#if defined(_WIN32)
#define MAPI_RUNTIME_API
#else
#define MAPI_RUNTIME_API __attribute__((visibility("default")))
#endif

namespace mapi {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LPVOID = void*;
using LPBYTE = BYTE*;
using LPULONG = ULONG*;
using LPSTR = char*;
using LPWSTR = char16_t*;

// A position in a table (BOOKMARK_BEGINNING, ... or one from CreateBookmark).
using BOOKMARK = ULONG_PTR;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// LARGE_INTEGER and ULARGE_INTEGER are unions of a 64-bit value and its two halves in the SDK;
// the 64-bit member alone gives the same size, alignment and argument passing.
struct LARGE_INTEGER {
    LONGLONG QuadPart;
};

struct ULARGE_INTEGER {
    ULONGLONG QuadPart;
};

// CURRENCY: a 64-bit integer scaled by 10000.
struct CURRENCY {
    LONGLONG int64;
};

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i]) return false;
        }
        return true;
    }
};

using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCIID = const IID*;
// REFIID is a macro in the Windows SDK; it is set aside while ours is declared.
#if defined(_WIN32)
#pragma push_macro("REFIID")
#undef REFIID
#endif
using REFIID = const IID&;
#if defined(_WIN32)
#pragma pop_macro("REFIID")
#endif
using LPCLSID = CLSID*;

// A 16-byte unique identifier of a MAPI provider or profile section.
struct MAPIUID {
    BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

// The string type of MAPI's TCHAR arguments and fields (LPTSTR). Its width is chosen by the
// call, not by the compiler: a call without MAPI_UNICODE in its flags passes and returns 8-bit
// text (char*), a call with it UTF-16 (char16_t*). TStr is exactly one pointer wide, so it has the
// ABI of the SDK's LPTSTR in structs and as an argument, and converts from either kind of string.
// MAPI never writes through an input string, so it also accepts const literals.
class TStr {
  public:
    constexpr TStr() noexcept = default;
    constexpr TStr(std::nullptr_t) noexcept {}
    constexpr TStr(char* s) noexcept : p_(s) {}
    constexpr TStr(const char* s) noexcept : p_(const_cast<char*>(s)) {}
    constexpr TStr(char16_t* s) noexcept : p_(s) {}
    constexpr TStr(const char16_t* s) noexcept : p_(const_cast<char16_t*>(s)) {}

    // The text as 8-bit or UTF-16 characters; which one is meant is the caller's knowledge.
    char* a() const noexcept { return static_cast<char*>(p_); }
    char16_t* w() const noexcept { return static_cast<char16_t*>(p_); }
    void* get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

  private:
    void* p_ = nullptr;
};
using LPTSTR = TStr;

static_assert(sizeof(TStr) == sizeof(void*) && alignof(TStr) == alignof(void*));
static_assert(sizeof(ULONG) == 4 && sizeof(HRESULT) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(GUID) == 16 && sizeof(FILETIME) == 8 && sizeof(LARGE_INTEGER) == 8);

}  // namespace mapi
