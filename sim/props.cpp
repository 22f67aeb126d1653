#include "sim/props.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/code_page.h"
#include "sim/sim_text.h"

#if defined(__SANITIZE_ADDRESS__)
#define SIM_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(SIM_ADDRESS_SANITIZER)
#include <sanitizer/asan_interface.h>
#endif

namespace sim {

using mapi::ULONG;

namespace {

constexpr ULONG kErrorTagType = mapi::PT_ERROR;

PropValue ErrorValue(mapi::HRESULT error) {
    return PropValue(std::int32_t{error});
}

bool IsStringType(ULONG type) {
    return type == mapi::PT_STRING8 || type == mapi::PT_UNICODE;
}

bool IsMvStringType(ULONG type) {
    return type == mapi::PT_MV_STRING8 || type == mapi::PT_MV_UNICODE;
}

// The type a PT_UNSPECIFIED request or an all-properties request returns for a stored type.
ULONG ReturnedType(ULONG stored, bool unicode) {
    if (IsStringType(stored)) return unicode ? mapi::PT_UNICODE : mapi::PT_STRING8;
    if (IsMvStringType(stored)) return unicode ? mapi::PT_MV_UNICODE : mapi::PT_MV_STRING8;
    return stored;
}

// Room left in a value array's own block for its values' data. While AllocValues fills an
// array it points here, and More takes what it can from the room before it allocates more, so
// that an array whose data was sized beforehand is one block, as one row of a table is.
struct DataRoom {
    void* block = nullptr;
    unsigned char* next = nullptr;
    std::size_t left = 0;
};
thread_local DataRoom* t_room = nullptr;

// Every piece of data begins on an 8-byte boundary, as a block of its own would, and is followed
// by a guard of 8 bytes. Under AddressSanitizer the room is poisoned but for the pieces handed
// out, so that a read past a piece's end is caught as it would be past a block of its own.
constexpr std::size_t kDataAlignment = 8;
constexpr std::size_t kDataGuard = 8;

std::size_t Aligned(std::size_t size) {
    return ((std::max<std::size_t>(size, 1) + kDataAlignment - 1) & ~(kDataAlignment - 1)) +
           kDataGuard;
}

void PoisonRoom([[maybe_unused]] const void* start, [[maybe_unused]] std::size_t size) {
#if defined(SIM_ADDRESS_SANITIZER)
    ASAN_POISON_MEMORY_REGION(start, size);
#endif
}

void UnpoisonPiece([[maybe_unused]] const void* start, [[maybe_unused]] std::size_t size) {
#if defined(SIM_ADDRESS_SANITIZER)
    ASAN_UNPOISON_MEMORY_REGION(start, size);
#endif
}

template <class T>
mapi::HRESULT More(std::size_t size, void* parent, T** out) {
    if (t_room && parent == t_room->block && Aligned(size) <= t_room->left) {
        UnpoisonPiece(t_room->next, std::max<std::size_t>(size, 1));
        *out = reinterpret_cast<T*>(t_room->next);
        t_room->next += Aligned(size);
        t_room->left -= Aligned(size);
        return mapi::S_OK;
    }
    void* block = nullptr;
    mapi::HRESULT hr =
        MAPIAllocateMore(static_cast<ULONG>(std::max<std::size_t>(size, 1)), parent, &block);
    if (mapi::FAILED(hr)) return hr;
    *out = static_cast<T*>(block);
    return mapi::S_OK;
}

mapi::HRESULT CopyString(const std::string& text, void* parent, char** out) {
    mapi::HRESULT hr = More(text.size() + 1, parent, out);
    if (mapi::SUCCEEDED(hr)) std::memcpy(*out, text.c_str(), text.size() + 1);
    return hr;
}

mapi::HRESULT CopyString(const std::u16string& text, void* parent, char16_t** out) {
    mapi::HRESULT hr = More((text.size() + 1) * sizeof(char16_t), parent, out);
    if (mapi::SUCCEEDED(hr)) std::memcpy(*out, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return hr;
}

mapi::HRESULT CopyBinary(const Bytes& bytes, void* parent, mapi::SBinary& out) {
    out.cb = static_cast<ULONG>(bytes.size());
    mapi::HRESULT hr = More(bytes.size(), parent, &out.lpb);
    if (mapi::SUCCEEDED(hr) && !bytes.empty()) std::memcpy(out.lpb, bytes.data(), bytes.size());
    return hr;
}

Bytes GuidBytes(const mapi::GUID& guid) {
    Bytes bytes(sizeof guid);
    std::memcpy(bytes.data(), &guid, sizeof guid);
    return bytes;
}

std::u16string UnitsOf(const char16_t* text) {
    std::u16string units;
    if (text) {
        while (*text) units.push_back(*text++);
    }
    return units;
}

bool ReadOnlyId(const std::vector<ULONG>& readOnly, ULONG tag) {
    return std::any_of(readOnly.begin(), readOnly.end(),
                       [&](ULONG t) { return mapi::PROP_ID(t) == mapi::PROP_ID(tag); });
}

}  // namespace

ULONG PropTypeOf(const PropValue& value) {
    static constexpr ULONG types[] = {mapi::PT_LONG,       mapi::PT_BOOLEAN,  mapi::PT_I8,
                                      mapi::PT_SYSTIME,    mapi::PT_STRING8,  mapi::PT_UNICODE,
                                      mapi::PT_BINARY,     mapi::PT_MV_LONG,  mapi::PT_MV_STRING8,
                                      mapi::PT_MV_UNICODE, mapi::PT_MV_BINARY};
    static_assert(std::size(types) == std::variant_size_v<PropValue>);
    return types[value.index()];
}

const PropValue* FindProp(const PropMap& props, ULONG tag, ULONG* storedTag) {
    ULONG id = mapi::PROP_ID(tag);
    auto it = props.lower_bound(id << 16);
    if (it == props.end() || mapi::PROP_ID(it->first) != id) return nullptr;
    if (storedTag) *storedTag = it->first;
    return &it->second;
}

void PutProp(PropMap& props, ULONG tag, PropValue value) {
    RemoveProp(props, tag);
    props[tag] = std::move(value);
}

bool RemoveProp(PropMap& props, ULONG tag) {
    ULONG id = mapi::PROP_ID(tag);
    auto first = props.lower_bound(id << 16);
    auto last = first;
    while (last != props.end() && mapi::PROP_ID(last->first) == id) ++last;
    bool any = first != last;
    props.erase(first, last);
    return any;
}

std::optional<PropValue> ConvertProp(const PropValue& value, ULONG type) {
    ULONG stored = PropTypeOf(value);
    if (type == mapi::PT_UNSPECIFIED || type == stored) return value;
    if (stored == mapi::PT_UNICODE && type == mapi::PT_STRING8) {
        return PropValue(platform::ToSystemCodePage(std::get<std::u16string>(value)));
    }
    if (stored == mapi::PT_STRING8 && type == mapi::PT_UNICODE) {
        return PropValue(platform::FromSystemCodePage(std::get<std::string>(value)));
    }
    if (stored == mapi::PT_MV_UNICODE && type == mapi::PT_MV_STRING8) {
        std::vector<std::string> out;
        for (const auto& s : std::get<std::vector<std::u16string>>(value)) {
            out.push_back(platform::ToSystemCodePage(s));
        }
        return PropValue(std::move(out));
    }
    if (stored == mapi::PT_MV_STRING8 && type == mapi::PT_MV_UNICODE) {
        std::vector<std::u16string> out;
        for (const auto& s : std::get<std::vector<std::string>>(value)) {
            out.push_back(platform::FromSystemCodePage(s));
        }
        return PropValue(std::move(out));
    }
    return std::nullopt;
}

FoundProp FindRequested(const PropMap& props, ULONG tag, bool unicode) {
    ULONG stored = 0;
    const PropValue* found = FindProp(props, tag, &stored);
    FoundProp result;
    const ULONG errorTag = mapi::CHANGE_PROP_TYPE(tag, kErrorTagType);
    ULONG type = mapi::PROP_TYPE(tag);
    if (found && type == mapi::PT_UNSPECIFIED)
        type = ReturnedType(mapi::PROP_TYPE(stored), unicode);
    if (found && type == PropTypeOf(*found)) {
        result.tag = mapi::CHANGE_PROP_TYPE(tag, type);
        result.value = found;
        return result;
    }
    if (found) result.made = ConvertProp(*found, type);
    if (result.made) {
        result.tag = mapi::CHANGE_PROP_TYPE(tag, type);
    } else {
        result.tag = errorTag;
        result.made = ErrorValue(mapi::MAPI_E_NOT_FOUND);
    }
    return result;
}

std::pair<ULONG, PropValue> LookupProp(const PropMap& props, ULONG tag, bool unicode) {
    FoundProp found = FindRequested(props, tag, unicode);
    if (found.made) return {found.tag, std::move(*found.made)};
    return {found.tag, *found.value};
}

bool IsError(const std::pair<ULONG, PropValue>& value) {
    return mapi::PROP_TYPE(value.first) == kErrorTagType;
}

mapi::HRESULT FillSPropValue(ULONG tag, const PropValue& value, void* parent,
                             mapi::SPropValue& out) {
    out.ulPropTag = tag;
    out.dwAlignPad = 0;
    std::memset(&out.Value, 0, sizeof out.Value);
    ULONG type = mapi::PROP_TYPE(tag);
    if (type == mapi::PT_ERROR) {
        out.Value.err = std::holds_alternative<std::int32_t>(value) ? std::get<std::int32_t>(value)
                                                                    : mapi::MAPI_E_NOT_FOUND;
        return mapi::S_OK;
    }
    if (type == mapi::PT_NULL) return mapi::S_OK;
    // A value of its own type is copied into the buffer straight away.
    std::optional<PropValue> converted;
    if (PropTypeOf(value) != type) {
        converted = ConvertProp(value, type);
        if (!converted) return mapi::MAPI_E_INVALID_TYPE;
    }
    const PropValue& v = converted ? *converted : value;
    switch (type) {
        case mapi::PT_LONG:
            out.Value.l = std::get<std::int32_t>(v);
            return mapi::S_OK;
        case mapi::PT_BOOLEAN:
            out.Value.b = std::get<bool>(v) ? 1 : 0;
            return mapi::S_OK;
        case mapi::PT_I8:
            out.Value.li.QuadPart = std::get<std::int64_t>(v);
            return mapi::S_OK;
        case mapi::PT_SYSTIME: {
            std::uint64_t ft = std::get<FileTime>(v).value;
            out.Value.ft.dwLowDateTime = static_cast<mapi::DWORD>(ft);
            out.Value.ft.dwHighDateTime = static_cast<mapi::DWORD>(ft >> 32);
            return mapi::S_OK;
        }
        case mapi::PT_STRING8:
            return CopyString(std::get<std::string>(v), parent, &out.Value.lpszA);
        case mapi::PT_UNICODE:
            return CopyString(std::get<std::u16string>(v), parent, &out.Value.lpszW);
        case mapi::PT_BINARY:
            return CopyBinary(std::get<Bytes>(v), parent, out.Value.bin);
        case mapi::PT_MV_LONG: {
            const auto& values = std::get<std::vector<std::int32_t>>(v);
            out.Value.MVl.cValues = static_cast<ULONG>(values.size());
            mapi::HRESULT hr = More(values.size() * sizeof(mapi::LONG), parent, &out.Value.MVl.lpl);
            if (mapi::SUCCEEDED(hr) && !values.empty()) {
                std::memcpy(out.Value.MVl.lpl, values.data(), values.size() * sizeof(mapi::LONG));
            }
            return hr;
        }
        case mapi::PT_MV_STRING8: {
            const auto& values = std::get<std::vector<std::string>>(v);
            out.Value.MVszA.cValues = static_cast<ULONG>(values.size());
            mapi::HRESULT hr =
                More(values.size() * sizeof(mapi::LPSTR), parent, &out.Value.MVszA.lppszA);
            for (std::size_t i = 0; mapi::SUCCEEDED(hr) && i < values.size(); ++i) {
                hr = CopyString(values[i], parent, &out.Value.MVszA.lppszA[i]);
            }
            return hr;
        }
        case mapi::PT_MV_UNICODE: {
            const auto& values = std::get<std::vector<std::u16string>>(v);
            out.Value.MVszW.cValues = static_cast<ULONG>(values.size());
            mapi::HRESULT hr =
                More(values.size() * sizeof(mapi::LPWSTR), parent, &out.Value.MVszW.lppszW);
            for (std::size_t i = 0; mapi::SUCCEEDED(hr) && i < values.size(); ++i) {
                hr = CopyString(values[i], parent, &out.Value.MVszW.lppszW[i]);
            }
            return hr;
        }
        case mapi::PT_MV_BINARY: {
            const auto& values = std::get<std::vector<Bytes>>(v);
            out.Value.MVbin.cValues = static_cast<ULONG>(values.size());
            mapi::HRESULT hr =
                More(values.size() * sizeof(mapi::SBinary), parent, &out.Value.MVbin.lpbin);
            for (std::size_t i = 0; mapi::SUCCEEDED(hr) && i < values.size(); ++i) {
                hr = CopyBinary(values[i], parent, out.Value.MVbin.lpbin[i]);
            }
            return hr;
        }
        default:
            return mapi::MAPI_E_INVALID_TYPE;
    }
}

namespace {

ULONG TagOf(const std::pair<ULONG, PropValue>& value) { return value.first; }
const PropValue& ValueOf(const std::pair<ULONG, PropValue>& value) { return value.second; }
ULONG TagOf(const FoundProp& value) { return value.tag; }
const PropValue& ValueOf(const FoundProp& value) { return value.Value(); }

// The bytes More takes for a value's data when FillSPropValue copies it without converting it;
// a value that must be converted first takes blocks of its own.
std::size_t DataSize(ULONG tag, const PropValue& value) {
    const ULONG type = mapi::PROP_TYPE(tag);
    if (type == mapi::PT_ERROR || type == mapi::PT_NULL || PropTypeOf(value) != type) return 0;
    switch (type) {
        case mapi::PT_STRING8:
            return Aligned(std::get<std::string>(value).size() + 1);
        case mapi::PT_UNICODE:
            return Aligned((std::get<std::u16string>(value).size() + 1) * sizeof(char16_t));
        case mapi::PT_BINARY:
            return Aligned(std::get<Bytes>(value).size());
        case mapi::PT_MV_LONG:
            return Aligned(std::get<std::vector<std::int32_t>>(value).size() * sizeof(mapi::LONG));
        case mapi::PT_MV_STRING8: {
            const auto& values = std::get<std::vector<std::string>>(value);
            std::size_t size = Aligned(values.size() * sizeof(mapi::LPSTR));
            for (const auto& text : values) size += Aligned(text.size() + 1);
            return size;
        }
        case mapi::PT_MV_UNICODE: {
            const auto& values = std::get<std::vector<std::u16string>>(value);
            std::size_t size = Aligned(values.size() * sizeof(mapi::LPWSTR));
            for (const auto& text : values) size += Aligned((text.size() + 1) * sizeof(char16_t));
            return size;
        }
        case mapi::PT_MV_BINARY: {
            const auto& values = std::get<std::vector<Bytes>>(value);
            std::size_t size = Aligned(values.size() * sizeof(mapi::SBinary));
            for (const auto& bytes : values) size += Aligned(bytes.size());
            return size;
        }
        default:
            return 0;
    }
}

template <class Value>
mapi::HRESULT AllocValues(std::span<const Value> values, mapi::SPropValue** out) {
    *out = nullptr;
    void* block = nullptr;
    const std::size_t size = std::max<std::size_t>(values.size(), 1) * sizeof(mapi::SPropValue);
    std::size_t data = 0;
    for (const Value& value : values) data += DataSize(TagOf(value), ValueOf(value));
    // Too large for one block: each piece its own.
    if (data > 0 && size + kDataGuard + data > 0xFFFFFFFFu) data = 0;
    const std::size_t guard = data > 0 ? kDataGuard : 0;
    mapi::HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(size + guard + data), &block);
    if (mapi::FAILED(hr)) return hr;
    auto array = static_cast<mapi::SPropValue*>(block);
    std::memset(array, 0, size);
    DataRoom room{block, static_cast<unsigned char*>(block) + size + guard, data};
    PoisonRoom(static_cast<unsigned char*>(block) + size, guard + data);
    struct Using {
        DataRoom* outer;
        explicit Using(DataRoom* room) : outer(t_room) { t_room = room; }
        ~Using() { t_room = outer; }
        Using(const Using&) = delete;
        Using& operator=(const Using&) = delete;
    } using_(&room);
    for (std::size_t i = 0; i < values.size(); ++i) {
        hr = FillSPropValue(TagOf(values[i]), ValueOf(values[i]), block, array[i]);
        if (mapi::FAILED(hr)) {
            MAPIFreeBuffer(block);
            return hr;
        }
    }
    *out = array;
    return mapi::S_OK;
}

// rows rows, the values of row i given by rowValues(i).
template <class RowValues>
mapi::HRESULT AllocRows(std::size_t rows, RowValues rowValues, mapi::SRowSet** out) {
    *out = nullptr;
    void* block = nullptr;
    std::size_t size = mapi::CbNewSRowSet(static_cast<ULONG>(std::max<std::size_t>(rows, 1)));
    mapi::HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(size), &block);
    if (mapi::FAILED(hr)) return hr;
    std::memset(block, 0, size);
    auto set = static_cast<mapi::SRowSet*>(block);
    for (std::size_t i = 0; i < rows; ++i) {
        const auto values = rowValues(i);
        hr = AllocValues(values, &set->aRow[i].lpProps);
        if (mapi::FAILED(hr)) {
            for (std::size_t k = 0; k < i; ++k) MAPIFreeBuffer(set->aRow[k].lpProps);
            MAPIFreeBuffer(block);
            return hr;
        }
        set->aRow[i].cValues = static_cast<ULONG>(values.size());
    }
    set->cRows = static_cast<ULONG>(rows);
    *out = set;
    return mapi::S_OK;
}

}  // namespace

