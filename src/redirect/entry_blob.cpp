#include "redirect/entry_blob.h"

#include <cstdint>

namespace tav {

EntryBlob::EntryBlob(const mapi::BYTE* bytes, mapi::ULONG count) {
    if (bytes && count) bytes_.assign(bytes, bytes + count);
}

EntryBlob EntryBlob::FromBinary(const mapi::SBinary& value) {
    return EntryBlob(value.lpb, value.cb);
}

mapi::LPENTRYID EntryBlob::EntryId() const {
    // MAPI takes entry identifiers through non-const pointers but never writes through them.
    return bytes_.empty()
               ? nullptr
               : reinterpret_cast<mapi::LPENTRYID>(const_cast<mapi::BYTE*>(bytes_.data()));
}

std::size_t EntryBlob::Hash() const {
    // FNV-1a over the bytes.
    std::uint64_t hash = 14695981039346656037ULL;
    for (mapi::BYTE byte : bytes_) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    }
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

}  // namespace tav
