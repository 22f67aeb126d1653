// ScDupPropset: a property value array copied into one buffer.
//
// The copy is laid out in a single block from the caller's allocator: the SPropValue array
// first, then everything the values point to (strings, binaries, GUIDs, multi-valued arrays and
// their elements), each piece aligned to 8 bytes. One pass measures the block, a second one
// fills it. As ScCountProps does, values with property id PROP_ID_NULL or PROP_ID_INVALID,
// multi-valued values without elements and unknown property types are refused with
// MAPI_E_INVALID_PARAMETER.
#include <cstring>
#include <limits>

#include "mapi/mapi_codes.h"
#include "mapi/mapi_runtime.h"
#include "mapi/mapi_tags.h"

namespace {

using namespace mapi;

constexpr std::size_t kPieceAlignment = 8;

// Hands out consecutive, aligned pieces of the block; without a block it only measures.
class Layout {
  public:
    explicit Layout(BYTE* block) : block_(block) {}

    void* Take(std::size_t bytes) {
        const std::size_t at = (used_ + kPieceAlignment - 1) / kPieceAlignment * kPieceAlignment;
        used_ = at + bytes;
        return block_ ? block_ + at : nullptr;
    }

    template <class T>
    T* TakeArray(std::size_t count) {
        return static_cast<T*>(Take(count * sizeof(T)));
    }

    // A copy of count elements of src in the block (null while measuring or without src).
    template <class T>
    T* Copy(const T* src, std::size_t count) {
        if (!src) return nullptr;
        T* dst = TakeArray<T>(count);
        if (dst) std::memcpy(dst, src, count * sizeof(T));
        return dst;
    }

    std::size_t used() const { return used_; }