mapi::HRESULT AllocPropArray(const PropList& values, mapi::SPropValue** out) {
    return AllocValues(std::span<const std::pair<ULONG, PropValue>>(values), out);
}

mapi::HRESULT AllocRowSet(const std::vector<PropList>& rows, mapi::SRowSet** out) {
    return AllocRows(
        rows.size(),
        [&](std::size_t i) { return std::span<const std::pair<ULONG, PropValue>>(rows[i]); }, out);
}

mapi::HRESULT AllocRowSet(std::span<const FoundProp> values, std::size_t rows,
                          std::size_t columns, mapi::SRowSet** out) {
    return AllocRows(
        rows, [&](std::size_t i) { return values.subspan(i * columns, columns); }, out);
}

mapi::HRESULT AllocAdrList(std::size_t count,
                           const std::function<PropList(std::size_t)>& entryValues,
                           mapi::ADRLIST** out) {
    *out = nullptr;
    void* block = nullptr;
    std::size_t size = mapi::CbNewADRLIST(static_cast<ULONG>(std::max<std::size_t>(count, 1)));
    mapi::HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(size), &block);
    if (mapi::FAILED(hr)) return hr;
    std::memset(block, 0, size);
    auto list = static_cast<mapi::ADRLIST*>(block);
    try {
        for (; list->cEntries < count; ++list->cEntries) {
            const PropList values = entryValues(list->cEntries);
            if (values.empty()) continue;
            mapi::ADRENTRY& entry = list->aEntries[list->cEntries];
            hr = AllocPropArray(values, &entry.rgPropVals);
            if (mapi::FAILED(hr)) {
                FreePadrlist(list);
                return hr;
            }
            entry.cValues = static_cast<ULONG>(values.size());
        }
    } catch (...) {
        FreePadrlist(list);
        throw;
    }
    *out = list;
    return mapi::S_OK;
}

mapi::HRESULT AllocAdrList(const std::vector<PropList>& entries, mapi::ADRLIST** out) {
    return AllocAdrList(
        entries.size(), [&](std::size_t i) { return entries[i]; }, out);
}

mapi::HRESULT AllocTagArray(const std::vector<ULONG>& tags, mapi::SPropTagArray** out) {
    *out = nullptr;
    void* block = nullptr;
    ULONG size =
        mapi::CbNewSPropTagArray(static_cast<ULONG>(std::max<std::size_t>(tags.size(), 1)));
    mapi::HRESULT hr = MAPIAllocateBuffer(size, &block);
    if (mapi::FAILED(hr)) return hr;
    std::memset(block, 0, size);
    auto array = static_cast<mapi::SPropTagArray*>(block);
    array->cValues = static_cast<ULONG>(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) array->aulPropTag[i] = tags[i];
    *out = array;
    return mapi::S_OK;
}

mapi::HRESULT AllocProblems(const std::vector<mapi::SPropProblem>& problems,
                            mapi::SPropProblemArray** out) {
    *out = nullptr;
    if (problems.empty()) return mapi::S_OK;
    void* block = nullptr;
    ULONG size = mapi::CbNewSPropProblemArray(static_cast<ULONG>(problems.size()));
    mapi::HRESULT hr = MAPIAllocateBuffer(size, &block);
    if (mapi::FAILED(hr)) return hr;
    auto array = static_cast<mapi::SPropProblemArray*>(block);
    array->cProblem = static_cast<ULONG>(problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i) array->aProblem[i] = problems[i];
    *out = array;
    return mapi::S_OK;
}