  private:
    BYTE* block_;
    std::size_t used_ = 0;
};

std::size_t Length(const char* s) {
    return std::strlen(s);
}

std::size_t Length(const char16_t* s) {
    std::size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

template <class Char>
Char* CopyString(Layout& layout, const Char* s) {
    return s ? layout.Copy(s, Length(s) + 1) : nullptr;
}

SBinary CopyBinary(Layout& layout, const SBinary& bin) {
    return SBinary{bin.cb, layout.Copy(bin.lpb, bin.cb)};
}

// Copies an array of pointers to nested data (strings or binaries) and what each element holds.
template <class Elem, class CopyElem>
Elem* CopyNested(Layout& layout, const Elem* src, ULONG count, CopyElem copyElem) {
    if (!src) return nullptr;
    Elem* dst = layout.TakeArray<Elem>(count);
    for (ULONG i = 0; i < count; ++i) {
        Elem copied = copyElem(src[i]);
        if (dst) dst[i] = copied;
    }
    return dst;
}

// The value with everything it points to copied through layout. Returns false for a value
// that cannot be copied.
bool CopyValue(Layout& layout, const SPropValue& src, SPropValue& dst) {
    dst = src;
    const ULONG id = PROP_ID(src.ulPropTag);
    if (id == PROP_ID_NULL || id == PROP_ID_INVALID) return false;
    ULONG type = PROP_TYPE(src.ulPropTag);
    // A table column of a multi-valued property carries one value per row.
    if (type & MV_INSTANCE) type &= ~(MV_INSTANCE | MV_FLAG);
    if ((type & MV_FLAG) && src.Value.MVl.cValues == 0) return false;

    const PV& in = src.Value;
    PV& out = dst.Value;
    switch (type) {
        case PT_UNSPECIFIED:
        case PT_NULL:
        case PT_I2:
        case PT_LONG:
        case PT_R4:
        case PT_DOUBLE:
        case PT_CURRENCY:
        case PT_APPTIME:
        case PT_ERROR:
        case PT_BOOLEAN:
        case PT_OBJECT:
        case PT_I8:
        case PT_SYSTIME:
            return true;
        case PT_STRING8:
            out.lpszA = CopyString(layout, in.lpszA);
            return true;
        case PT_UNICODE:
            out.lpszW = CopyString(layout, in.lpszW);
            return true;
        case PT_BINARY:
            out.bin = CopyBinary(layout, in.bin);
            return true;
        case PT_CLSID:
            out.lpguid = layout.Copy(in.lpguid, 1);
            return true;
        case PT_MV_I2:
            out.MVi.lpi = layout.Copy(in.MVi.lpi, in.MVi.cValues);
            return true;
        case PT_MV_LONG:
            out.MVl.lpl = layout.Copy(in.MVl.lpl, in.MVl.cValues);
            return true;
        case PT_MV_R4:
            out.MVflt.lpflt = layout.Copy(in.MVflt.lpflt, in.MVflt.cValues);
            return true;
        case PT_MV_DOUBLE:
            out.MVdbl.lpdbl = layout.Copy(in.MVdbl.lpdbl, in.MVdbl.cValues);
            return true;
        case PT_MV_CURRENCY:
            out.MVcur.lpcur = layout.Copy(in.MVcur.lpcur, in.MVcur.cValues);
            return true;
        case PT_MV_APPTIME:
            out.MVat.lpat = layout.Copy(in.MVat.lpat, in.MVat.cValues);
            return true;
        case PT_MV_SYSTIME:
            out.MVft.lpft = layout.Copy(in.MVft.lpft, in.MVft.cValues);
            return true;
        case PT_MV_CLSID:
            out.MVguid.lpguid = layout.Copy(in.MVguid.lpguid, in.MVguid.cValues);
            return true;
        case PT_MV_I8:
            out.MVli.lpli = layout.Copy(in.MVli.lpli, in.MVli.cValues);
            return true;
        case PT_MV_STRING8:
            out.MVszA.lppszA = CopyNested(layout, in.MVszA.lppszA, in.MVszA.cValues,
                                          [&](const LPSTR s) { return CopyString(layout, s); });
            return true;
        case PT_MV_UNICODE:
            out.MVszW.lppszW = CopyNested(layout, in.MVszW.lppszW, in.MVszW.cValues,
                                          [&](const LPWSTR s) { return CopyString(layout, s); });
            return true;
        case PT_MV_BINARY:
            out.MVbin.lpbin = CopyNested(layout, in.MVbin.lpbin, in.MVbin.cValues,
                                         [&](const SBinary& b) { return CopyBinary(layout, b); });
            return true;
        default:
            return false;
    }
}

// Lays the whole array out; dst is the array in the block, or null while measuring.
bool CopyArray(Layout& layout, const SPropValue* src, int count) {
    SPropValue* dst = layout.TakeArray<SPropValue>(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        SPropValue copied{};
        if (!CopyValue(layout, src[i], copied)) return false;
        if (dst) dst[i] = copied;
    }
    return true;
}

}  // namespace

extern "C" mapi::SCODE MAPI_CALL ScDupPropset(int cValues, mapi::LPSPropValue lpPropArray,
                                              mapi::LPALLOCATEBUFFER lpAllocateBuffer,
                                              mapi::LPSPropValue* lppPropArray) {
    if (!lppPropArray) return MAPI_E_INVALID_PARAMETER;
    *lppPropArray = nullptr;
    if (cValues < 0 || (cValues > 0 && !lpPropArray) || !lpAllocateBuffer) {
        return MAPI_E_INVALID_PARAMETER;
    }

    Layout measure(nullptr);
    if (!CopyArray(measure, lpPropArray, cValues)) return MAPI_E_INVALID_PARAMETER;
    if (measure.used() > std::numeric_limits<ULONG>::max()) return MAPI_E_NOT_ENOUGH_MEMORY;

    LPVOID block = nullptr;
    const SCODE sc = lpAllocateBuffer(static_cast<ULONG>(measure.used()), &block);
    if (FAILED(sc)) return sc;
    Layout fill(static_cast<BYTE*>(block));
    CopyArray(fill, lpPropArray, cValues);
    *lppPropArray = static_cast<LPSPropValue>(block);
    return S_OK;
}