std::optional<PropValue> ParseSPropValue(const mapi::SPropValue& value) {
    const mapi::PV& v = value.Value;
    switch (mapi::PROP_TYPE(value.ulPropTag)) {
        case mapi::PT_LONG:
            return PropValue(std::int32_t{v.l});
        case mapi::PT_BOOLEAN:
            return PropValue(v.b != 0);
        case mapi::PT_I8:
            return PropValue(std::int64_t{v.li.QuadPart});
        case mapi::PT_SYSTIME:
            return PropValue(
                FileTime{(std::uint64_t{v.ft.dwHighDateTime} << 32) | v.ft.dwLowDateTime});
        case mapi::PT_STRING8:
            return PropValue(std::string(v.lpszA ? v.lpszA : ""));
        case mapi::PT_UNICODE:
            return PropValue(UnitsOf(v.lpszW));
        case mapi::PT_BINARY:
            return PropValue(v.bin.lpb ? Bytes(v.bin.lpb, v.bin.lpb + v.bin.cb) : Bytes());
        case mapi::PT_MV_LONG:
            return PropValue(v.MVl.lpl
                                 ? std::vector<std::int32_t>(v.MVl.lpl, v.MVl.lpl + v.MVl.cValues)
                                 : std::vector<std::int32_t>());
        case mapi::PT_MV_STRING8: {
            std::vector<std::string> out;
            for (ULONG i = 0; v.MVszA.lppszA && i < v.MVszA.cValues; ++i) {
                out.emplace_back(v.MVszA.lppszA[i] ? v.MVszA.lppszA[i] : "");
            }
            return PropValue(std::move(out));
        }
        case mapi::PT_MV_UNICODE: {
            std::vector<std::u16string> out;
            for (ULONG i = 0; v.MVszW.lppszW && i < v.MVszW.cValues; ++i) {
                out.push_back(UnitsOf(v.MVszW.lppszW[i]));
            }
            return PropValue(std::move(out));
        }
        case mapi::PT_MV_BINARY: {
            std::vector<Bytes> out;
            for (ULONG i = 0; v.MVbin.lpbin && i < v.MVbin.cValues; ++i) {
                const mapi::SBinary& bin = v.MVbin.lpbin[i];
                out.push_back(bin.lpb ? Bytes(bin.lpb, bin.lpb + bin.cb) : Bytes());
            }
            return PropValue(std::move(out));
        }
        default:
            return std::nullopt;
    }
}

PropMap ParseSPropValues(ULONG count, const mapi::SPropValue* values) {
    PropMap props;
    for (ULONG i = 0; values && i < count; ++i) {
        if (auto parsed = ParseSPropValue(values[i])) {
            PutProp(props, values[i].ulPropTag, std::move(*parsed));
        }
    }
    return props;
}

mapi::HRESULT GetPropsFromMap(const PropMap& props, const mapi::SPropTagArray* tags, ULONG flags,
                              ULONG* count, mapi::SPropValue** out) {
    *count = 0;
    *out = nullptr;
    bool unicode = (flags & mapi::MAPI_UNICODE) != 0;
    PropList values;
    if (tags) {
        for (ULONG i = 0; i < tags->cValues; ++i) {
            values.push_back(LookupProp(props, tags->aulPropTag[i], unicode));
        }
    } else {
        for (const auto& [tag, value] : props) {
            values.push_back(
                LookupProp(props, mapi::CHANGE_PROP_TYPE(tag, mapi::PT_UNSPECIFIED), unicode));
        }
    }
    mapi::HRESULT hr = AllocPropArray(values, out);
    if (mapi::FAILED(hr)) return hr;
    *count = static_cast<ULONG>(values.size());
    bool errors =
        std::any_of(values.begin(), values.end(), [](const auto& v) { return IsError(v); });
    return errors ? mapi::MAPI_W_ERRORS_RETURNED : mapi::S_OK;
}

mapi::HRESULT GetPropListFromMap(const PropMap& props, ULONG flags, mapi::SPropTagArray** out) {
    bool unicode = (flags & mapi::MAPI_UNICODE) != 0;
    std::vector<ULONG> tags;
    for (const auto& [tag, value] : props) {
        tags.push_back(mapi::CHANGE_PROP_TYPE(tag, ReturnedType(mapi::PROP_TYPE(tag), unicode)));
    }
    return AllocTagArray(tags, out);
}

mapi::HRESULT SetPropsInMap(PropMap& props, ULONG count, const mapi::SPropValue* values,
                            const std::vector<ULONG>& readOnly,
                            mapi::SPropProblemArray** problems) {
    if (problems) *problems = nullptr;
    std::vector<mapi::SPropProblem> found;
    for (ULONG i = 0; i < count; ++i) {
        ULONG tag = values[i].ulPropTag;
        ULONG type = mapi::PROP_TYPE(tag);
        // MAPI ignores error and null values in SetProps.
        if (type == mapi::PT_ERROR || type == mapi::PT_NULL) continue;
        mapi::SCODE problem = 0;
        std::optional<PropValue> parsed = ParseSPropValue(values[i]);
        if (mapi::PROP_ID(tag) == mapi::PROP_ID_NULL ||
            mapi::PROP_ID(tag) == mapi::PROP_ID_INVALID) {
            problem = mapi::MAPI_E_INVALID_PARAMETER;
        } else if (ReadOnlyId(readOnly, tag)) {
            problem = mapi::MAPI_E_COMPUTED;
        } else if (!parsed) {
            problem = mapi::MAPI_E_INVALID_TYPE;
        }
        if (problem) {
            found.push_back({i, tag, problem});
            continue;
        }
        PutProp(props, tag, std::move(*parsed));
    }
    if (!problems) return mapi::S_OK;
    return AllocProblems(found, problems);
}

mapi::HRESULT DeletePropsFromMap(PropMap& props, const mapi::SPropTagArray* tags,
                                 const std::vector<ULONG>& readOnly,
                                 mapi::SPropProblemArray** problems) {
    if (problems) *problems = nullptr;
    std::vector<mapi::SPropProblem> found;
    for (ULONG i = 0; i < tags->cValues; ++i) {
        ULONG tag = tags->aulPropTag[i];
        if (ReadOnlyId(readOnly, tag)) {
            found.push_back({i, tag, mapi::MAPI_E_COMPUTED});
        } else if (!RemoveProp(props, tag)) {
            found.push_back({i, tag, mapi::MAPI_E_NOT_FOUND});
        }
    }
    if (!problems) return mapi::S_OK;
    return AllocProblems(found, problems);
}

std::string DescribeValue(ULONG tag, const PropValue& value) {
    if (mapi::PROP_TYPE(tag) == mapi::PT_ERROR && std::holds_alternative<std::int32_t>(value)) {
        return "error " + Hex32(static_cast<ULONG>(std::get<std::int32_t>(value)));
    }
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int32_t> ||
                                 std::is_same_v<T, std::int64_t>) {
                return std::to_string(v);
            } else if constexpr (std::is_same_v<T, FileTime>) {
                return std::to_string(v.value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return From8Bit(v);
            } else if constexpr (std::is_same_v<T, std::u16string>) {
                return ToUtf8(v);
            } else if constexpr (std::is_same_v<T, Bytes>) {
                return HexBytes(v.data(), v.size());
            } else {
                std::string text = "[";
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i) text += ',';
                    using E = typename T::value_type;
                    if constexpr (std::is_same_v<E, std::int32_t>) {
                        text += std::to_string(v[i]);
                    } else if constexpr (std::is_same_v<E, std::string>) {
                        text += ToUtf8(platform::FromSystemCodePage(v[i]));
                    } else if constexpr (std::is_same_v<E, std::u16string>) {
                        text += ToUtf8(v[i]);
                    } else {
                        text += HexBytes(v[i].data(), v[i].size());
                    }
                }
                return text + "]";
            }
        },
        value);
}

std::string DescribePropTags(ULONG count, const mapi::SPropValue* values) {
    if (!values) return "null";
    std::string text;
    for (ULONG i = 0; i < count; ++i) {
        if (i) text += ',';
        text += Hex32(values[i].ulPropTag);
    }
    return text;
}

std::string DescribeNameIds(ULONG count, const mapi::LPMAPINAMEID* names) {
    if (!names) return "null";
    std::string text;
    for (ULONG i = 0; i < count; ++i) {
        if (i) text += ',';
        const mapi::MAPINAMEID* name = names[i];
        if (!name) {
            text += "null";
            continue;
        }
        text += name->lpguid ? IidText(name->lpguid) : "null";
        if (name->ulKind == mapi::MNID_STRING) {
            text += ':' + ToUtf8(UnitsOf(name->Kind.lpwstrName));
        } else {
            text += '#' + std::to_string(name->Kind.lID);
        }
    }
    return text;
}

namespace {

NamedProperty* FindName(Mailbox& mailbox, const Bytes& guid, const mapi::MAPINAMEID& name) {
    for (NamedProperty& known : mailbox.namedProperties) {
        if (known.guid != guid) continue;
        if (name.ulKind == mapi::MNID_STRING && known.isString &&
            known.name == UnitsOf(name.Kind.lpwstrName)) {
            return &known;
        }
        if (name.ulKind == mapi::MNID_ID && !known.isString && known.id == name.Kind.lID) {
            return &known;
        }
    }
    return nullptr;
}

std::uint16_t NextNamedId(const Mailbox& mailbox) {
    std::uint32_t next = 0x8000;
    for (const NamedProperty& known : mailbox.namedProperties) {
        next = std::max<std::uint32_t>(next, known.propertyId + 1u);
    }
    return next > 0xFFFE ? 0 : static_cast<std::uint16_t>(next);
}

}  // namespace

mapi::HRESULT IdsFromNames(Mailbox& mailbox, ULONG count, mapi::LPMAPINAMEID* names, ULONG flags,
                           mapi::SPropTagArray** out) {
    *out = nullptr;
    std::vector<ULONG> tags;
    bool errors = false;
    if (count == 0 || !names) {
        // Every name the store knows.
        if (flags & mapi::MAPI_CREATE) return mapi::MAPI_E_INVALID_PARAMETER;
        for (const NamedProperty& known : mailbox.namedProperties) {
            tags.push_back(mapi::PROP_TAG(mapi::PT_UNSPECIFIED, known.propertyId));
        }
        return AllocTagArray(tags, out);
    }
    for (ULONG i = 0; i < count; ++i) {
        const mapi::MAPINAMEID* name = names[i];
        bool valid = name && name->lpguid &&
                     (name->ulKind == mapi::MNID_ID ||
                      (name->ulKind == mapi::MNID_STRING && name->Kind.lpwstrName));
        if (!valid) {
            tags.push_back(mapi::PROP_TAG(mapi::PT_ERROR, mapi::PROP_ID_NULL));
            errors = true;
            continue;
        }
        // In PS_MAPI the numeric names are the property ids themselves.
        if (*name->lpguid == mapi::PS_MAPI && name->ulKind == mapi::MNID_ID) {
            tags.push_back(mapi::PROP_TAG(mapi::PT_UNSPECIFIED, name->Kind.lID & 0xFFFF));
            continue;
        }
        Bytes guid = GuidBytes(*name->lpguid);
        NamedProperty* known = FindName(mailbox, guid, *name);
        if (!known && (flags & mapi::MAPI_CREATE)) {
            if (std::uint16_t id = NextNamedId(mailbox)) {
                NamedProperty created;
                created.guid = guid;
                created.isString = name->ulKind == mapi::MNID_STRING;
                if (created.isString) {
                    created.name = UnitsOf(name->Kind.lpwstrName);
                } else {
                    created.id = name->Kind.lID;
                }
                created.propertyId = id;
                mailbox.namedProperties.push_back(std::move(created));
                known = &mailbox.namedProperties.back();
            }
        }
        if (known) {
            tags.push_back(mapi::PROP_TAG(mapi::PT_UNSPECIFIED, known->propertyId));
        } else {
            tags.push_back(mapi::PROP_TAG(mapi::PT_ERROR, mapi::PROP_ID_NULL));
            errors = true;
        }
    }
    mapi::HRESULT hr = AllocTagArray(tags, out);
    if (mapi::FAILED(hr)) return hr;
    return errors ? mapi::MAPI_W_ERRORS_RETURNED : mapi::S_OK;
}

mapi::HRESULT NamesFromIds(Mailbox& mailbox, mapi::SPropTagArray** tags, const mapi::GUID* guid,
                           ULONG /*flags*/, ULONG* count, mapi::LPMAPINAMEID** out) {
    *count = 0;
    *out = nullptr;
    std::vector<const NamedProperty*> wanted;
    bool errors = false;
    std::optional<Bytes> filter;
    if (guid) filter = GuidBytes(*guid);
    if (*tags) {
        for (ULONG i = 0; i < (*tags)->cValues; ++i) {
            ULONG id = mapi::PROP_ID((*tags)->aulPropTag[i]);
            auto it = std::find_if(mailbox.namedProperties.begin(), mailbox.namedProperties.end(),
                                   [&](const NamedProperty& p) { return p.propertyId == id; });
            const NamedProperty* found = it == mailbox.namedProperties.end() ? nullptr : &*it;
            if (found && filter && found->guid != *filter) found = nullptr;
            errors = errors || !found;
            wanted.push_back(found);
        }
    } else {
        std::vector<ULONG> all;
        for (const NamedProperty& known : mailbox.namedProperties) {
            if (filter && known.guid != *filter) continue;
            wanted.push_back(&known);
            all.push_back(mapi::PROP_TAG(mapi::PT_UNSPECIFIED, known.propertyId));
        }
        mapi::HRESULT hr = AllocTagArray(all, tags);
        if (mapi::FAILED(hr)) return hr;
    }
    void* block = nullptr;
    // An array of pointers to the names.
    mapi::HRESULT hr = MAPIAllocateBuffer(
        static_cast<ULONG>(std::max<std::size_t>(wanted.size(), 1) *
                           sizeof(mapi::LPMAPINAMEID)),  // NOLINT(bugprone-sizeof-expression)
        &block);
    if (mapi::FAILED(hr)) return hr;
    auto array = static_cast<mapi::LPMAPINAMEID*>(block);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        array[i] = nullptr;
        if (!wanted[i]) continue;
        mapi::MAPINAMEID* name = nullptr;
        mapi::GUID* set = nullptr;
        hr = More(sizeof(mapi::MAPINAMEID), block, &name);
        if (mapi::SUCCEEDED(hr)) hr = More(sizeof(mapi::GUID), block, &set);
        if (mapi::SUCCEEDED(hr)) {
            std::memset(set, 0, sizeof(mapi::GUID));
            std::memcpy(set, wanted[i]->guid.data(),
                        std::min<std::size_t>(sizeof(mapi::GUID), wanted[i]->guid.size()));
            name->lpguid = set;
            name->ulKind = wanted[i]->isString ? mapi::MNID_STRING : mapi::MNID_ID;
            if (wanted[i]->isString) {
                hr = CopyString(wanted[i]->name, block, &name->Kind.lpwstrName);
            } else {
                name->Kind.lID = wanted[i]->id;
            }
        }
        if (mapi::FAILED(hr)) {
            MAPIFreeBuffer(block);
            return hr;
        }
        array[i] = name;
    }
    *count = static_cast<ULONG>(wanted.size());
    *out = array;
    return errors ? mapi::MAPI_W_ERRORS_RETURNED : mapi::S_OK;
}

}  // namespace sim
